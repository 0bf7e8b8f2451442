#!/bin/bash
# Inside the 32-bit guest: the install walk (tests/e2e/walk_install.sh, the registry scenario) against the i686
# QuorvanSetup.exe. The window appears with the install control shown (it lights up under the mouse) and the
# uninstall control hidden; install (its confirmation naming the game folder, success); the game folder checked
# byte for byte against the package and the two controls swapped; uninstall; the game's own files byte-identical
# again and the controls back; close with exit code 0. A screenshot of each state goes to QV_WALK_OUT.
#
# Started by guest-job.sh from the source tree's root with WINEPREFIX (a prepared 32-bit prefix), DISPLAY (its
# wineserver already belongs to it), QV_WIN32_BUILD (the i686 build folder) and QV_PACKAGE (the package of its
# QuorvanSetup.exe as "packtool extract" wrote it on the host; the installer's table of names is the names.txt
# beside the demo's sample game). Further arguments go to the walk (walk-install-ja.sh: --locale).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
: "${WINEPREFIX:?}" "${DISPLAY:?}" "${QV_WALK_OUT:?}" "${QV_WIN32_BUILD:?}" "${QV_PACKAGE:?}"
# The guest's processor is emulated: every limit is generous.
export QV_GUI_RUN="$ROOT/scripts/win32-vm/wine32-run.sh" QV_GUI_WAIT=300 QV_E2E_INSTALL_SECONDS=900
exec bash "$ROOT/tests/e2e/walk_install.sh" registry --exe "$QV_WIN32_BUILD/bin/QuorvanSetup.exe" \
    --package "$QV_PACKAGE" --probe "$QV_WIN32_BUILD/tests/e2e/window_probe.exe" \
    --sample "$QV_WIN32_BUILD/payload/demo/sample-game" --lit "$QV_WIN32_BUILD/resources/artwork/window2.bmp" \
    --out "$QV_WALK_OUT" "$@"

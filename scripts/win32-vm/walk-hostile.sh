#!/bin/bash
# Inside the 32-bit guest: the hostile machine's walk (tests/e2e/walk_hostile.sh) against the i686
# QuorvanSetup.exe: the game at the root of drive G: with read-only files; installed, the pack folder moved away
# behind a link and uninstalled; then an install killed during the unpack, started again and uninstalled. The
# parts are QV_WIN32_VM_HOSTILE_PARTS (default "link killed"). Screenshots go to QV_WALK_OUT.
#
# Started by guest-job.sh from the source tree's root with WINEPREFIX (a prepared 32-bit prefix), DISPLAY (its
# wineserver already belongs to it), QV_WIN32_BUILD (the i686 build folder) and QV_PACKAGE (the package of its
# QuorvanSetup.exe as "packtool extract" wrote it on the host).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
: "${WINEPREFIX:?}" "${DISPLAY:?}" "${QV_WALK_OUT:?}" "${QV_WIN32_BUILD:?}" "${QV_PACKAGE:?}"
# The guest's processor is emulated: every limit is generous.
export QV_GUI_RUN="$ROOT/scripts/win32-vm/wine32-run.sh" QV_GUI_WAIT=300 QV_E2E_INSTALL_SECONDS=900
exec bash "$ROOT/tests/e2e/walk_hostile.sh" --exe "$QV_WIN32_BUILD/bin/QuorvanSetup.exe" --package "$QV_PACKAGE" \
    --probe "$QV_WIN32_BUILD/tests/e2e/window_probe.exe" --sample "$QV_WIN32_BUILD/payload/demo/sample-game" \
    --lit "$QV_WIN32_BUILD/resources/artwork/window2.bmp" --out "$QV_WALK_OUT" \
    --parts "${QV_WIN32_VM_HOSTILE_PARTS:-link killed}"

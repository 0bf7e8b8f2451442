#!/bin/bash
# Inside the 32-bit guest: the maintainer's walk with the i686 dist/ folder. The host (run.sh) has already branded
# the maintainer's pictures and version texts into the folder's bare image, packed, verified and signed it
# (tests/dist/dist_walk.sh --stage make: openssl, osslsigncode and windres are the host's); here the signed i686
# installer shows the maintainer's picture and is walked through its install and uninstall
# (dist_walk.sh --stage window). The screenshots go to QV_WALK_OUT.
#
# Started by guest-job.sh from the source tree's root with WINEPREFIX (a prepared 32-bit prefix), DISPLAY (its
# wineserver already belongs to it), QV_WIN32_BUILD (the i686 build folder) and QV_MAINTAINER (what the host's
# stage made, unpacked on the guest's own disk: Wine does not run programs from the share).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
: "${WINEPREFIX:?}" "${DISPLAY:?}" "${QV_WALK_OUT:?}" "${QV_WIN32_BUILD:?}" "${QV_MAINTAINER:?}"
# The guest's processor is emulated: every limit is generous.
export QV_GUI_RUN="$ROOT/scripts/win32-vm/wine32-run.sh" QV_GUI_WAIT=300 QV_E2E_INSTALL_SECONDS=900
keep_pictures() {
    local folder png
    for folder in window walk; do
        for png in "$QV_MAINTAINER/$folder"/*.png; do
            [ -f "$png" ] && cp "$png" "$QV_WALK_OUT/$folder-$(basename "$png")"
        done
    done
    return 0
}
trap keep_pictures EXIT
bash "$ROOT/tests/dist/dist_walk.sh" --stage window --dist "$QV_WIN32_BUILD/dist" \
    --probe "$QV_WIN32_BUILD/tests/e2e/window_probe.exe" --out "$QV_MAINTAINER"

#!/bin/bash
# Inside the 32-bit guest: the settings walk (tests/e2e/walk_settings.sh) against the i686 QuorvanSetup.exe. The
# pack is installed, "设置", "打开", two names put into the edits as a paste would (dialog_probe: typing them through
# xdotool takes minutes on the emulated processor; the walks under wine64 type them), "保存", "返回"; the save's
# bytes, its untouched backup and both user-font textures that the i686 helper library rendered are checked; the
# uninstall removes the textures with the pack folder. Screenshots and the textures' pictures go to QV_WALK_OUT.
#
# Started by guest-job.sh from the source tree's root with WINEPREFIX (a prepared 32-bit prefix), DISPLAY (its
# wineserver already belongs to it) and QV_WIN32_BUILD (the i686 build folder).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
: "${WINEPREFIX:?}" "${DISPLAY:?}" "${QV_WALK_OUT:?}" "${QV_WIN32_BUILD:?}"
# The guest's processor is emulated: every limit is generous.
export QV_GUI_RUN="$ROOT/scripts/win32-vm/wine32-run.sh" QV_GUI_WAIT=300 QV_E2E_INSTALL_SECONDS=900
exec bash "$ROOT/tests/e2e/walk_settings.sh" --exe "$QV_WIN32_BUILD/bin/QuorvanSetup.exe" \
    --probe "$QV_WIN32_BUILD/tests/e2e/window_probe.exe" --dialog-probe "$QV_WIN32_BUILD/tests/e2e/dialog_probe.exe" \
    --sample "$QV_WIN32_BUILD/payload/demo/sample-game" --lit "$QV_WIN32_BUILD/resources/artwork/window2.bmp" \
    --out "$QV_WALK_OUT" --names paste

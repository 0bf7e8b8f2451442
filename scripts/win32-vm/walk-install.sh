#!/bin/bash
# Inside the 32-bit guest: the demo's walk against the i686 QuorvanSetup.exe. The window appears with the install
# button shown (it lights up under the mouse) and the uninstall button hidden; install (confirmation, success); the
# game folder checked byte for byte against the package and the two buttons swapped; uninstall; the game's own files
# byte-identical again and the buttons back; close with exit code 0. A screenshot of each state goes to QV_WALK_OUT.
#
# Started by guest-job.sh from the source tree's root with WINEPREFIX (a prepared 32-bit prefix), DISPLAY (its
# wineserver already belongs to it), QV_WIN32_BUILD (the i686 build folder) and QV_PACKAGE (the package of its
# QuorvanSetup.exe as "packtool extract" wrote it on the host).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
: "${WINEPREFIX:?}" "${DISPLAY:?}" "${QV_WALK_OUT:?}" "${QV_WIN32_BUILD:?}" "${QV_PACKAGE:?}"
EXE="$QV_WIN32_BUILD/bin/QuorvanSetup.exe"
SAMPLE="$QV_WIN32_BUILD/payload/demo/sample-game"
SKIN_LIT="$QV_WIN32_BUILD/resources/artwork/window2.bmp"
GAME_WIN='C:\Games\SM3'
GAME_DIR="$WINEPREFIX/drive_c/Games/SM3"
# Times are generous: the guest's processor is emulated.
INSTALL_SECONDS=900
export QV_GUI_WAIT=300

# Each line carries the seconds since the walk began: the guest is slow, and the log shows where the time goes.
say() { printf '%4d s %s\n' "$SECONDS" "$*"; }
fail() {
    printf 'FAIL: %s\n' "$*"
    exit 1
}

source "$ROOT/scripts/gui-lib.sh"
GUI_RUN="$ROOT/scripts/win32-vm/wine32-run.sh"
GUI_OUT="$QV_WALK_OUT"
GUI_LIT="$SKIN_LIT"
eval "$(gui_layout)"

finish() {
    local status=$1 id
    trap - EXIT
    set +e
    if [ "$status" != 0 ]; then
        gui_screen failure.png
        for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
            say "   window $id \"$(xdotool getwindowname "$id" 2>/dev/null)\""
        done
        [ -s "$QV_WALK_OUT/installer.log" ] && sed 's/^/   installer: /' "$QV_WALK_OUT/installer.log" | tail -20
    fi
    gui_kill_installer
    exit "$status"
}
trap 'finish $?' EXIT

check_game() {
    python3 "$ROOT/tests/e2e/check_game.py" "$@" --original "$SAMPLE" --game "$GAME_DIR" | sed 's/^/   /'
}

say "== setting up the stand-in game in $GAME_WIN"
[ -f "$EXE" ] || fail "$EXE is missing"
rm -rf "$GAME_DIR"
mkdir -p "$GAME_DIR"
cp -r "$SAMPLE/." "$GAME_DIR/"
gui_reg_set InstallInfo "$GAME_WIN" || fail "reg add failed"
gui_reg_unset QuorvanInfo
gui_expect_value InstallInfo "REG_SZ    $GAME_WIN" "as just written"
say "   InstallInfo = $GAME_WIN, no QuorvanInfo"

say "== starting the i686 installer"
started=$SECONDS
gui_start_installer "$EXE" "$QV_WALK_OUT/installer.log" 180
eval "$(xdotool getwindowgeometry --shell "$GUI_MAIN")"
say "   the window \"Install\" is shown after $((SECONDS - started)) s: ${WIDTH}x${HEIGHT} at $X,$Y"
xdotool mousemove --window "$GUI_MAIN" "$GUI_REST_X" "$GUI_REST_Y"
gui_shot window "$GUI_MAIN"

gui_expect_look uninstall unlit "before the install"
gui_expect_look install lit "before the install"
gui_shot hover-install "$GUI_MAIN"

say "== install"
gui_click "$LAYOUT_INSTALL_X" "$LAYOUT_INSTALL_Y"
gui_answer "安装确认" install-confirm 120
started=$SECONDS
gui_answer "提示" install-done "$INSTALL_SECONDS"
say "   the install took $((SECONDS - started)) s after the confirmation"
gui_expect_look install unlit "after the install"
gui_expect_look uninstall lit "after the install"
gui_shot installed "$GUI_MAIN"
gui_expect_value QuorvanInfo "REG_SZ    $GAME_WIN" "after the install"
say "   registry: QuorvanInfo = $GAME_WIN"
check_game installed --package "$QV_PACKAGE" || fail "the installed game folder is not what the package says"

say "== uninstall"
gui_click "$LAYOUT_UNINSTALL_X" "$LAYOUT_UNINSTALL_Y"
gui_answer "卸载确认" uninstall-confirm 120
gui_answer "提示" uninstall-done "$INSTALL_SECONDS"
gui_expect_look uninstall unlit "after the uninstall"
gui_expect_look install lit "after the uninstall"
gui_shot uninstalled "$GUI_MAIN"
gui_expect_no_value QuorvanInfo "after the uninstall"
say "   registry: QuorvanInfo gone"
check_game uninstalled || fail "the game folder is not the original game again"

say "== close"
xdotool mousemove --window "$GUI_MAIN" "$LAYOUT_CLOSE_X" "$LAYOUT_CLOSE_Y"
gui_shot hover-close "$GUI_MAIN"
xdotool click 1
gui_wait_exit 60 || fail "the installer is still running 60 s after close"
[ "$GUI_APP_STATUS" = 0 ] || fail "the installer ended with exit code $GUI_APP_STATUS"
say "   the installer ended with exit code 0"
say "== install walk: passed"

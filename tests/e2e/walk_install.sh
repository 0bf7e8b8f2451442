#!/bin/bash
# The installer's main job end to end: the packed demo program runs under wine64 on $DISPLAY and is walked through
# its window with xdotool, the way a user would; the game folder is then checked byte for byte against the
# package, the install key through "reg query", and the skin controls' visibility through window_probe and through
# their look under the mouse (a shown control lights up with its area of the highlighted skin picture).
#
#   walk_install.sh registry|chooser --exe QuorvanSetup.exe --packtool PACKTOOL --probe window_probe.exe \
#                   --sample SAMPLE_GAME_DIR --lit window2.bmp --out DIR
#
#   registry  the game's registry entry names the game folder: install, check, uninstall, check
#   chooser   no registry entry: the warning, then the game's executable typed into the open-file dialog; the pack
#             goes into that folder; then uninstall
#
# Screenshots of every state go to DIR. The install key and the game folders are restored or removed at the end,
# whatever happened; on a failure the screen is saved and described before the program is ended.
# Every wait is for a condition with a limit that holds on a busy machine (QV_GUI_WAIT seconds, default 120; the
# install itself QV_E2E_INSTALL_SECONDS, default 300).
# Environment: WINEPREFIX (as for wine64-run.sh), DISPLAY (required), QV_E2E_INSTALL_SECONDS, QV_GUI_WAIT.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG=-all

SCENARIO=${1:-}
shift || true
while [ $# -gt 0 ]; do
    case "$1" in
        --exe) EXE=$2 ;;
        --packtool) PACKTOOL=$2 ;;
        --probe) PROBE=$2 ;;
        --sample) SAMPLE=$2 ;;
        --lit) LIT=$2 ;;
        --out) OUT=$2 ;;
        *) echo "walk_install: unknown argument $1" >&2; exit 2 ;;
    esac
    shift 2
done
case "$SCENARIO" in
    registry | chooser) ;;
    *) echo "usage: walk_install.sh registry|chooser --exe EXE --packtool TOOL --probe EXE --sample DIR --lit BMP" \
            "--out DIR" >&2
       exit 2 ;;
esac
INSTALL_SECONDS=${QV_E2E_INSTALL_SECONDS:-300}

GAME_ROOT_WIN='C:\QvE2E'
GAME_ROOT="$WINEPREFIX/drive_c/QvE2E"
SAVED_KEY_WIN='C:\QvE2E-saved-key.reg'
SAVED_KEY="$WINEPREFIX/drive_c/QvE2E-saved-key.reg"
GEFORCE_VALUE="e2e-$SCENARIO"

say() { printf '%s\n' "$*"; }
fail() {
    printf 'FAIL: %s\n' "$*"
    exit 1
}

for tool in xdotool import python3; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run through scripts/test-all.sh, or start Xvfb (scripts/xvfb.sh) first"
xdpyinfo >/dev/null 2>&1 || fail "the display $DISPLAY does not answer"
for file in "$EXE" "$PACKTOOL" "$PROBE" "$LIT"; do
    [ -f "$file" ] || fail "$file is missing (build the win64 tree first)"
done
[ -d "$SAMPLE" ] || fail "$SAMPLE is missing"

source "$ROOT/scripts/gui-lib.sh"
GUI_OUT="$OUT"
GUI_PROBE="$PROBE"
GUI_LIT="$LIT"
mkdir -p "$OUT"
rm -rf "${OUT:?}"/*.png "$OUT/package"
eval "$(gui_layout)"

# --- the end: report a failure while it is on the screen, then clean up --------------------------------------------
finish() {
    local status=$1
    trap - EXIT
    set +e
    if [ "$status" != 0 ]; then
        gui_report_screen
        [ -s "$OUT/installer.log" ] && sed 's/^/   installer: /' "$OUT/installer.log" | tail -20
    fi
    gui_kill_installer
    gui_restore_key
    rm -rf "$GAME_ROOT" "$OUT/package"
    exit "$status"
}
trap 'finish $?' EXIT

# --- set-up ---------------------------------------------------------------------------------------------------------
say "== $SCENARIO: setting up"
"$PACKTOOL" extract "$EXE" "$OUT/package" >/dev/null || fail "packtool could not extract the package of $EXE"
"$PACKTOOL" names >"$OUT/names.txt" || fail "packtool could not print the installer's table of names"
gui_save_key "$SAVED_KEY_WIN" "$SAVED_KEY"
rm -rf "$GAME_ROOT"
if [ "$SCENARIO" = registry ]; then
    GAME_WIN="$GAME_ROOT_WIN\\Game"
    GAME="$GAME_ROOT/Game"
    gui_reg_set InstallInfo "$GAME_WIN"
else
    GAME_WIN="$GAME_ROOT_WIN\\Picked"
    GAME="$GAME_ROOT/Picked"
    gui_reg_unset InstallInfo
fi
mkdir -p "$GAME"
cp -r "$SAMPLE/." "$GAME/"
gui_reg_unset QuorvanInfo
gui_reg_set QuorvanGeforce2mx "$GEFORCE_VALUE"
INSTALL_INFO_BEFORE=$(gui_reg_value InstallInfo)
say "   game folder $GAME_WIN; InstallInfo \"$INSTALL_INFO_BEFORE\", QuorvanGeforce2mx \"$GEFORCE_VALUE\", no QuorvanInfo"

say "== starting the installer"
gui_start_installer "$EXE" "$OUT/installer.log"
gui_expect_state visible hidden "before the install" start

say "== install"
gui_click "$LAYOUT_INSTALL_X" "$LAYOUT_INSTALL_Y"
if [ "$SCENARIO" = chooser ]; then
    gui_answer_text "未找到真.三国无双3安装目录" "请手工指定安装目录!" game-not-found
    gui_wait_ready "打开" || fail "the open-file dialog did not appear"
    chooser=$GUI_READY
    xdotool type --delay 20 "$GAME_WIN\\Shin Sangokumusou 3.exe"
    gui_shot chooser-typed "$GUI_MAIN" "$chooser"
    xdotool key Return
    gui_wait_gone "打开" || fail "the open-file dialog did not take the typed game executable"
fi
gui_answer_text "安装确认" "安装目录: $GAME_WIN (磁盘剩余空间: " install-confirm
# The box comes before the install is over: both controls stay hidden until it is answered.
gui_await_box_text "提示" "安装成功结束!" "$INSTALL_SECONDS"
gui_expect_controls hidden hidden "while the install's last message is shown"
gui_shot install-done "$GUI_MAIN" "$GUI_BOX"
gui_dismiss_box "提示"
gui_expect_state hidden visible "after the install" installed

say "== checking the installation"
gui_expect_value QuorvanInfo "REG_SZ    $GAME_WIN" "after the install"
gui_expect_value QuorvanGeforce2mx "REG_SZ    $GEFORCE_VALUE" "after the install"
[ "$(gui_reg_value InstallInfo)" = "$INSTALL_INFO_BEFORE" ] || fail "InstallInfo changed during the install"
say "   registry: QuorvanInfo = $GAME_WIN; QuorvanGeforce2mx and InstallInfo as before"
python3 "$ROOT/tests/e2e/check_game.py" installed --package "$OUT/package" --original "$SAMPLE" --game "$GAME" \
    --names "$OUT/names.txt" |
    sed 's/^/   /' || fail "the installed game folder is not what the package says"

say "== uninstall"
gui_click "$LAYOUT_UNINSTALL_X" "$LAYOUT_UNINSTALL_Y"
gui_answer_text "卸载确认" "是否卸载简体中文汉化包?" uninstall-confirm
gui_answer_text "提示" "卸载完成!" uninstall-done
gui_expect_state visible hidden "after the uninstall" uninstalled

say "== checking the uninstallation"
gui_expect_no_value QuorvanInfo "after the uninstall"
gui_expect_value QuorvanGeforce2mx "REG_SZ    $GEFORCE_VALUE" "after the uninstall"
[ "$(gui_reg_value InstallInfo)" = "$INSTALL_INFO_BEFORE" ] || fail "InstallInfo changed during the uninstall"
say "   registry: QuorvanInfo gone; QuorvanGeforce2mx and InstallInfo as before"
python3 "$ROOT/tests/e2e/check_game.py" uninstalled --original "$SAMPLE" --game "$GAME" | sed 's/^/   /' ||
    fail "the game folder is not the original game again"

say "== closing the installer"
gui_click "$LAYOUT_CLOSE_X" "$LAYOUT_CLOSE_Y"
gui_wait_exit || fail "the installer is still running after close"
[ "$GUI_APP_STATUS" = 0 ] || fail "the installer ended with exit code $GUI_APP_STATUS"
say "== $SCENARIO: passed"

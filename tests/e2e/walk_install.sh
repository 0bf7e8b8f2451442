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

KEY='HKCU\Software\KOEI\Shin Sangokumusou 3\Install'
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
mkdir -p "$OUT"
rm -rf "${OUT:?}"/*.png "$OUT/package"
eval "$(gui_layout)"

# --- the install key: what the test expects of it, and how it was before ------------------------------------------
# reg_value NAME: prints "TYPE    DATA" of the value, nothing when it is absent.
reg_value() {
    "$GUI_RUN" reg query "$KEY" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^    $1    //p" || true
}
expect_value() {
    local actual
    actual=$(reg_value "$1")
    [ "$actual" = "$2" ] || fail "registry value $1 is \"$actual\", expected \"$2\" ($3)"
}
expect_no_value() {
    local actual
    actual=$(reg_value "$1")
    [ -z "$actual" ] || fail "registry value $1 is \"$actual\", expected none ($2)"
}
reg_set() { "$GUI_RUN" reg add "$KEY" /v "$1" /t REG_SZ /d "$2" /f >/dev/null; }
reg_unset() { "$GUI_RUN" reg delete "$KEY" /v "$1" /f >/dev/null 2>&1 || true; }

KEY_SAVED=""  # empty until save_key has run; then 1 when the key existed, 0 when it did not
save_key() {
    rm -f "$SAVED_KEY"
    if "$GUI_RUN" reg query "$KEY" >/dev/null 2>&1; then
        "$GUI_RUN" reg export "$KEY" "$SAVED_KEY_WIN" /y >/dev/null 2>&1 || fail "could not save the install key"
        KEY_SAVED=1
    else
        KEY_SAVED=0
    fi
}
restore_key() {
    [ -n "$KEY_SAVED" ] || return 0
    "$GUI_RUN" reg delete "$KEY" /f >/dev/null 2>&1 || true
    if [ "$KEY_SAVED" = 1 ]; then
        "$GUI_RUN" reg import "$SAVED_KEY_WIN" >/dev/null 2>&1 || say "could not restore the install key"
    fi
    rm -f "$SAVED_KEY"
}

# --- the window, seen through window_probe ------------------------------------------------------------------------
# box_text CAPTION: the text of the shown message box with this caption (line breaks as "\n").
box_text() {
    "$GUI_RUN" "$PROBE" boxes 2>/dev/null | awk -F'\t' -v caption="$1" '$1 == caption { print $2; exit }'
}
BOX_TEXT=""
_box_says() {
    BOX_TEXT=$(box_text "$1")
    [[ "$BOX_TEXT" == *"$2"* ]]
}
# await_box CAPTION TEXT [SECONDS]: waits for the message box and for its text to hold TEXT.
await_box() {
    gui_await_box "$1" "${3:-$GUI_WAIT}"
    gui_poll "$GUI_WAIT" _box_says "$1" "$2" ||
        fail "the message box \"$1\" says \"$BOX_TEXT\", expected \"$2\" in it"
    say "   message box \"$1\": $BOX_TEXT"
}
# answer_box CAPTION TEXT SHOT [SECONDS]: await_box, then a screenshot, then Return.
answer_box() {
    await_box "$1" "$2" "${4:-$GUI_WAIT}"
    gui_shot "$3" "$GUI_MAIN" "$GUI_BOX"
    gui_dismiss_box "$1"
}
# expect_controls INSTALL UNINSTALL WHEN: the install and uninstall controls are (or, within the wait, become)
# visible or hidden as given: the controls are refreshed right after the box before them is answered.
CONTROLS=""
_controls_are() {
    local states install uninstall
    states=$("$GUI_RUN" "$PROBE" controls 2>/dev/null) || { CONTROLS="no main window"; return 1; }
    install=$(printf '%s\n' "$states" | tr -d '\r' | awk -v id="$LAYOUT_INSTALL_ID" '$1 == id { print $2 }')
    uninstall=$(printf '%s\n' "$states" | tr -d '\r' | awk -v id="$LAYOUT_UNINSTALL_ID" '$1 == id { print $2 }')
    CONTROLS="install control $install, uninstall control $uninstall"
    [ "$install $uninstall" = "$1 $2" ]
}
expect_controls() {
    gui_poll "$GUI_WAIT" _controls_are "$1" "$2" || fail "$3: $CONTROLS; expected $1 and $2"
    say "   controls: install $1, uninstall $2"
}

# expect_look COMMAND lit|unlit WHEN: moves the mouse off the controls and then onto the control of COMMAND, which
# must light up when it is shown and stay as the window's picture when it is hidden. The probe has already said
# which it is; the look confirms it on the screen.
_mouse_at() {
    local X Y SCREEN WINDOW
    eval "$(xdotool getmouselocation --shell 2>/dev/null)"
    [ "$X $Y" = "$1 $2" ]
}
_mouse_to() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$GUI_MAIN")"
    xdotool mousemove --window "$GUI_MAIN" "$1" "$2"
    gui_poll "$GUI_WAIT" _mouse_at $((X + $1)) $((Y + $2)) || fail "the mouse did not reach $1,$2 of the window"
}
_lit() { gui_is_lit "$1" "$LIT"; }
expect_look() {
    local x y i
    eval "x=\$LAYOUT_${1^^}_X y=\$LAYOUT_${1^^}_Y"
    _mouse_to 225 40
    _mouse_to "$x" "$y"
    if [ "$2" = lit ]; then
        gui_poll "$GUI_WAIT" _lit "$1" ||
            fail "$3: the $1 control does not light up under the mouse ($(gui_lit_difference "$1" "$LIT") pixels differ)"
    else
        # A hidden control has nothing to light: it must stay unlit for a while under the mouse.
        for i in 1 2 3 4 5 6; do
            ! _lit "$1" || fail "$3: the $1 control lights up under the mouse, but it should be hidden"
            sleep 0.2
        done
    fi
    say "   under the mouse the $1 control is $2"
}
# expect_state INSTALL UNINSTALL WHEN SHOT: the controls' visibility through the probe and under the mouse, then a
# screenshot with the mouse over the control that is shown.
expect_state() {
    local shown=install hidden=uninstall
    [ "$1" = visible ] || { shown=uninstall; hidden=install; }
    expect_controls "$1" "$2" "$3"
    expect_look "$hidden" unlit "$3"
    expect_look "$shown" lit "$3"
    gui_shot "$4" "$GUI_MAIN"
}

# --- the end: report a failure while it is on the screen, then clean up --------------------------------------------
finish() {
    local status=$1 id
    trap - EXIT
    set +e
    if [ "$status" != 0 ]; then
        say "--- on the screen at the failure:"
        gui_screen failure.png
        for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
            say "   window $id \"$(xdotool getwindowname "$id" 2>/dev/null)\" $(xdotool getwindowgeometry "$id" 2>/dev/null |
                sed -n 's/^ *Position: \([^ ]*\).*/at \1/p')"
        done
        "$GUI_RUN" "$PROBE" boxes 2>/dev/null | sed 's/^/   box: /'
        [ -s "$OUT/installer.log" ] && sed 's/^/   installer: /' "$OUT/installer.log" | tail -20
    fi
    gui_kill_installer
    restore_key
    rm -rf "$GAME_ROOT" "$OUT/package"
    exit "$status"
}
trap 'finish $?' EXIT

# --- set-up ---------------------------------------------------------------------------------------------------------
say "== $SCENARIO: setting up"
"$PACKTOOL" extract "$EXE" "$OUT/package" >/dev/null || fail "packtool could not extract the package of $EXE"
save_key
rm -rf "$GAME_ROOT"
if [ "$SCENARIO" = registry ]; then
    GAME_WIN="$GAME_ROOT_WIN\\Game"
    GAME="$GAME_ROOT/Game"
    reg_set InstallInfo "$GAME_WIN"
else
    GAME_WIN="$GAME_ROOT_WIN\\Picked"
    GAME="$GAME_ROOT/Picked"
    reg_unset InstallInfo
fi
mkdir -p "$GAME"
cp -r "$SAMPLE/." "$GAME/"
reg_unset QuorvanInfo
reg_set QuorvanGeforce2mx "$GEFORCE_VALUE"
INSTALL_INFO_BEFORE=$(reg_value InstallInfo)
say "   game folder $GAME_WIN; InstallInfo \"$INSTALL_INFO_BEFORE\", QuorvanGeforce2mx \"$GEFORCE_VALUE\", no QuorvanInfo"

say "== starting the installer"
gui_start_installer "$EXE" "$OUT/installer.log"
expect_state visible hidden "before the install" start

say "== install"
gui_click "$LAYOUT_INSTALL_X" "$LAYOUT_INSTALL_Y"
if [ "$SCENARIO" = chooser ]; then
    answer_box "未找到真.三国无双3安装目录" "请手工指定安装目录!" game-not-found
    gui_wait_ready "打开" || fail "the open-file dialog did not appear"
    chooser=$GUI_READY
    xdotool type --delay 20 "$GAME_WIN\\Shin Sangokumusou 3.exe"
    gui_shot chooser-typed "$GUI_MAIN" "$chooser"
    xdotool key Return
    gui_wait_gone "打开" || fail "the open-file dialog did not take the typed game executable"
fi
answer_box "安装确认" "安装目录: $GAME_WIN (磁盘剩余空间: " install-confirm
# The box comes before the install is over: both controls stay hidden until it is answered.
await_box "提示" "安装成功结束!" "$INSTALL_SECONDS"
expect_controls hidden hidden "while the install's last message is shown"
gui_shot install-done "$GUI_MAIN" "$GUI_BOX"
gui_dismiss_box "提示"
expect_state hidden visible "after the install" installed

say "== checking the installation"
expect_value QuorvanInfo "REG_SZ    $GAME_WIN" "after the install"
expect_value QuorvanGeforce2mx "REG_SZ    $GEFORCE_VALUE" "after the install"
[ "$(reg_value InstallInfo)" = "$INSTALL_INFO_BEFORE" ] || fail "InstallInfo changed during the install"
say "   registry: QuorvanInfo = $GAME_WIN; QuorvanGeforce2mx and InstallInfo as before"
python3 "$ROOT/tests/e2e/check_game.py" installed --package "$OUT/package" --original "$SAMPLE" --game "$GAME" |
    sed 's/^/   /' || fail "the installed game folder is not what the package says"

say "== uninstall"
gui_click "$LAYOUT_UNINSTALL_X" "$LAYOUT_UNINSTALL_Y"
answer_box "卸载确认" "是否卸载简体中文汉化包?" uninstall-confirm
answer_box "提示" "卸载完成!" uninstall-done
expect_state visible hidden "after the uninstall" uninstalled

say "== checking the uninstallation"
expect_no_value QuorvanInfo "after the uninstall"
expect_value QuorvanGeforce2mx "REG_SZ    $GEFORCE_VALUE" "after the uninstall"
[ "$(reg_value InstallInfo)" = "$INSTALL_INFO_BEFORE" ] || fail "InstallInfo changed during the uninstall"
say "   registry: QuorvanInfo gone; QuorvanGeforce2mx and InstallInfo as before"
python3 "$ROOT/tests/e2e/check_game.py" uninstalled --original "$SAMPLE" --game "$GAME" | sed 's/^/   /' ||
    fail "the game folder is not the original game again"

say "== closing the installer"
gui_click "$LAYOUT_CLOSE_X" "$LAYOUT_CLOSE_Y"
gui_wait_exit || fail "the installer is still running after close"
[ "$GUI_APP_STATUS" = 0 ] || fail "the installer ended with exit code $GUI_APP_STATUS"
say "== $SCENARIO: passed"

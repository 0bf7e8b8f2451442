#!/bin/bash
# The settings dialog end to end: the packed demo program runs under wine64 on $DISPLAY; the pack is installed,
# then "设置" is pressed, the save in the prefix's documents folder is opened with "打开", two names are typed into
# the dialog and saved with "保存". The save's bytes, its backup and the two rendered textures are checked, a
# picture of the high texture is saved, and after the uninstall the textures must be gone with the pack folder.
#
#   walk_settings.sh --exe QuorvanSetup.exe --probe dialog_probe.exe --sample SAMPLE_GAME_DIR --out DIR
#
# Screenshots go to DIR. The install key, the game folder and the save are restored or removed at the end,
# whatever happened. Environment: WINEPREFIX (as for wine64-run.sh), DISPLAY (required), QV_GUI_RUN (gui-lib.sh),
# QV_GUI_WAIT and QV_E2E_INSTALL_SECONDS (the limits of the waits and of the install, default 120 and 300 s).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG=-all

while [ $# -gt 0 ]; do
    case "$1" in
        --exe) EXE=$2 ;;
        --probe) PROBE=$2 ;;
        --sample) SAMPLE=$2 ;;
        --out) OUT=$2 ;;
        *) echo "walk_settings: unknown argument $1" >&2; exit 2 ;;
    esac
    shift 2
done
[ -n "${EXE:-}" ] && [ -n "${PROBE:-}" ] && [ -n "${SAMPLE:-}" ] && [ -n "${OUT:-}" ] || {
    echo "usage: walk_settings.sh --exe EXE --probe EXE --sample DIR --out DIR" >&2
    exit 2
}

GAME_WIN='C:\QvSettings\Game'
GAME_ROOT="$WINEPREFIX/drive_c/QvSettings"
GAME="$GAME_ROOT/Game"
SAVED_KEY_WIN='C:\QvSettings-saved-key.reg'
SAVED_KEY="$WINEPREFIX/drive_c/QvSettings-saved-key.reg"
NAME1="曹操"
NAME2="关羽张飞"

say() { printf '%s\n' "$*"; }
fail() {
    printf 'FAIL: %s\n' "$*"
    exit 1
}

for tool in xdotool import python3; do
    command -v "$tool" >/dev/null || fail "$tool is not installed"
done
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY: run through scripts/test-all.sh, or start Xvfb (scripts/xvfb.sh) first"
for file in "$EXE" "$PROBE"; do
    [ -f "$file" ] || fail "$file is missing (build the win64 tree first)"
done
[ -d "$SAMPLE" ] || fail "$SAMPLE is missing"

source "$ROOT/scripts/gui-lib.sh"
SETTINGS_PROBE="$PROBE"
source "$ROOT/scripts/settings-walk.sh"
GUI_OUT="$OUT"
mkdir -p "$OUT"
rm -f "$OUT"/*.png
eval "$(gui_layout)"

# The save: a save already in the prefix is kept aside and put back at the end.
SAVE_DIR=$(settings_save_dir)
SAVE="$SAVE_DIR/ShinSangokumusou3.dat"
SAVE_ASIDE="$OUT/save-found-before.dat"
SAVE_MOVED=""
place_save() {
    mkdir -p "$SAVE_DIR"
    rm -f "$SAVE_ASIDE"
    if [ -e "$SAVE" ]; then
        mv "$SAVE" "$SAVE_ASIDE"
        SAVE_MOVED=1
    fi
    rm -f "$SAVE.bak"
    python3 -c 'import sys; open(sys.argv[1], "wb").write(bytes((i * 7 + 3) & 0xFF for i in range(4096)))' "$SAVE"
    cp "$SAVE" "$OUT/save-original.dat"
}
restore_save() {
    rm -f "$SAVE" "$SAVE.bak"
    [ -z "$SAVE_MOVED" ] || mv "$SAVE_ASIDE" "$SAVE"
}

finish() {
    local status=$1
    trap - EXIT
    set +e
    if [ "$status" != 0 ]; then
        gui_screen failure.png
        [ -s "$OUT/installer.log" ] && sed 's/^/   installer: /' "$OUT/installer.log" | tail -20
    fi
    gui_kill_installer
    gui_restore_key
    restore_save
    rm -rf "$GAME_ROOT"
    exit "$status"
}
trap 'finish $?' EXIT

say "== setting up"
gui_save_key "$SAVED_KEY_WIN" "$SAVED_KEY"
rm -rf "$GAME_ROOT"
mkdir -p "$GAME"
cp -r "$SAMPLE/." "$GAME/"
gui_reg_set InstallInfo "$GAME_WIN"
gui_reg_unset QuorvanInfo
gui_reg_unset QuorvanGeforce2mx
place_save
say "   game folder $GAME_WIN; a save of 4096 bytes in the prefix's documents folder"

say "== starting the installer and installing"
gui_start_installer "$EXE" "$OUT/installer.log"
gui_click "$LAYOUT_INSTALL_X" "$LAYOUT_INSTALL_Y"
gui_answer "安装确认" install-confirm
gui_answer "提示" install-done "${QV_E2E_INSTALL_SECONDS:-300}"

say "== the settings dialog"
settings_walk "$GAME" "$SAVE" "$NAME1" "$NAME2"
gui_expect_value QuorvanGeforce2mx "REG_SZ    0" "after 返回"
say "   返回 stored QuorvanGeforce2mx \"0\""

say "== uninstall"
gui_click "$LAYOUT_UNINSTALL_X" "$LAYOUT_UNINSTALL_Y"
gui_answer "卸载确认" uninstall-confirm
gui_answer "提示" uninstall-done
for quality in high low; do
    [ ! -e "$GAME/quorvan/bg/$quality/user_font01b.tga" ] || fail "the $quality texture is still there"
done
[ ! -e "$GAME/quorvan" ] || fail "the pack folder is still there"
say "   the pack folder and both rendered textures are gone"

say "== closing the installer"
gui_click "$LAYOUT_CLOSE_X" "$LAYOUT_CLOSE_Y"
gui_wait_exit || fail "the installer is still running after close"
say "== settings: passed"

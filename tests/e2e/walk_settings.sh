#!/bin/bash
# The settings dialog end to end: the packed demo program runs under wine64 on $DISPLAY; the pack is installed,
# then "设置" is pressed, the save in the prefix's documents folder is opened with "打开", two names are typed into
# the dialog and saved with "保存". The save's bytes, its backup and the two rendered textures are checked, a
# picture of the high texture is saved, and after the uninstall the textures must be gone with the pack folder.
#
#   walk_settings.sh --exe QuorvanSetup.exe --probe window_probe.exe --dialog-probe dialog_probe.exe \
#                    --sample SAMPLE_GAME_DIR --lit window2.bmp --out DIR [--locale LOCALE] [--names type|paste]
#
# --names paste puts the names into the dialog's edits through dialog_probe, as a paste would, instead of typing
# them (scripts/settings-walk.sh: SETTINGS_NAMES); the 32-bit guest, whose emulated processor makes each typed
# character a matter of seconds, walks so, while the walks under wine64 type.
# --locale runs the installer under that locale's system code page (as walk_install.sh does), with the game in a
# folder whose name 932 and 1252 cannot spell.
# Screenshots go to DIR. The install key, the game folder and the save are restored or removed at the end,
# whatever happened. Environment: WINEPREFIX (as for wine64-run.sh), DISPLAY (required), QV_GUI_RUN (gui-lib.sh),
# QV_GUI_WAIT and QV_E2E_INSTALL_SECONDS (the limits of the waits and of the install, default 120 and 300 s).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
source "$ROOT/scripts/gui-lib.sh"
source "$ROOT/scripts/settings-walk.sh"

LOCALE=""
NAMES="type"
walk_args walk_settings "exe probe dialog-probe sample lit out locale? names?" "$@"
SETTINGS_NAMES="$NAMES"
GAME_FOLDER=Game
if [ -n "$LOCALE" ]; then
    GUI_LOCALE="$LOCALE"
    GAME_FOLDER="汉化游戏/真三国无双3乗"
fi
GUI_PROBE="$PROBE"
GUI_LIT="$LIT"
SETTINGS_PROBE="$DIALOG_PROBE"
walk_begin QvSettings "$OUT" "$EXE" "$PROBE" "$DIALOG_PROBE" "$LIT" "$SAMPLE/"
NAME1="曹操"
NAME2="关羽张飞"

# The save: a save already in the prefix is kept aside and put back at the end.
SAVE_DIR=$(settings_save_dir)
SAVE="$SAVE_DIR/${GUI_FACT[save-file]}"
SAVE_ASIDE="$OUT/save-found-before.dat"
SAVE_MOVED=""
place_save() {
    mkdir -p "$SAVE_DIR"
    rm -f "$SAVE_ASIDE"
    if [ -e "$SAVE" ]; then
        mv "$SAVE" "$SAVE_ASIDE"
        SAVE_MOVED=1
    fi
    settings_new_save "$SAVE"
}
walk_cleanup() {
    rm -f "$SAVE" "$SAVE.bak"
    [ -z "$SAVE_MOVED" ] || mv "$SAVE_ASIDE" "$SAVE"
}

say "== setting up${LOCALE:+ under $LOCALE}"
walk_setup_game "$SAMPLE" "$GAME_FOLDER" registry
gui_reg_unset "${GUI_FACT[geforce2mx-value]}"
place_save
say "   game folder $WALK_GAME_WIN; a save of 4096 bytes in the prefix's documents folder"

say "== starting the installer and installing"
walk_start "$EXE"
gui_expect_state visible hidden "before the install" start
walk_install_pack "$WALK_GAME_WIN"

say "== the settings dialog"
settings_walk "$WALK_GAME" "$SAVE" "$NAME1" "$NAME2"
gui_expect_value "${GUI_FACT[geforce2mx-value]}" "REG_SZ    0" "after 返回"
say "   返回 stored QuorvanGeforce2mx \"0\""

say "== uninstall"
walk_uninstall
for quality in high low; do
    [ ! -e "$WALK_GAME/quorvan/bg/$quality/user_font01b.tga" ] || fail "the $quality texture is still there"
done
[ ! -e "$WALK_GAME/quorvan" ] || fail "the pack folder is still there"
say "   the pack folder and both rendered textures are gone"
walk_check_game uninstalled

say "== closing the installer"
walk_close
say "== settings: passed"

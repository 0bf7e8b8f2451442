#!/bin/bash
# The installer's main job end to end: the packed demo program runs under wine64 on $DISPLAY and is walked through
# its window with xdotool, the way a user would; the game folder is then checked byte for byte against the
# package, the install key through "reg query", and the skin controls' visibility through window_probe and through
# their look under the mouse (a shown control lights up with its area of the highlighted skin picture).
#
#   walk_install.sh registry|chooser --exe QuorvanSetup.exe (--packtool PACKTOOL | --package DIR) \
#                   --probe window_probe.exe [--dialog-probe dialog_probe.exe] --sample SAMPLE_GAME_DIR \
#                   --lit window2.bmp --out DIR [--locale LOCALE]
#
#   registry  the game's registry entry names the game folder: install, check, uninstall, check
#   chooser   no registry entry: the warning, then the game's executable given to the open-file dialog (through
#             dialog_probe, required here); the pack goes into that folder; then uninstall
#
# --locale runs the installer under that locale's system code page (ja_JP.UTF-8 932, en_US.UTF-8 1252, hi_IN.UTF-8
# 65001; the probes keep 936), with the game in a folder whose name those code pages cannot spell.
# --package is the package as "packtool extract" wrote it (the 32-bit guest's walk, which has no packtool: the
# installer's table of names is then the names.txt beside the sample game); --packtool extracts it first.
# Screenshots of every state go to DIR. The install key and the game folders are restored or removed at the end,
# whatever happened; on a failure the screen is saved and described before the program is ended.
# Every wait is for a condition with a limit that holds on a busy machine (QV_GUI_WAIT seconds, default 120; the
# install itself QV_E2E_INSTALL_SECONDS, default 300).
# Environment: WINEPREFIX (as for wine64-run.sh), DISPLAY (required), QV_GUI_RUN (gui-lib.sh), QV_GUI_WAIT,
# QV_E2E_INSTALL_SECONDS.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
source "$ROOT/scripts/gui-lib.sh"

SCENARIO=${1:-}
shift || true
PACKTOOL="" PACKAGE="" LOCALE="" DIALOG_PROBE=""
walk_args walk_install "exe packtool? package? probe dialog-probe? sample lit out locale?" "$@"
case "$SCENARIO" in
    registry) FOLDER=Game REGISTRY=registry ;;
    chooser) FOLDER=Picked REGISTRY=none ;;
    *) echo "usage: walk_install.sh registry|chooser --exe EXE (--packtool TOOL | --package DIR) --probe EXE" \
            "--sample DIR --lit BMP --out DIR" >&2
       exit 2 ;;
esac
[ -n "$PACKTOOL$PACKAGE" ] || { echo "walk_install: --packtool or --package is required" >&2; exit 2; }
if [ -n "$LOCALE" ]; then
    GUI_LOCALE="$LOCALE"
    FOLDER="汉化游戏/真三国无双3乗"
fi
GUI_PROBE="$PROBE"
GUI_LIT="$LIT"
walk_begin QvE2E "$OUT" "$EXE" "$PROBE" "$LIT" "$SAMPLE/" ${PACKTOOL:+"$PACKTOOL"}
GEFORCE_VALUE="e2e-$SCENARIO"

say "== $SCENARIO${LOCALE:+ under $LOCALE}: setting up"
walk_package "$EXE" "$PACKTOOL" "$PACKAGE"
walk_setup_game "$SAMPLE" "$FOLDER" "$REGISTRY"
gui_reg_set QuorvanGeforce2mx "$GEFORCE_VALUE"
INSTALL_INFO_BEFORE=$(gui_reg_value InstallInfo)
say "   game folder $WALK_GAME_WIN; InstallInfo \"$INSTALL_INFO_BEFORE\", QuorvanGeforce2mx \"$GEFORCE_VALUE\"," \
    "no QuorvanInfo"

say "== starting the installer"
walk_start "$EXE"
gui_expect_state visible hidden "before the install" start

say "== install"
gui_click "$LAYOUT_INSTALL_X" "$LAYOUT_INSTALL_Y"
if [ "$SCENARIO" = chooser ]; then
    gui_answer_text "未找到真.三国无双3安装目录" "请手工指定安装目录!" game-not-found
    # The open-file dialog's title is the system's own, in the language of the installer's locale.
    case "$LOCALE" in
        ja_*) open_title="開く" ;;
        en_* | hi_*) open_title="Open" ;;
        *) open_title="打开" ;;
    esac
    gui_wait_ready "$open_title" || fail "the open-file dialog \"$open_title\" did not appear"
    chooser=$GUI_READY
    # The path goes into the file-name field the way a paste would: a character that xdotool types through a spare
    # key may be lost on a busy machine, and typing is not what this walk checks (the settings walk types names).
    [ -n "$DIALOG_PROBE" ] || fail "the chooser scenario needs --dialog-probe"
    "$GUI_RUN" "$DIALOG_PROBE" filename "$open_title" "$WALK_GAME_WIN\\Shin Sangokumusou 3.exe" ||
        fail "the path could not be put into the open-file dialog"
    gui_shot chooser-name "$GUI_MAIN" "$chooser"
    xdotool key Return
    gui_wait_gone "$open_title" || fail "the open-file dialog did not take the typed game executable"
fi
walk_install_confirmed "$WALK_GAME_WIN"

say "== checking the installation"
gui_expect_value QuorvanInfo "REG_SZ    $WALK_GAME_WIN" "after the install"
gui_expect_value QuorvanGeforce2mx "REG_SZ    $GEFORCE_VALUE" "after the install"
[ "$(gui_reg_value InstallInfo)" = "$INSTALL_INFO_BEFORE" ] || fail "InstallInfo changed during the install"
say "   registry: QuorvanInfo = $WALK_GAME_WIN; QuorvanGeforce2mx and InstallInfo as before"
walk_check_game installed

say "== uninstall"
walk_uninstall

say "== checking the uninstallation"
gui_expect_value QuorvanGeforce2mx "REG_SZ    $GEFORCE_VALUE" "after the uninstall"
[ "$(gui_reg_value InstallInfo)" = "$INSTALL_INFO_BEFORE" ] || fail "InstallInfo changed during the uninstall"
say "   registry: QuorvanInfo gone; QuorvanGeforce2mx and InstallInfo as before"
walk_check_game uninstalled

say "== closing the installer"
walk_close
say "== $SCENARIO: passed"

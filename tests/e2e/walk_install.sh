#!/bin/bash
# The installer's main job end to end: the packed demo program runs under wine64 on $DISPLAY and is walked through
# its window with xdotool, the way a user would; the game folder is then checked byte for byte against the
# package, the install key through "reg query", and the skin controls' visibility through window_probe and through
# their look under the mouse (a shown control lights up with its area of the highlighted skin picture).
#
#   walk_install.sh registry|chooser|patched --exe QuorvanSetup.exe (--packtool PACKTOOL | --package DIR) \
#                   --probe window_probe.exe [--dialog-probe dialog_probe.exe] --sample SAMPLE_GAME_DIR \
#                   --lit window2.bmp --out DIR [--locale LOCALE]
#
#   registry  the game's registry entry names the game folder: install, check, uninstall, check
#   chooser   no registry entry: the warning, then the game's executable given to the open-file dialog (through
#             dialog_probe, required here); the pack goes into that folder; then uninstall
#   patched   as registry, but between the install and the uninstall the game's maker updates psrpc.dll: the
#             uninstall leaves the update as it is and names it in its last box, and takes back everything else
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
    registry | patched) FOLDER=Game REGISTRY=registry ;;
    chooser) FOLDER=Picked REGISTRY=none ;;
    *) echo "usage: walk_install.sh registry|chooser|patched --exe EXE (--packtool TOOL | --package DIR) --probe EXE" \
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
gui_reg_set "${GUI_FACT[geforce2mx-value]}" "$GEFORCE_VALUE"
INSTALL_INFO_BEFORE=$(gui_reg_value "${GUI_FACT[game-folder-value]}")
say "   game folder $WALK_GAME_WIN; InstallInfo \"$INSTALL_INFO_BEFORE\", QuorvanGeforce2mx \"$GEFORCE_VALUE\"," \
    "no QuorvanInfo"

say "== starting the installer"
walk_start "$EXE"
gui_expect_state visible hidden "before the install" start

say "== install"
gui_click "${GUI_LAYOUT[install.x]}" "${GUI_LAYOUT[install.y]}"
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
gui_expect_value "${GUI_FACT[installed-folder-value]}" "REG_SZ    $WALK_GAME_WIN" "after the install"
gui_expect_value "${GUI_FACT[geforce2mx-value]}" "REG_SZ    $GEFORCE_VALUE" "after the install"
[ "$(gui_reg_value "${GUI_FACT[game-folder-value]}")" = "$INSTALL_INFO_BEFORE" ] ||
    fail "InstallInfo changed during the install"
say "   registry: QuorvanInfo = $WALK_GAME_WIN; QuorvanGeforce2mx and InstallInfo as before"
walk_check_game installed

PATCHED="$WALK_GAME/psrpc.dll"
if [ "$SCENARIO" = patched ]; then
    say "== the game's maker updates psrpc.dll after the install"
    printf 'psrpc.dll as the maker'"'"'s update brings it\r\n' >"$OUT/update.dll"
    cp "$OUT/update.dll" "$PATCHED"
fi

say "== uninstall"
if [ "$SCENARIO" = patched ]; then
    # The updated file is the player's now: it stays, and the last box says so.
    walk_uninstall_press
    gui_answer_text "提示" "卸载结束, 但有 1 项未能完成:\n    安装后已被改动, 保留未动: psrpc.dll" uninstall-done \
        "$WALK_INSTALL_SECONDS"
    gui_expect_state visible hidden "after the uninstall" uninstalled
    gui_expect_no_value "${GUI_FACT[installed-folder-value]}" "after the uninstall"
else
    walk_uninstall
fi

say "== checking the uninstallation"
gui_expect_value "${GUI_FACT[geforce2mx-value]}" "REG_SZ    $GEFORCE_VALUE" "after the uninstall"
install_info_after=$(gui_reg_value "${GUI_FACT[game-folder-value]}")
[ "$install_info_after" = "$INSTALL_INFO_BEFORE" ] ||
    fail "InstallInfo changed during the uninstall: \"$INSTALL_INFO_BEFORE\" before, \"$install_info_after\" after"
say "   registry: QuorvanInfo gone; QuorvanGeforce2mx and InstallInfo as before"
if [ "$SCENARIO" = patched ]; then
    cmp -s "$OUT/update.dll" "$PATCHED" || fail "the uninstall changed the updated psrpc.dll"
    say "   psrpc.dll: the maker's update, as it was"
    # The list the box names is the one file left of the pack folder, for the player to read.
    left=$(cd "$WALK_GAME/quorvan" && find . -mindepth 1 | sort | tr '\n' ' ')
    [ "$left" = "./uninstall-errors.txt " ] || fail "the pack folder holds \"$left\", expected the list alone"
    grep -q "psrpc.dll" "$WALK_GAME/quorvan/uninstall-errors.txt" || fail "the list does not name psrpc.dll"
    say "   the pack folder holds the list alone, which names psrpc.dll"
    # Everything else is the original game: checked with the list gone and the original psrpc.dll put back.
    rm -r "$WALK_GAME/quorvan"
    cp "$WALK_SAMPLE/psrpc.dll" "$PATCHED"
fi
walk_check_game uninstalled

say "== closing the installer"
walk_close
say "== $SCENARIO: passed"

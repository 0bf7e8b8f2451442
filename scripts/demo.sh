#!/bin/bash
# The demo: sets up the machine, builds the win64 installer with its demo package, puts a stand-in game into the
# private Wine prefix and walks through the installer's window under wine64 (install, the settings dialog,
# uninstall), saving screenshots and pictures of the user-font textures that the settings rendered.
#
#   bash scripts/demo.sh
#
# Shown on your own X display when QV_USE_DISPLAY=1 and DISPLAY is set, otherwise on a private Xvfb display.
# Settings (environment):
#   QV_BUILD_DIR     build folder of the win64 preset (default build/win64)
#   WINEPREFIX       Wine prefix (default build/wineprefix)
#   QV_DEMO_OUT      where the screenshots go (default build/demo)
#   QV_DEMO_INSTALL  0: leave out the install and uninstall of the pack (default 1: both are shown)
#   QV_SKIP_SETUP    1: leave out the package, library and prefix set-up (they are quick when already done)
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
BUILD="${QV_BUILD_DIR:-$ROOT/build/win64}"
OUT="${QV_DEMO_OUT:-$ROOT/build/demo}"
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG=-all
RUN="$ROOT/scripts/wine64-run.sh"
GAME_KEY='HKCU\Software\KOEI\Shin Sangokumusou 3\Install'
GAME_DIR="$WINEPREFIX/drive_c/Games/SM3"

say() { printf '%s\n' "$*"; }
step() { printf '\n== %s\n' "$*"; }
fail() {
    printf 'demo: %s\n' "$*" >&2
    exit 1
}

step "setting up"
if [ "${QV_SKIP_SETUP:-0}" != 1 ]; then
    bash scripts/bootstrap.sh
    bash scripts/build-deps.sh x86_64-w64-mingw32
fi
bash scripts/wine-prefix.sh

step "building the win64 installer into $BUILD"
cmake --preset win64 -B "$BUILD" >/dev/null
cmake --build "$BUILD" -j"${QV_JOBS:-2}" --target qv_demo dialog_probe
EXE="$BUILD/bin/QuorvanSetup.exe"
[ -f "$EXE" ] || fail "$EXE was not built"
SAMPLE="$BUILD/payload/demo/sample-game"
# The game's own files that the install replaces and the uninstall writes back: the installer's table, as
# "packtool names" printed it into the demo pack's folder (one "/"-separated path a line).
REPLACED="$(LC_ALL=C awk -F'\t' '$3 == "restore" { gsub(/\\/, "/", $2); print $2 }' "$BUILD/payload/demo/names.txt")"
[ -n "$REPLACED" ] || fail "$BUILD/payload/demo/names.txt names no file that the install replaces"
SKIN_LIT="$BUILD/resources/artwork/window2.bmp"

step "preparing the stand-in game in C:\\Games\\SM3"
rm -rf "$GAME_DIR"
mkdir -p "$GAME_DIR"
cp -r "$SAMPLE/." "$GAME_DIR/"
"$RUN" reg add "$GAME_KEY" /v InstallInfo /t REG_SZ /d 'C:\Games\SM3' /f >/dev/null
"$RUN" reg delete "$GAME_KEY" /v QuorvanInfo /f >/dev/null 2>&1 || true
say "game folder: $(cd "$GAME_DIR" && find . -type f | sed 's|^\./||' | sort | tr '\n' ';' | sed 's/;$//; s/;/, /g')"
say "registry: $GAME_KEY InstallInfo = C:\\Games\\SM3 (no QuorvanInfo: the pack counts as not installed)"

source "$ROOT/scripts/gui-lib.sh"
SETTINGS_PROBE="$BUILD/tests/e2e/dialog_probe.exe"
source "$ROOT/scripts/settings-walk.sh"
GUI_OUT="$OUT"
# Where the controls are: read from the same layout file that the package carries.
eval "$(gui_layout)"
HOVER_X=$LAYOUT_INSTALL_X HOVER_Y=$LAYOUT_INSTALL_Y
HOVER_W=$((LAYOUT_INSTALL_RIGHT - LAYOUT_INSTALL_LEFT))
HOVER_H=$((LAYOUT_INSTALL_BOTTOM - LAYOUT_INSTALL_TOP))

mkdir -p "$OUT"
rm -f "$OUT"/*.png
source "$ROOT/scripts/xvfb.sh"
cleanup() {
    gui_kill_installer
    xvfb_stop
}
trap cleanup EXIT
xvfb_start
if [ "${QV_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
    say "showing the installer on your display $DISPLAY"
else
    say "showing the installer on a private Xvfb display $DISPLAY (screenshots only)"
fi

# walk TEXT: prints the next numbered step of the walk.
WALK_STEP=0
walk() {
    WALK_STEP=$((WALK_STEP + 1))
    say "$WALK_STEP. $*"
}
step "walking through the installer"
gui_start_installer "$EXE" "$OUT/installer.log"
eval "$(xdotool getwindowgeometry --shell "$GUI_MAIN")"
SCREEN_SIZE=$(xdotool getdisplaygeometry | tr ' ' x)
walk "the window \"Install\" is shown: ${WIDTH}x${HEIGHT} at $X,$Y (centred on the $SCREEN_SIZE screen)"
xdotool mousemove --window "$GUI_MAIN" "$GUI_REST_X" "$GUI_REST_Y"
gui_shot window "$GUI_MAIN"

xdotool mousemove --window "$GUI_MAIN" "$HOVER_X" "$HOVER_Y"
sleep 0.5
differing=$(gui_lit_difference install "$SKIN_LIT")
if gui_is_lit install "$SKIN_LIT"; then
    look="it shows its highlighted look"
else
    look="it does NOT show its highlighted look"
fi
walk "mouse over the install button at $HOVER_X,$HOVER_Y: $look ($differing of its $((HOVER_W * HOVER_H)) pixels" \
    "differ from window2.bmp)"
gui_shot hover-install "$GUI_MAIN"

walk "press on the first credits area at $LAYOUT_MSGBOX_X,$LAYOUT_MSGBOX_Y"
xdotool mousemove --window "$GUI_MAIN" "$LAYOUT_MSGBOX_X" "$LAYOUT_MSGBOX_Y" click 1
gui_answer "$LAYOUT_MSGBOX_SECOND" msgbox

# The standard dialogs in the skinned look: the settings dialog, and the file chooser that install opens when the
# game's registry value is missing (the value is put back afterwards).
walk "settings: press the settings button"
xdotool mousemove --window "$GUI_MAIN" "$LAYOUT_SETTING_X" "$LAYOUT_SETTING_Y" click 1
gui_await_box "设置"
say "   the settings dialog appeared"
gui_shot settings "$GUI_MAIN" "$GUI_BOX"
gui_dismiss_box "设置" alt+F4
say "   closed it with its close box (Alt+F4; Escape does nothing in this dialog)"

walk "install while the game's folder is not in the registry: the file chooser"
"$RUN" reg delete "$GAME_KEY" /v InstallInfo /f >/dev/null
xdotool mousemove --window "$GUI_MAIN" "$HOVER_X" "$HOVER_Y" click 1
gui_answer "未找到真.三国无双3安装目录" game-not-found
gui_await_box "打开"
say "   the file chooser appeared"
gui_shot file-chooser "$GUI_MAIN" "$GUI_BOX"
gui_dismiss_box "打开" Escape
say "   cancelled it with Escape"
gui_answer "取消安装" no-game-chosen
"$RUN" reg add "$GAME_KEY" /v InstallInfo /t REG_SZ /d 'C:\Games\SM3' /f >/dev/null

if [ "${QV_DEMO_INSTALL:-1}" = 1 ]; then
    walk "install: press the install button"
    xdotool mousemove --window "$GUI_MAIN" "$HOVER_X" "$HOVER_Y" click 1
    gui_answer "安装确认" install-confirm
    gui_answer "提示" install-done 600
    say "   the game folder now holds $(find "$GAME_DIR/quorvan" -type f | wc -l) files under quorvan"
    while IFS= read -r f; do
        ! cmp -s "$GAME_DIR/$f" "$SAMPLE/$f" || fail "$f was not replaced"
    done <<<"$REPLACED"
    [ -f "$GAME_DIR/SavePatch.qvx" ] || fail "SavePatch.qvx was not written"
    say "   psrpc.dll, SM3Config.exe and the loading screen were replaced, SavePatch.qvx written"
    gui_shot installed "$GUI_MAIN"

    walk "settings: a save in the prefix's documents folder; \"设置\", \"打开\", two names typed, \"保存\", \"返回\""
    SAVE="$(settings_save_dir)/ShinSangokumusou3.dat"
    mkdir -p "$(dirname "$SAVE")"
    rm -f "$SAVE" "$SAVE.bak"
    python3 -c 'import sys; open(sys.argv[1], "wb").write(bytes((i * 7 + 3) & 0xFF for i in range(4096)))' "$SAVE"
    cp "$SAVE" "$OUT/save-original.dat"
    settings_walk "$GAME_DIR" "$SAVE" "曹操" "关羽张飞"
    say "   the save keeps its untouched copy beside it: ${SAVE#"$WINEPREFIX/drive_c/"}.bak"
    say "   pictures of the rendered textures: $OUT/texture-high.png, $OUT/texture-low.png"

    walk "uninstall: press the uninstall button"
    xdotool mousemove --window "$GUI_MAIN" "$LAYOUT_UNINSTALL_X" "$LAYOUT_UNINSTALL_Y" click 1
    gui_answer "卸载确认" uninstall-confirm
    gui_answer "提示" uninstall-done
    [ ! -e "$GAME_DIR/quorvan" ] || fail "the pack folder (and the rendered textures in it) is still there"
    [ ! -e "$GAME_DIR/SavePatch.qvx" ] || fail "SavePatch.qvx is still there"
    while IFS= read -r f; do
        cmp -s "$GAME_DIR/$f" "$SAMPLE/$f" || fail "$f was not restored"
    done <<<"$REPLACED"
    say "   the pack folder with the rendered textures and SavePatch.qvx are gone, the game's three files are the" \
        "originals again"
fi

walk "mouse over the close button, then press it"
xdotool mousemove --window "$GUI_MAIN" "$LAYOUT_CLOSE_X" "$LAYOUT_CLOSE_Y"
gui_shot hover-close "$GUI_MAIN"
xdotool click 1
gui_wait_exit 10 || fail "the installer is still running after close"
say "   the installer ended with exit code $GUI_APP_STATUS"

step "done"
say "screenshots in $OUT:"
ls -1 "$OUT"/*.png | sed 's|^|   |'

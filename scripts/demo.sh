#!/bin/bash
# The demo: sets up the machine, builds the win64 installer with its demo package, puts a stand-in game into the
# private Wine prefix and walks through the installer's window under wine64 (install, the settings dialog,
# uninstall), saving screenshots and pictures of the user-font textures that the settings rendered. At the end the
# stand-in game is removed and the game's install key put back as it was.
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
cmake --build "$BUILD" -j"${QV_JOBS:-2}" --target qv_demo window_probe dialog_probe
EXE="$BUILD/bin/QuorvanSetup.exe"
[ -f "$EXE" ] || fail "$EXE was not built"
SAMPLE="$BUILD/payload/demo/sample-game"
export QV_WALK_FACTS="$BUILD/payload/demo"  # the program's layout and facts, as the package tool printed them

source "$ROOT/scripts/gui-lib.sh"
source "$ROOT/scripts/settings-walk.sh"
GUI_PROBE="$BUILD/tests/e2e/window_probe.exe"
GUI_LIT="$BUILD/resources/artwork/window2.bmp"
SETTINGS_PROBE="$BUILD/tests/e2e/dialog_probe.exe"
source "$ROOT/scripts/xvfb.sh"
xvfb_start
# The walk's folder in the prefix is C:\Games; it goes at the end, and the install key is put back as it was.
walk_cleanup() { xvfb_stop; }
walk_begin Games "$OUT" "$EXE" "$GUI_PROBE" "$SETTINGS_PROBE" "$GUI_LIT" "$SAMPLE/"
if [ "${QV_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
    say "showing the installer on your display $DISPLAY"
else
    say "showing the installer on a private Xvfb display $DISPLAY (screenshots only)"
fi
# Where the controls are: read from the same layout file that the package carries.
HOVER_X=${GUI_LAYOUT[install.x]} HOVER_Y=${GUI_LAYOUT[install.y]}
HOVER_W=$((GUI_LAYOUT[install.right] - GUI_LAYOUT[install.left]))
HOVER_H=$((GUI_LAYOUT[install.bottom] - GUI_LAYOUT[install.top]))

step "preparing the stand-in game in C:\\Games\\SM3"
walk_package "$EXE" "$BUILD/host-tools/tools/packtool" ""
walk_setup_game "$SAMPLE" SM3 registry
say "game folder: $(cd "$WALK_GAME" && find . -type f | sed 's|^\./||' | sort | tr '\n' ';' | sed 's/;$//; s/;/, /g')"
say "registry: $GUI_GAME_KEY ${GUI_FACT[game-folder-value]} = $WALK_GAME_WIN" \
    "(no ${GUI_FACT[installed-folder-value]}: the pack counts as not installed)"

# walk TEXT: prints the next numbered step of the walk.
WALK_STEP=0
walk() {
    WALK_STEP=$((WALK_STEP + 1))
    say "$WALK_STEP. $*"
}
step "walking through the installer"
walk_start "$EXE"
eval "$(xdotool getwindowgeometry --shell "$GUI_MAIN")"
SCREEN_SIZE=$(xdotool getdisplaygeometry | tr ' ' x)
walk "the window \"Install\" is shown: ${WIDTH}x${HEIGHT} at $X,$Y (centred on the $SCREEN_SIZE screen)"
xdotool mousemove --window "$GUI_MAIN" "$GUI_REST_X" "$GUI_REST_Y"
gui_shot window "$GUI_MAIN"

xdotool mousemove --window "$GUI_MAIN" "$HOVER_X" "$HOVER_Y"
sleep 0.5
differing=$(gui_lit_difference install "$GUI_LIT")
if gui_is_lit install "$GUI_LIT"; then
    look="it shows its highlighted look"
else
    look="it does NOT show its highlighted look"
fi
walk "mouse over the install button at $HOVER_X,$HOVER_Y: $look ($differing of its $((HOVER_W * HOVER_H)) pixels" \
    "differ from window2.bmp)"
gui_shot hover-install "$GUI_MAIN"

walk "press on the first credits area at ${GUI_LAYOUT[msgbox.x]},${GUI_LAYOUT[msgbox.y]}"
xdotool mousemove --window "$GUI_MAIN" "${GUI_LAYOUT[msgbox.x]}" "${GUI_LAYOUT[msgbox.y]}" click 1
gui_answer "${GUI_LAYOUT[msgbox.second]}" msgbox

# The standard dialogs in the skinned look: the settings dialog, and the file chooser that install opens when the
# game's registry value is missing (the value is put back afterwards).
walk "settings: press the settings button"
xdotool mousemove --window "$GUI_MAIN" "${GUI_LAYOUT[setting.x]}" "${GUI_LAYOUT[setting.y]}" click 1
gui_await_box "设置"
say "   the settings dialog appeared"
gui_shot settings "$GUI_MAIN" "$GUI_BOX"
gui_dismiss_box "设置" alt+F4
say "   closed it with its close box (Alt+F4; Escape does nothing in this dialog)"

walk "install while the game's folder is not in the registry: the file chooser"
gui_reg_unset "${GUI_FACT[game-folder-value]}"
xdotool mousemove --window "$GUI_MAIN" "$HOVER_X" "$HOVER_Y" click 1
gui_answer "未找到真.三国无双3安装目录" game-not-found
gui_await_box "打开"
say "   the file chooser appeared"
gui_shot file-chooser "$GUI_MAIN" "$GUI_BOX"
gui_dismiss_box "打开" Escape
say "   cancelled it with Escape"
gui_answer "取消安装" no-game-chosen
gui_reg_set "${GUI_FACT[game-folder-value]}" "$WALK_GAME_WIN"

if [ "${QV_DEMO_INSTALL:-1}" = 1 ]; then
    walk "install: press the install button"
    walk_install_pack "$WALK_GAME_WIN"
    say "   the game folder now holds $(find "$WALK_GAME/quorvan" -type f | wc -l) files under quorvan"
    walk_check_game installed
    say "   psrpc.dll, SM3Config.exe and the loading screen were replaced, SavePatch.qvx written"

    walk "settings: a save in the prefix's documents folder; \"设置\", \"打开\", two names typed, \"保存\", \"返回\""
    SAVE="$(settings_save_dir)/${GUI_FACT[save-file]}"
    settings_new_save "$SAVE"
    settings_walk "$WALK_GAME" "$SAVE" "曹操" "关羽张飞"
    say "   the save keeps its untouched copy beside it: ${SAVE#"$WINEPREFIX/drive_c/"}.bak"
    say "   pictures of the rendered textures: $OUT/texture-high.png, $OUT/texture-low.png"

    walk "uninstall: press the uninstall button"
    walk_uninstall
    walk_check_game uninstalled
    say "   the pack folder with the rendered textures and SavePatch.qvx are gone, the game's three files are the" \
        "originals again"
fi

walk "mouse over the close button, then press it"
walk_close

step "done"
say "screenshots in $OUT:"
ls -1 "$OUT"/*.png | sed 's|^|   |'

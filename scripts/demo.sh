#!/bin/bash
# The demo: sets up the machine, builds the win64 installer with its demo package, puts a stand-in game into the
# private Wine prefix and walks through the installer's window under wine64, saving screenshots.
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
cmake --build "$BUILD" -j"${QV_JOBS:-2}" --target qv_demo
EXE="$BUILD/bin/QuorvanSetup.exe"
[ -f "$EXE" ] || fail "$EXE was not built"
SAMPLE="$BUILD/payload/demo/sample-game"
SKIN_LIT="$BUILD/resources/artwork/window2.bmp"

step "preparing the stand-in game in C:\\Games\\SM3"
rm -rf "$GAME_DIR"
mkdir -p "$GAME_DIR"
cp -r "$SAMPLE/." "$GAME_DIR/"
"$RUN" reg add "$GAME_KEY" /v InstallInfo /t REG_SZ /d 'C:\Games\SM3' /f >/dev/null
"$RUN" reg delete "$GAME_KEY" /v QuorvanInfo /f >/dev/null 2>&1 || true
say "game folder: $(cd "$GAME_DIR" && find . -type f | sed 's|^\./||' | sort | tr '\n' ';' | sed 's/;$//; s/;/, /g')"
say "registry: $GAME_KEY InstallInfo = C:\\Games\\SM3 (no QuorvanInfo: the pack counts as not installed)"

# Where the controls are: read from the same layout file that the package carries.
read -r MSG_X MSG_Y HOVER_L HOVER_T HOVER_R HOVER_B UNINSTALL_X UNINSTALL_Y CLOSE_X CLOSE_Y MSG_CAPTION \
    < <(python3 - "$ROOT/payload/demo" <<'PY'
import os, sys
sys.dont_write_bytecode = True
sys.path.insert(0, sys.argv[1])
import winpos
_, records = winpos.load(os.path.join(sys.argv[1], "winpos.txt"))
first = {}
for r in records:
    first.setdefault(r.command, r)
def centre(r):
    return "%d %d" % ((r.rect[0] + r.rect[2]) // 2, (r.rect[1] + r.rect[3]) // 2)
print(centre(first["msgbox"]), *first["install"].rect, centre(first["uninstall"]), centre(first["close"]),
      first["msgbox"].second)
PY
)
HOVER_W=$((HOVER_R - HOVER_L))
HOVER_H=$((HOVER_B - HOVER_T))
HOVER_X=$(((HOVER_L + HOVER_R) / 2))
HOVER_Y=$(((HOVER_T + HOVER_B) / 2))

mkdir -p "$OUT"
rm -f "$OUT"/*.png
source "$ROOT/scripts/xvfb.sh"
APP=""
cleanup() {
    if [ -n "$APP" ] && kill -0 "$APP" 2>/dev/null; then
        kill "$APP" 2>/dev/null || true
    fi
    xvfb_stop
}
trap cleanup EXIT
xvfb_start
if [ "${QV_USE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
    say "showing the installer on your display $DISPLAY"
else
    say "showing the installer on a private Xvfb display $DISPLAY (screenshots only)"
fi

# find_window NAME [SECONDS]: the id of the visible window with exactly this title.
find_window() {
    timeout "${2:-30}" xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -1
}
# wait_gone NAME: until no window with exactly this title is shown.
wait_gone() {
    local i
    for i in $(seq 100); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}
# walk TEXT: prints the next numbered step of the walk.
WALK_STEP=0
walk() {
    WALK_STEP=$((WALK_STEP + 1))
    say "$WALK_STEP. $*"
}
# shot NAME WINDOW_ID...: a screenshot of the smallest area that holds the windows, numbered in order.
SHOT_COUNT=0
shot() {
    local file x0=100000 y0=100000 x1=0 y1=0 id X Y WIDTH HEIGHT
    SHOT_COUNT=$((SHOT_COUNT + 1))
    file=$(printf '%02d-%s.png' "$SHOT_COUNT" "$1")
    shift
    sleep 0.4
    for id in "$@"; do
        eval "$(xdotool getwindowgeometry --shell "$id")"
        [ "$X" -lt "$x0" ] && x0=$X
        [ "$Y" -lt "$y0" ] && y0=$Y
        [ $((X + WIDTH)) -gt "$x1" ] && x1=$((X + WIDTH))
        [ $((Y + HEIGHT)) -gt "$y1" ] && y1=$((Y + HEIGHT))
    done
    import -window root -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$OUT/$file"
    say "   screenshot: $OUT/$file"
}
# lit_difference: how many pixels of the install button on the screen differ from its area in the highlighted
# picture.
lit_difference() {
    eval "$(xdotool getwindowgeometry --shell "$MAIN")"
    import -window root -crop "${HOVER_W}x${HOVER_H}+$((X + HOVER_L))+$((Y + HOVER_T))" +repage "$OUT/.area.png"
    convert "$SKIN_LIT" -crop "${HOVER_W}x${HOVER_H}+$HOVER_L+$HOVER_T" +repage "$OUT/.lit.png"
    compare -metric AE -fuzz 4% "$OUT/.area.png" "$OUT/.lit.png" null: 2>&1 || true
    rm -f "$OUT/.area.png" "$OUT/.lit.png"
}
# answer CAPTION NAME [SECONDS]: waits for a message box with this caption, takes a screenshot and presses Return,
# which Wine delivers to the box (it has the focus).
answer() {
    local caption=$1 file=$2 box
    box=$(find_window "$caption" "${3:-30}") || true
    [ -n "$box" ] || fail "no message box \"$caption\" appeared"
    say "   message box \"$caption\" appeared (its caption reached X as Chinese text)"
    sleep 0.3
    box=$(find_window "$caption" 5) || true  # Wine may have replaced the X window while showing the box
    shot "$file" "$MAIN" "$box"
    xdotool key Return
    wait_gone "$caption" || fail "the message box \"$caption\" did not close"
    say "   answered it with Return"
}

step "walking through the installer"
"$RUN" "$EXE" >"$OUT/installer.log" 2>&1 &
APP=$!
MAIN=$(find_window Install 60) || true
[ -n "$MAIN" ] || fail "the installer's window did not appear (log: $OUT/installer.log)"
eval "$(xdotool getwindowgeometry --shell "$MAIN")"
SCREEN_SIZE=$(xdotool getdisplaygeometry | tr ' ' x)
walk "the window \"Install\" is shown: ${WIDTH}x${HEIGHT} at $X,$Y (centred on the $SCREEN_SIZE screen)"
xdotool mousemove --window "$MAIN" 225 40
shot window "$MAIN"

xdotool mousemove --window "$MAIN" "$HOVER_X" "$HOVER_Y"
sleep 0.5
differing=$(lit_difference)
if [ "${differing:-0}" -le $((HOVER_W * HOVER_H / 20)) ] 2>/dev/null; then
    look="it shows its highlighted look"
else
    look="it does NOT show its highlighted look"
fi
walk "mouse over the install button at $HOVER_X,$HOVER_Y: $look ($differing of its $((HOVER_W * HOVER_H)) pixels" \
    "differ from window2.bmp)"
shot hover-install "$MAIN"

walk "press on the first credits area at $MSG_X,$MSG_Y"
xdotool mousemove --window "$MAIN" "$MSG_X" "$MSG_Y" click 1
answer "$MSG_CAPTION" msgbox

if [ "${QV_DEMO_INSTALL:-1}" = 1 ]; then
    walk "install: press the install button"
    xdotool mousemove --window "$MAIN" "$HOVER_X" "$HOVER_Y" click 1
    answer "安装确认" install-confirm
    answer "提示" install-done 600
    say "   the game folder now holds $(find "$GAME_DIR/quorvan" -type f | wc -l) files under quorvan"
    for f in psrpc.dll SM3Config.exe media/data/etc/japanese/loadscreen.png; do
        ! cmp -s "$GAME_DIR/$f" "$SAMPLE/$f" || fail "$f was not replaced"
    done
    [ -f "$GAME_DIR/SavePatch.qvx" ] || fail "SavePatch.qvx was not written"
    say "   psrpc.dll, SM3Config.exe and the loading screen were replaced, SavePatch.qvx written"
    shot installed "$MAIN"

    walk "uninstall: press the uninstall button"
    xdotool mousemove --window "$MAIN" "$UNINSTALL_X" "$UNINSTALL_Y" click 1
    answer "卸载确认" uninstall-confirm
    answer "提示" uninstall-done
    [ ! -e "$GAME_DIR/quorvan" ] || fail "the pack folder is still there"
    [ ! -e "$GAME_DIR/SavePatch.qvx" ] || fail "SavePatch.qvx is still there"
    for f in psrpc.dll SM3Config.exe media/data/etc/japanese/loadscreen.png; do
        cmp -s "$GAME_DIR/$f" "$SAMPLE/$f" || fail "$f was not restored"
    done
    say "   the pack folder and SavePatch.qvx are gone, the game's three files are the originals again"
fi

walk "mouse over the close button, then press it"
xdotool mousemove --window "$MAIN" "$CLOSE_X" "$CLOSE_Y"
shot hover-close "$MAIN"
xdotool click 1
for i in $(seq 100); do
    kill -0 "$APP" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$APP" 2>/dev/null; then
    fail "the installer is still running after close"
fi
status=0
wait "$APP" || status=$?
APP=""
say "   the installer ended with exit code $status"

step "done"
say "screenshots in $OUT:"
ls -1 "$OUT"/*.png | sed 's|^|   |'

#!/bin/bash
# A branded program under wine64 shows the maintainer's picture: the bare image is branded with pictures that
# differ from ours in every colour (the key colour kept) and are larger than ours, packed with the demo package,
# started, and its window is read back from the screen: the window has the new picture's size and shows the new
# picture, not ours. Closed through its close control, it ends with exit code 0.
#
#   brand_window.sh --image QuorvanSetup-image.exe --packtool PACKTOOL --manifest MANIFEST
#                   --normal window1.bmp --hot window2.bmp --out DIR
#
# --normal and --hot are our pictures, from which the maintainer's are drawn. DIR receives the pictures, the
# branded and packed programs and the screenshots.
# Environment: WINEPREFIX (as for wine64-run.sh), DISPLAY (required), QV_GUI_WAIT.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
source "$ROOT/scripts/gui-lib.sh"

walk_args brand_window "image packtool manifest normal hot out" "$@"
rm -rf "$OUT"
walk_begin QvBrand "$OUT" "$IMAGE" "$PACKTOOL" "$MANIFEST" "$NORMAL" "$HOT"
PICTURES="$ROOT/tests/tools/brand_pictures.py"

say "== the maintainer's pictures: ours with every colour inverted, 40 columns and 30 rows larger"
python3 "$PICTURES" make --from "$NORMAL" --out "$OUT/normal.bmp" --grow 40,30
python3 "$PICTURES" make --from "$HOT" --out "$OUT/hot.bmp" --grow 40,30

say "== brand, then pack"
"$PACKTOOL" brand "$IMAGE" "$OUT/branded.exe" --normal "$OUT/normal.bmp" --hot "$OUT/hot.bmp" \
    --set "ProductName=Brand test" --set FileVersion=2.0.0.1 || fail "packtool brand failed"
"$PACKTOOL" pack --append-to "$OUT/branded.exe" "$OUT/Setup.exe" "$MANIFEST" || fail "packtool pack failed"
"$PACKTOOL" verify "$OUT/Setup.exe" >/dev/null || fail "packtool verify failed"

say "== the branded installer's window"
walk_start "$OUT/Setup.exe"
eval "$(xdotool getwindowgeometry --shell "$GUI_MAIN")"
expected_size=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); print("%dx%d" % struct.unpack_from("<ii", d, 18))' \
    "$OUT/normal.bmp")
[ "${WIDTH}x${HEIGHT}" = "$expected_size" ] || fail "the window is ${WIDTH}x${HEIGHT}, the new picture $expected_size"
say "   the window is $expected_size, the new picture's size"

# The mouse off the window, so that no control is lit; then the window as the screen shows it, until it has been
# painted with the new picture (or the wait is over).
xdotool mousemove 0 0
COMPARED=""
_shows_new_picture() {
    import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$OUT/window.png" 2>/dev/null || return 1
    convert "$OUT/window.png" -depth 8 "ppm:$OUT/window.ppm" || return 1
    COMPARED=$(python3 "$PICTURES" compare --picture "$OUT/normal.bmp" --old "$NORMAL" --shot "$OUT/window.ppm")
}
gui_poll "$GUI_WAIT" _shows_new_picture || fail "the window does not show the new picture: $COMPARED"
say "   $COMPARED"
gui_shot branded-window "$GUI_MAIN"

say "== closing the installer"
walk_close
say "== brand window: passed"

#!/bin/bash
# The maintainer's path with nothing but the folder that the build lays out (dist/), as its guide walks it: a small
# pack is put together (the sample manifest beside the files, the sample layout, the helper library, a pack
# folder); the maintainer's own skin pictures (ours in other colours, so that they differ visibly) and version texts
# are branded into a copy of the bare program image with the folder's packtool; the pack is packed onto it,
# verified, signed with Authenticode by the guide's own commands for a certificate made on the spot (openssl and
# osslsigncode) and verified again. The
# signed installer then shows the maintainer's picture (its window read back from the screen and compared pixel
# by pixel) and is walked through its install and uninstall under wine64 (tests/e2e/walk_install.sh, the registry
# scenario), its controls lighting up with the maintainer's highlighted picture.
#
#   dist_walk.sh --dist DIST --probe window_probe.exe --windres WINDRES --out DIR [--stage make|window|all]
#
# DIR receives the maintainer's folder, the installer, the stand-in game and the walk's screenshots. --stage make
# stops once the signed installer is verified; --stage window starts from what "make" left in DIR with the window
# (the 32-bit guest walks there the installer that the host made from the i686 folder; --windres is then not
# needed). Environment: as for walk_install.sh (WINEPREFIX, DISPLAY, QV_GUI_RUN, QV_GUI_WAIT).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
source "$ROOT/scripts/gui-lib.sh"

STAGE=all WINDRES=""
walk_args dist_walk "dist probe windres? out stage?" "$@"
case "$STAGE" in
    make | all) walk_need_tools openssl osslsigncode python3 ;;  # the window's tools: walk_begin below
    window) ;;
    *) fail "unknown stage $STAGE" ;;
esac
[ "$STAGE" = window ] || [ -n "$WINDRES" ] || { echo "dist_walk: --windres is required" >&2; exit 2; }
started=$SECONDS
PACKTOOL="$DIST/packtool"
MINE="$OUT/maintainer"
GAME="$OUT/game"
UNSIGNED="$OUT/QuorvanSetup-unsigned.exe"
INSTALLER="$OUT/QuorvanSetup.exe"
if [ "$STAGE" != window ]; then

echo "== the folder $DIST"
(cd "$DIST" && sha256sum --check --quiet SHA256SUMS) || fail "SHA256SUMS does not match the folder"
for file in QuorvanSetup-image.exe SavePatch.qvx packtool packtool.exe GUIDE.en.md GUIDE.zh-CN.md \
    sample/winpos.txt sample/manifest.txt sample/window1.bmp sample/window2.bmp; do
    [ -f "$DIST/$file" ] || fail "$file is missing from the folder"
done

rm -rf "$MINE" "$GAME" "$OUT/QuorvanSetup.exe" "$OUT/QuorvanSetup-unsigned.exe"
mkdir -p "$MINE" "$GAME"

echo "== a small pack, laid out as the guide says"
cp "$DIST/sample/manifest.txt" "$DIST/sample/winpos.txt" "$DIST/SavePatch.qvx" "$MINE/"
# Every file the manifest names that is not there yet gets a few bytes of its own: a stand-in for the pack's art.
n=0
while IFS= read -r line; do
    line=${line%$'\r'}
    case "$line" in '' | '#'*) continue ;; esac
    name=${line%%$'\t'*}
    path=${line#*$'\t'}
    [ "$name" != "$line" ] || fail "manifest line \"$line\" has no local path"
    [ -e "$MINE/$path" ] && continue
    mkdir -p "$(dirname "$MINE/$path")"
    n=$((n + 1))
    { printf 'stand-in for %s\r\n' "$name"; head -c $((1000 + n * 517)) /dev/urandom; } >"$MINE/$path"
done <"$MINE/manifest.txt"
mkdir -p "$MINE/pack/quorvan/data/text/japanese" "$MINE/pack/quorvan/字体" \
    "$MINE/pack/quorvan/data/common/japanese/high"
printf '汉化说明\r\n' | iconv -f UTF-8 -t GBK >"$MINE/pack/quorvan/汉化说明.txt"
head -c 40000 /dev/urandom >"$MINE/pack/quorvan/data/text/japanese/msg_000.bin"
seq 1 3000 >"$MINE/pack/quorvan/字体/名称表.txt"
# The install check wants a pack folder of some size: a hundred and twenty small pictures.
mkdir -p "$MINE/pack/quorvan/data/event/japanese"
for i in $(seq -w 1 120); do
    head -c $((200 + 10#$i * 37)) /dev/urandom >"$MINE/pack/quorvan/data/event/japanese/ev_0$i.tga"
done
# The pack folder's own font picture, which the fixed copy replaces at the end of the install.
head -c 5000 /dev/urandom >"$MINE/pack/quorvan/data/common/japanese/high/font00a.png"

# The stand-in game: its own files are the bytes of the pack's unlocalised copies (the restore rows of the
# installer's table, as packtool names prints it), each from the local file the manifest names for it.
restored=0
while IFS=$'\t' read -r entry target role; do
    [ "$role" = restore ] || continue
    local_path=$(awk -F'\t' -v e="$entry" '$1 == e { print $2 }' "$MINE/manifest.txt" | tr -d '\r')
    [ -n "$local_path" ] || fail "the sample manifest has no line for $entry"
    mkdir -p "$(dirname "$GAME/${target//\\//}")"
    cp "$MINE/$local_path" "$GAME/${target//\\//}"
    restored=$((restored + 1))
done < <("$PACKTOOL" names)
[ "$restored" -gt 0 ] || fail "packtool names printed no restore rows"
printf 'the game itself\r\n' >"$GAME/Shin Sangokumusou 3.exe"

echo "== the maintainer's look: packtool brand"
python3 "$ROOT/tests/dist/maintainer.py" pictures --normal "$DIST/sample/window1.bmp" --hot "$DIST/sample/window2.bmp" \
    --out "$MINE/look"
VERSION_TEXTS=(
    "ProductName=《真.三国无双3》汉化包 维护者测试版"
    "ProductVersion=2.1.0.7"
    "FileVersion=2.1.0.7"
    "FileDescription=维护者测试版 安装程序"
    "CompanyName=Maintainer Test Group"
    "LegalCopyright=(C) 2026 Maintainer Test Group"
)
SETS=()
for text in "${VERSION_TEXTS[@]}"; do SETS+=(--set "$text"); done
"$PACKTOOL" brand "$DIST/QuorvanSetup-image.exe" "$MINE/MySetup-image.exe" --normal "$MINE/look/mine-normal.bmp" \
    --hot "$MINE/look/mine-hot.bmp" "${SETS[@]}" || fail "packtool brand failed"
python3 "$ROOT/tests/dist/maintainer.py" version --windres "$WINDRES" --exe "$MINE/MySetup-image.exe" \
    "${VERSION_TEXTS[@]}" || fail "the branded image does not carry the maintainer's version texts"

# The guide's own commands for step 2, in both languages, typed in a copy of the folder: they must work as written.
GUIDE_RUN="$OUT/guide-run"
for guide in GUIDE.en.md GUIDE.zh-CN.md; do
    rm -rf "$GUIDE_RUN"
    mkdir -p "$GUIDE_RUN"
    cp -a "$DIST/." "$GUIDE_RUN/"
    for text in "mkdir -p mylook" "--set \"FileDescription="; do
        block=$(python3 "$ROOT/tests/dist/maintainer.py" guide-block --guide "$DIST/$guide" --containing "$text")
        (cd "$GUIDE_RUN" && bash -euo pipefail -c "$block") >"$OUT/guide-run.log" 2>&1 ||
            fail "$guide: its commands failed: $block: $(cat "$OUT/guide-run.log")"
    done
    python3 "$ROOT/tests/dist/maintainer.py" version --windres "$WINDRES" --exe "$GUIDE_RUN/MySetup-image.exe" \
        FileVersion=1.1.0.0 ProductVersion=1.1.0.0 >/dev/null || fail "$guide: its brand command did not set the version"
    say "   $guide: its packtool brand commands work as written"
done
rm -rf "$GUIDE_RUN"

echo "== packtool pack and verify"
"$PACKTOOL" pack --append-to "$MINE/MySetup-image.exe" "$UNSIGNED" "$MINE/manifest.txt" "$MINE/pack" ||
    fail "packtool pack failed"
"$PACKTOOL" verify "$UNSIGNED" >"$OUT/verify.out" 2>"$OUT/verify.err" ||
    fail "packtool verify failed: $(cat "$OUT/verify.out" "$OUT/verify.err")"
sed 's/^/   /' "$OUT/verify.out"
[ ! -s "$OUT/verify.err" ] || fail "packtool verify warned: $(cat "$OUT/verify.err")"
expected=$(($(grep -c $'^[^#].*\t' "$MINE/manifest.txt") + 124))
grep -qx "$expected entries, 0 failed" "$OUT/verify.out" || fail "expected $expected entries"
grep -qx "signature: none" "$OUT/verify.out" || fail "packtool verify does not say that there is no signature yet"

# A package that lacks one of them passes its checks but is named in the warning list.
grep -v '^SM3Config.qvx' "$MINE/manifest.txt" >"$MINE/short-manifest.txt"
"$PACKTOOL" pack "$OUT/short.qvp" "$MINE/short-manifest.txt" "$MINE/pack" || fail "packtool pack failed"
"$PACKTOOL" verify "$OUT/short.qvp" >/dev/null 2>"$OUT/short.err" || fail "verify of the short package failed"
grep -q '^  SM3Config.qvx: ' "$OUT/short.err" || fail "verify did not name the missing SM3Config.qvx"
rm -f "$OUT/short.qvp"

echo "== signing as the guide says: openssl and osslsigncode, then both verifications"
# The guide's own commands for a certificate of one's own, typed in the folder that holds the unsigned installer.
SIGNING=$(python3 "$ROOT/tests/dist/maintainer.py" guide-block --guide "$DIST/GUIDE.en.md" --containing "openssl req")
[ "$SIGNING" = "$(python3 "$ROOT/tests/dist/maintainer.py" guide-block --guide "$DIST/GUIDE.zh-CN.md" \
    --containing "openssl req")" ] || fail "the two guides sign with different commands"
printf '%s\n' "$SIGNING" | sed 's/^/   $ /'
rm -f "$OUT/key.pem" "$OUT/cert.pem"
(cd "$OUT" && bash -euo pipefail -c "$SIGNING") >"$OUT/signing.log" 2>&1 ||
    fail "the guide's signing commands failed: $(tail -5 "$OUT/signing.log")"
grep -q '^Signature verification: ok' "$OUT/signing.log" || fail "osslsigncode verify did not say ok"
grep -qx 'Succeeded' "$OUT/signing.log" || fail "osslsigncode verify did not succeed"
before=$(stat -c %s "$UNSIGNED")
after=$(stat -c %s "$INSTALLER")
say "   osslsigncode verify: Succeeded; $before bytes unsigned, $after signed (+$((after - before)))"
"$PACKTOOL" verify "$INSTALLER" >"$OUT/verify-signed.out" 2>/dev/null || fail "packtool verify of the signed file failed"
sed 's/^/   /' "$OUT/verify-signed.out"
grep -qx "$expected entries, 0 failed" "$OUT/verify-signed.out" || fail "the signed file does not hold $expected entries"
grep -q '^signature: present ' "$OUT/verify-signed.out" || fail "packtool verify does not name the signature"
python3 "$ROOT/tests/dist/maintainer.py" version --windres "$WINDRES" --exe "$INSTALLER" "${VERSION_TEXTS[@]}" \
    >/dev/null || fail "the signed installer does not carry the maintainer's version texts"
fi
if [ "$STAGE" = make ]; then
    say "== the maintainer's installer made in $((SECONDS - started)) s: $INSTALLER"
    exit 0
fi
[ -f "$INSTALLER" ] && [ -d "$MINE/look" ] && [ -d "$GAME" ] || fail "$OUT does not hold what --stage make leaves"

echo "== the window shows the maintainer's picture"
walk_begin QvMaintainer "$OUT/window" "$INSTALLER" "$PROBE" "$MINE/look/mine-normal.bmp"
walk_start "$INSTALLER"
# The mouse away from every control, so that none is lit; then the window as it is on the screen.
xdotool mousemove --window "$GUI_MAIN" "$GUI_REST_X" "$GUI_REST_Y"
_window_shows_mine() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$GUI_MAIN")"
    import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$GUI_OUT/window.png"
    python3 "$ROOT/tests/dist/maintainer.py" window --shot "$GUI_OUT/window.png" --expect "$MINE/look/mine-normal.bmp" \
        --other "$DIST/sample/window1.bmp" >"$GUI_OUT/compare.txt"
}
gui_poll "$GUI_WAIT" _window_shows_mine || fail "the window does not show the maintainer's picture: $(cat "$GUI_OUT/compare.txt")"
cat "$GUI_OUT/compare.txt"
say "   screenshot: $GUI_OUT/window.png"
walk_close
trap - EXIT  # the install walk below is a walk of its own, with its own end

echo "== the signed installer through its install and uninstall"
bash "$ROOT/tests/e2e/walk_install.sh" registry --exe "$INSTALLER" --packtool "$PACKTOOL" \
    --probe "$PROBE" --sample "$GAME" --lit "$MINE/look/mine-hot.bmp" --out "$OUT/walk"
say "== the maintainer's path: passed in $((SECONDS - started)) s"

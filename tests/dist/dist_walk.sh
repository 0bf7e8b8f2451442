#!/bin/bash
# The maintainer's path with nothing but the folder that the build lays out (dist/): a small pack is put together
# as the guide says (the sample manifest beside the files, the sample layout, the helper library, a pack folder),
# packed onto the bare program image with the folder's packtool, verified, and the installer made so is walked
# through its install and uninstall under wine64 (tests/e2e/walk_install.sh, the registry scenario).
#
#   dist_walk.sh --dist DIST --probe window_probe.exe --lit window2.bmp --out DIR
#
# DIR receives the maintainer's folder, the installer, the stand-in game and the walk's screenshots.
# Environment: as for walk_install.sh (WINEPREFIX, DISPLAY).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"

while [ $# -gt 0 ]; do
    case "$1" in
        --dist) DIST=$2 ;;
        --probe) PROBE=$2 ;;
        --lit) LIT=$2 ;;
        --out) OUT=$2 ;;
        *) echo "dist_walk: unknown argument $1" >&2; exit 2 ;;
    esac
    shift 2
done
: "${DIST:?--dist is required}" "${PROBE:?--probe is required}" "${LIT:?--lit is required}" "${OUT:?--out is required}"

fail() {
    printf 'FAIL: %s\n' "$*"
    exit 1
}

echo "== the folder $DIST"
(cd "$DIST" && sha256sum --check --quiet SHA256SUMS) || fail "SHA256SUMS does not match the folder"
for file in QuorvanSetup-image.exe SavePatch.qvx packtool packtool.exe GUIDE.en.md GUIDE.zh-CN.md \
    sample/winpos.txt sample/manifest.txt; do
    [ -f "$DIST/$file" ] || fail "$file is missing from the folder"
done
PACKTOOL="$DIST/packtool"

MINE="$OUT/maintainer"
GAME="$OUT/game"
rm -rf "$MINE" "$GAME" "$OUT/QuorvanSetup.exe"
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

# The stand-in game: its own files are the bytes of the pack's unlocalised copies.
mkdir -p "$GAME/media/data/etc/japanese"
cp "$MINE/psrpc.org" "$GAME/psrpc.dll"
cp "$MINE/SM3Config.org" "$GAME/SM3Config.exe"
cp "$MINE/loading_org/loadscreen.png" "$GAME/media/data/etc/japanese/loadscreen.png"
printf 'the game itself\r\n' >"$GAME/Shin Sangokumusou 3.exe"

echo "== packtool pack and verify"
"$PACKTOOL" pack --append-to "$DIST/QuorvanSetup-image.exe" "$OUT/QuorvanSetup.exe" "$MINE/manifest.txt" \
    "$MINE/pack" || fail "packtool pack failed"
"$PACKTOOL" verify "$OUT/QuorvanSetup.exe" >"$OUT/verify.out" 2>"$OUT/verify.err" ||
    fail "packtool verify failed: $(cat "$OUT/verify.out" "$OUT/verify.err")"
cat "$OUT/verify.out"
[ ! -s "$OUT/verify.err" ] || fail "packtool verify warned: $(cat "$OUT/verify.err")"
expected=$(($(grep -c $'^[^#].*\t' "$MINE/manifest.txt") + 124))
grep -qx "$expected entries, 0 failed" "$OUT/verify.out" || fail "expected $expected entries"

# A package that lacks one of them passes its checks but is named in the warning list.
grep -v '^SM3Config.qvx' "$MINE/manifest.txt" >"$MINE/short-manifest.txt"
"$PACKTOOL" pack "$OUT/short.qvp" "$MINE/short-manifest.txt" "$MINE/pack" || fail "packtool pack failed"
"$PACKTOOL" verify "$OUT/short.qvp" >/dev/null 2>"$OUT/short.err" || fail "verify of the short package failed"
grep -q '^  SM3Config.qvx: ' "$OUT/short.err" || fail "verify did not name the missing SM3Config.qvx"
rm -f "$OUT/short.qvp"

echo "== the installer through its install and uninstall"
bash "$ROOT/tests/e2e/walk_install.sh" registry --exe "$OUT/QuorvanSetup.exe" --packtool "$PACKTOOL" \
    --probe "$PROBE" --sample "$GAME" --lit "$LIT" --out "$OUT/walk"

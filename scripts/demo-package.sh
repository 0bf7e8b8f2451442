#!/bin/bash
# The package on its own: packs a sample folder with packtool, lists it, verifies it, extracts it again and
# compares the result with the original folder.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"
bash scripts/bootstrap.sh
cmake --preset host >/dev/null
cmake --build --preset host --target packtool >/dev/null
PACKTOOL="$ROOT/build/host/tools/packtool"

WORK="$ROOT/build/demo-package"
rm -rf "$WORK" && mkdir -p "$WORK/sample/quorvan/字体" "$WORK/sample/quorvan/bg/high"
printf '# 布局文件\r\n\r\nclose, 361, 212, 437, 252, "", ""\r\n' > "$WORK/sample/winpos.txt"
head -c 300000 /dev/urandom > "$WORK/sample/quorvan/bg/high/user_font01b.tga"
seq 1 50000 > "$WORK/sample/quorvan/字体/名称表.txt"
: > "$WORK/sample/quorvan/empty.bin"

echo "== pack $WORK/sample"
"$PACKTOOL" pack "$WORK/sample.pkg" "$WORK/sample"
ls -l "$WORK/sample.pkg"
echo "== list (name, original size, compressed size, MD5 of the stored body; names shown from GBK)"
"$PACKTOOL" list "$WORK/sample.pkg" | iconv -f GBK -t UTF-8
echo "== verify"
"$PACKTOOL" verify "$WORK/sample.pkg"
echo "== extract"
"$PACKTOOL" extract "$WORK/sample.pkg" "$WORK/extracted"
# Names are stored lower-cased; the sample uses lower-case ASCII so the trees compare equal.
diff -r "$WORK/sample" "$WORK/extracted" && echo "extracted tree is identical to the sample"

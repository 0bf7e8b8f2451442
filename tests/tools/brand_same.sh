#!/bin/bash
# The Windows build of packtool brands as the Linux build does: both brand the same image with the same pictures
# and Chinese version texts, and their outputs are byte-identical.
#
#   brand_same.sh --image IMAGE --packtool PACKTOOL --packtool-exe packtool.exe --normal BMP --hot BMP --out DIR
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
source "$ROOT/scripts/gui-lib.sh"
walk_args brand_same "image packtool packtool-exe normal hot out" "$@"
rm -rf "$OUT"
mkdir -p "$OUT"
windows() { printf 'Z:%s' "$1" | tr / '\\'; }
texts=(--set "ProductName=另一个汉化包" --set "CompanyName=维护者 ©" --set ProductVersion=3.2.1.0)
"$PACKTOOL" brand "$IMAGE" "$OUT/linux.exe" --normal "$NORMAL" --hot "$HOT" "${texts[@]}"
"$ROOT/scripts/wine64-run.sh" "$PACKTOOL_EXE" brand "$(windows "$IMAGE")" "$(windows "$OUT/windows.exe")" \
    --normal "$(windows "$NORMAL")" --hot "$(windows "$HOT")" "${texts[@]}"
cmp "$OUT/linux.exe" "$OUT/windows.exe"
echo "the two builds wrote the same $(stat -c %s "$OUT/linux.exe") bytes"

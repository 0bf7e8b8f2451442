#!/bin/bash
# Builds the shipped 32-bit files and lays out the maintainer's folder dist/ at the top of the tree: the bare
# program image, the helper library SavePatch.qvx, packtool for Linux and packtool.exe, a sample layout file and
# manifest, the maintainer's guide (GUIDE.en.md, GUIDE.zh-CN.md), symbols/ and SHA256SUMS. Works from a fresh
# clone on Debian 12 as root (or through sudo): it installs what it needs first. Only the product is built, not the
# tests. Prints the sizes of the shipped files and the DLLs they import, and checks their version resources,
# manifest, stripping and debug links.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
cd "$ROOT"

bash scripts/bootstrap.sh
bash scripts/build-deps.sh i686-w64-mingw32
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$(nproc)" --target qv_dist

rm -rf dist
cp -a build/win32/dist dist
(cd dist && sha256sum --check --quiet SHA256SUMS)
python3 tests/dist/check_shipped.py --dist dist --objdump i686-w64-mingw32-objdump --nm i686-w64-mingw32-nm \
    --windres i686-w64-mingw32-windres --work build/win32/shipped-check
echo "dist/ is ready; start with dist/GUIDE.en.md or dist/GUIDE.zh-CN.md"

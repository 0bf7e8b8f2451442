#!/bin/bash
# Cross-builds static liblzo2 and libmd for a mingw triple from Debian's source packages into
# build/deps/<triple>. Done once: a stamp holding the source versions makes later runs return at once.
#   build-deps.sh i686-w64-mingw32 | x86_64-w64-mingw32
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
TRIPLE="${1:?usage: build-deps.sh TRIPLE}"
SRC="$ROOT/build/src"
PREFIX="$ROOT/build/deps/$TRIPLE"
mkdir -p "$SRC"

# Fetch and unpack the source packages once (apt-get source applies Debian's patches).
if ! ls -d "$SRC"/lzo2-*/ >/dev/null 2>&1 || ! ls -d "$SRC"/libmd-*/ >/dev/null 2>&1; then
    (cd "$SRC" && apt-get source -qq lzo2 libmd >/dev/null 2>&1) || {
        echo "build-deps: apt-get source lzo2 libmd failed (is deb-src enabled? run scripts/bootstrap.sh)" >&2
        exit 1
    }
fi
LZO_DIR="$(ls -d "$SRC"/lzo2-*/ | head -1)"
LIBMD_DIR="$(ls -d "$SRC"/libmd-*/ | head -1)"
STAMP_TEXT="$(basename "$LZO_DIR") $(basename "$LIBMD_DIR") $(md5sum "$ROOT/scripts/deps/CMakeLists.txt" | cut -c1-32)"

if [ -f "$PREFIX/.stamp" ] && [ "$(cat "$PREFIX/.stamp")" = "$STAMP_TEXT" ]; then
    exit 0
fi
echo "build-deps: building $(basename "$LZO_DIR") and $(basename "$LIBMD_DIR") for $TRIPLE"
rm -rf "$ROOT/build/deps-build/$TRIPLE" "$PREFIX"
cmake -S "$ROOT/scripts/deps" -B "$ROOT/build/deps-build/$TRIPLE" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-$TRIPLE.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DLZO_DIR="$LZO_DIR" -DLIBMD_DIR="$LIBMD_DIR" >/dev/null
cmake --build "$ROOT/build/deps-build/$TRIPLE" >/dev/null
cmake --install "$ROOT/build/deps-build/$TRIPLE" >/dev/null
echo "$STAMP_TEXT" > "$PREFIX/.stamp"

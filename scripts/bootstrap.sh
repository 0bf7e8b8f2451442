#!/bin/bash
# Installs every Debian package that building, testing and the demo need.
# Idempotent: quick and quiet when everything is already there. Runs as root or through sudo.
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config git python3
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
    binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 mingw-w64-tools
    wine64 xvfb xdotool x11-utils imagemagick fonts-wqy-microhei fonts-arphic-uming locales
    googletest libgtest-dev clang libclang-rt-14-dev llvm
    liblzo2-dev libmd-dev lzop dpkg-dev xz-utils openssl osslsigncode
    qemu-system-x86 mmdebstrap e2fsprogs
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    echo "bootstrap: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Source packages of the two libraries are cross-built for Windows; apt-get source needs a deb-src entry.
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    echo "bootstrap: enabling deb-src"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        $SUDO sed -i -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb deb-src/' /etc/apt/sources.list.d/debian.sources
    else
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list | $SUDO tee -a /etc/apt/sources.list >/dev/null
    fi
    $SUDO apt-get update -qq
fi

#!/bin/bash
# Builds, once, the guest that runs the i686 programs: Debian bookworm amd64 with the i386 architecture and 32-bit
# Wine, Xvfb, xdotool, ImageMagick, python3, a zh_CN locale and the CJK font of the wine64 prefix. This machine's
# kernel runs no 32-bit code, so the guest boots under qemu-system-x86_64 (TCG) instead (scripts/win32-vm/run.sh).
#
#   bash scripts/win32-vm/build-image.sh      # quick when the image is there
#
# Writes build/win32-vm/image/: disk.img (ext4, the whole root), vmlinuz, initrd.img and a stamp that holds the
# recipe's digest: a changed package list or guest init makes the next call build again. Needs root (mmdebstrap
# --mode=root) and the network or an apt proxy; about 330 MB of packages.
# Environment: QV_WIN32_VM_DIR (default build/win32-vm), QV_WIN32_VM_MIRROR (an apt sources file or mirror line;
# default: this machine's Debian sources).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
VM_DIR="${QV_WIN32_VM_DIR:-$ROOT/build/win32-vm}"
IMAGE="$VM_DIR/image"
STAMP="$IMAGE/stamp"
GUEST_INIT="$ROOT/scripts/win32-vm/guest-init.sh"

PACKAGES=(
    linux-image-amd64 initramfs-tools kmod procps
    wine32:i386 wine
    xvfb xauth xdotool x11-utils imagemagick
    python3 locales fonts-wqy-microhei
    fonts-arphic-uming  # the second Chinese face the settings tests choose and render
)
DISK_SIZE=4G

# The recipe: what goes into the image. The stamp holds its digest.
recipe() {
    printf '%s\n' "${PACKAGES[@]}" "$DISK_SIZE"
    cat "$GUEST_INIT" "$0"
}
WANT="$(recipe | sha256sum | cut -d' ' -f1)"
if [ -f "$STAMP" ] && [ "$(cat "$STAMP")" = "$WANT" ] && [ -f "$IMAGE/disk.img" ]; then
    echo "win32-vm image: up to date ($IMAGE)"
    exit 0
fi

[ "$(id -u)" = 0 ] || { echo "build-image: needs root (mmdebstrap --mode=root)" >&2; exit 1; }
for tool in mmdebstrap mke2fs qemu-system-x86_64; do
    command -v "$tool" >/dev/null || { echo "build-image: $tool is missing (run scripts/bootstrap.sh)" >&2; exit 1; }
done

# The guest uses this machine's apt sources (binary packages only) unless told otherwise.
WORK="$VM_DIR/image-work"
rm -rf "$WORK" "$IMAGE"
mkdir -p "$WORK" "$IMAGE"
trap 'rm -rf "$WORK"' EXIT
MIRROR="${QV_WIN32_VM_MIRROR:-}"
if [ -z "$MIRROR" ]; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed -E 's/^Types:.*/Types: deb/' /etc/apt/sources.list.d/debian.sources >"$WORK/guest.sources"
        MIRROR="$WORK/guest.sources"
    elif grep -qs '^deb ' /etc/apt/sources.list; then
        grep '^deb ' /etc/apt/sources.list >"$WORK/guest.list"
        MIRROR="$WORK/guest.list"
    fi
fi

echo "win32-vm image: bootstrapping Debian bookworm (amd64 + i386) into $WORK/root"
started=$SECONDS
include="$(IFS=,; echo "${PACKAGES[*]}")"
bootstrap() {
    rm -rf "$WORK/root"
    mmdebstrap --mode=root --variant=required --architectures=amd64,i386 --include="$include" \
        --dpkgopt='path-exclude=/usr/share/doc/*' --dpkgopt='path-exclude=/usr/share/man/*' \
        --dpkgopt='path-exclude=/usr/share/locale/*' \
        --customize-hook='echo qv-win32 >"$1/etc/hostname"' \
        --customize-hook='chroot "$1" localedef -i zh_CN -f UTF-8 zh_CN.UTF-8' \
        --customize-hook='printf "9p\n9pnet\n9pnet_virtio\n" >>"$1/etc/initramfs-tools/modules"' \
        --customize-hook='chroot "$1" update-initramfs -u -k all' \
        --customize-hook="install -m 755 '$GUEST_INIT' \"\$1/sbin/qv-init\"" \
        bookworm "$WORK/root" ${1:+"$1"}
}
# A mirror in the middle of a sync answers with an index that does not match its release file (seen with the
# security archive's i386 index): try again after a pause, and last without the security archive, whose updates
# the guest does not need to run the programs under test.
if ! bootstrap "$MIRROR"; then
    echo "win32-vm image: bootstrapping failed; trying again in 60 s" >&2
    sleep 60
    if ! bootstrap "$MIRROR"; then
        if [ -n "$MIRROR" ] && [ -f "$MIRROR" ]; then
            python3 - "$MIRROR" "$WORK/guest-nosecurity.sources" <<'PY'
import sys
text = open(sys.argv[1]).read()
if "URIs:" in text or "Suites:" in text:  # deb822 stanzas, separated by blank lines
    kept = [s for s in text.split("\n\n") if "security" not in s]
    open(sys.argv[2], "w").write("\n\n".join(kept) + "\n")
else:  # one-line sources
    open(sys.argv[2], "w").write("".join(l for l in text.splitlines(True) if "security" not in l))
PY
            case "$MIRROR" in *.list) mv "$WORK/guest-nosecurity.sources" "$WORK/guest-nosecurity.list"
                                      MIRROR="$WORK/guest-nosecurity.list" ;;
                              *) MIRROR="$WORK/guest-nosecurity.sources" ;; esac
            echo "win32-vm image: bootstrapping once more without the security archive" >&2
            bootstrap "$MIRROR"
        else
            exit 1
        fi
    fi
fi

cp "$WORK"/root/boot/vmlinuz-* "$IMAGE/vmlinuz"
cp "$WORK"/root/boot/initrd.img-* "$IMAGE/initrd.img"
mke2fs -q -t ext4 -L qvroot -d "$WORK/root" "$IMAGE/disk.img" "$DISK_SIZE"
echo "$WANT" >"$STAMP"
echo "win32-vm image: built in $((SECONDS - started)) s ($(du -sh --apparent-size "$IMAGE/disk.img" | cut -f1)" \
    "image, $(du -sh "$IMAGE/disk.img" | cut -f1) used)"

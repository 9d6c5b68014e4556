#!/usr/bin/env bash
# The guest of the emulated 32-bit lane: a Debian 12 root file system from
# Debian's own packages that runs 32-bit Wine, made into an ext4 image.
# Its hash (with the init script's) names the cached image, so changing
# this file or the init script makes a new one.
#   recipe.sh OUT_DIR     writes OUT_DIR/disk.img, vmlinuz and initrd.img
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
# e2fsprogs: the tests lock a file with chattr.
packages=(
    linux-image-amd64 initramfs-tools kmod procps util-linux mount iproute2 e2fsprogs
    wine wine32:i386 wine64 libwine:i386
    xvfb xauth x11-utils imagemagick
    fonts-wine fonts-ipafont-gothic
    python3 cmake
)
tree=$out/root
rm -rf "$tree"
mkdir -p "$tree"
mmdebstrap --variant=apt --architectures=amd64,i386 \
    --include="$(IFS=,; echo "${packages[*]}")" \
    --customize-hook='rm -f "$1"/etc/machine-id' \
    bookworm "$tree" >"$out/mmdebstrap.log" 2>&1
install -m 755 "$here/init" "$tree/sbin/melvox-init"
# The image's ext4 keeps the user extended attributes in which Wine stores
# DOS attributes; the guest's tmpfs would drop them, so /tmp stays on disk.
mkdir -p "$tree/tmp" && chmod 1777 "$tree/tmp"
cp "$tree"/boot/vmlinuz-* "$out/vmlinuz"
cp "$tree"/boot/initrd.img-* "$out/initrd.img"
chmod 644 "$out/vmlinuz" "$out/initrd.img"
mkfs.ext4 -q -F -L melvox -d "$tree" "$out/disk.img" 12G
rm -rf "$tree"

#!/usr/bin/env bash
# Makes the root file system that tests/package/tst_bootvm.py boots in a virtual machine: a
# Debian 12 system with systemd as init, udev, a kernel and its initramfs, and the libraries the
# viewer runs on, but without the viewer, which the test installs from its build tree.
#   tools/make-boot-root.sh [ARCH]      ARCH: this machine's (the default) or armhf; prints the
#                                       tree's path last
# Tree: /var/cache/page-scope-build/bootroot-bookworm-ARCH (PAGE_SCOPE_SYSROOT_DIR sets the
# directory, as for the sysroots). It is reused while its stamp records the same package list;
# otherwise it is made again as root (about a minute, 150 MB fetched, 900 MB on disk; for armhf
# some four minutes, its packages' scripts running under qemu's user mode).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/packaging-common.sh

suite=bookworm
arch=${1:-$(dpkg --print-architecture)}
case "$arch" in
armhf) kernel=linux-image-armmp ;; # boots qemu's virt board as the boards it was made for
*) kernel=linux-image-$arch ;;
esac
# udev gives the input and video groups their devices, which the service's user is in. Mesa's
# drivers stand in for a device's GPU driver on eglfs (on the PC, Qt's OpenGL brings them anyway).
packages=(systemd systemd-sysv udev kmod "$kernel" libqt5widgets5 libqt5svg5
    libpoppler-qt5-1 fonts-dejavu-core fontconfig-config fontconfig libgl1-mesa-dri)
# The stamp's format version: bump it when the tree is made differently for the same packages.
layout=4
stamp_text="page-scope boot root $layout: $suite $arch minbase ${packages[*]}"

root=${PAGE_SCOPE_SYSROOT_DIR:-/var/cache/page-scope-build}/bootroot-$suite-$arch
stamp=$root/.page-scope-boot-root

claim_tree make-boot-root "$root" "$stamp" "$stamp_text"

sources=$(debian_sources "$suite") || exit 1
started=$(date +%s)
echo "make-boot-root: making $root from $sources" >&2
rm -rf "$root" "$root.new"
include=$(IFS=,; echo "${packages[*]}")
if [[ $arch != "$(dpkg --print-architecture)" ]]; then
    # Its packages' scripts, and fc-cache below, run under qemu's user mode.
    ensure_binfmt "$arch" >&2
fi
# The initramfs only has to mount the root: the disk's drivers on both boards, and ext4. With the
# kernel's usual choice of most of its modules the armhf tree took 28 minutes under emulation, one
# of its two initramfs builds more than 12 of them; with this list it takes four. Set before the
# kernel's package comes.
# shellcheck disable=SC2016 # $1, the tree, is mmdebstrap's to give
initramfs_settings='conf=$1/etc/initramfs-tools/conf.d modules=$1/usr/share/initramfs-tools/modules.d
mkdir -p "$conf" "$modules"
echo MODULES=list >"$conf/page-scope-bootvm"
printf "%s\n" virtio_pci virtio_mmio virtio_blk ext4 crc32c_generic >"$modules/page-scope-bootvm"'
mmdebstrap --variant=minbase --architectures="$arch" --include="$include" \
    --aptopt='APT::Install-Recommends "false"' --essential-hook="$initramfs_settings" \
    "$suite" "$root.new" "$sources" >&2
rm -rf "$root.new"/var/cache/apt/archives/*.deb "$root.new"/var/lib/apt/lists/*
# The machine's image keeps whole seconds of modification times, as squashfs and mkfs.ext4 -d do,
# and fontconfig takes a cache whose directory's time differs in its nanoseconds for stale: every
# start of the viewer would scan the fonts again. So the font directories get the times the image
# will give them before their caches are made.
find "$root.new"/usr/share/fonts "$root.new"/usr/local/share/fonts -type d -exec sh -c \
    'for directory; do touch -m -d "@$(stat -c %Y "$directory")" "$directory"; done' sh {} +
chroot "$root.new" fc-cache --force --system-only
echo "$stamp_text" >"$root.new/.page-scope-boot-root"
mv "$root.new" "$root"
echo "make-boot-root: made $root ($(du -sh "$root" | cut -f1)) in $(($(date +%s) - started)) s" >&2
echo "$root"

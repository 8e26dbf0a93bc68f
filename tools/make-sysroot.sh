#!/usr/bin/env bash
# Makes the sysroot that the cross builds compile, link and run their tests against: a Debian 12
# tree of one architecture holding only what the build needs.
#   tools/make-sysroot.sh ARCH          ARCH: armhf or arm64; prints the sysroot's path last
# Sysroot: /var/cache/page-scope-build/sysroot-bookworm-ARCH (PAGE_SCOPE_SYSROOT_DIR sets the
# directory that holds the sysroots). It is reused while its stamp file records the same suite,
# architecture, package list and layout version as below; otherwise it is made again (a few
# minutes, about 150 MB fetched). The packages come from the host's own Debian sources (apt's
# deb822 file or sources.list; PAGE_SCOPE_SYSROOT_SOURCES names another sources file).
# Installs the package group cross when missing (as root), mmdebstrap among it.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/packaging-common.sh

arch=${1:-}
case "$arch" in
armhf | arm64) ;;
*)
    echo "usage: tools/make-sysroot.sh armhf|arm64" >&2
    exit 2
    ;;
esac

suite=bookworm
# Compiling and linking: the C and C++ runtimes, Qt 5 and Poppler's Qt 5 interface. Running the
# tests under emulation: Qt's SVG module (the icons; the sample guide's writer links it), and the
# font and its configuration.
packages=(libc6-dev libstdc++-12-dev qtbase5-dev libpoppler-qt5-dev libqt5svg5-dev
    fonts-dejavu-core fontconfig-config)
# The stamp's format version: bump it when the tree is made differently for the same packages.
layout=2
stamp_text="page-scope sysroot layout $layout: $suite $arch essential ${packages[*]}"

sysroot=$(sysroot_path "$arch")
stamp=$sysroot/.page-scope-sysroot

# Builds running side by side wait for the one that makes the sysroot.
claim_tree make-sysroot "$sysroot" "$stamp" "$stamp_text"
bash tools/install-dependencies.sh cross

sources=$(debian_sources "$suite") || exit 1

started=$(date +%s)
echo "make-sysroot: making $sysroot from $sources (${packages[*]})" >&2
rm -rf "$sysroot" "$sysroot.new"
# The essential set plus the packages; apt's recommendations would double the size. Maintainer
# scripts of a foreign architecture run through qemu's binfmt_misc registration.
ensure_binfmt "$arch"
include=$(IFS=,; echo "${packages[*]}")
mmdebstrap --variant=essential --architectures="$arch" --include="$include" \
    --aptopt='APT::Install-Recommends "false"' "$suite" "$sysroot.new" "$sources" >&2

# The linker and the emulator see the tree from outside: a link to /usr/lib/... would lead
# into the host's own files. Make every absolute link relative to the tree.
find "$sysroot.new" -type l -lname '/*' -print0 | while IFS= read -r -d '' link; do
    ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$sysroot.new$(readlink "$link")")" \
        "$link"
done
# qemu's -L looks every absolute path up in the tree first: directories that belong to the
# running system (temporary files, devices, homes) must not be hidden by the tree's copies.
rm -rf "${sysroot:?}.new"/{tmp,dev,proc,sys,run,home,root,mnt,media,srv,boot}
rm -rf "$sysroot.new"/var/cache/apt/archives/*.deb "$sysroot.new"/var/lib/apt/lists/*

echo "$stamp_text" >"$sysroot.new/.page-scope-sysroot"
mv "$sysroot.new" "$sysroot"
echo "make-sysroot: made $sysroot ($(du -sh "$sysroot" | cut -f1)) in $(($(date +%s) - started)) s" >&2
echo "$sysroot"

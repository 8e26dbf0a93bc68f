#!/usr/bin/env bash
# Cross-builds page-scope, its automation plugin and its tests for 32-bit (armhf) or 64-bit
# (arm64) ARM Linux against a sysroot, and makes that architecture's Debian packages.
#   tools/build-cross.sh ARCH [--no-packages] [extra CMake arguments...]    ARCH: armhf or arm64
#   CROSS_TARGETS="a b"  builds only those targets (and what they need) instead of everything
# Installs, when missing (as root), the package group cross: Debian's armhf and arm64 cross
# compilers, the host's Qt tools, qemu's user-mode emulator, which runs the sample-document
# writer during the build, and mmdebstrap with arch-test;
# makes the sysroot when it is missing or out of date (tools/make-sysroot.sh).
# Build directory: build-ARCH (BUILD_DIR overrides); packages: build-ARCH/packages.
# Idempotent: a second run only rebuilds what changed.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/packaging-common.sh

arch=${1:-}
if ! triplet=$(cross_triplet "$arch" 2>/dev/null); then
    echo "usage: tools/build-cross.sh armhf|arm64 [--no-packages] [CMake arguments...]" >&2
    exit 2
fi
shift
build_dir=${BUILD_DIR:-build-$arch}
make_packages=yes
if [[ "${1:-}" == "--no-packages" ]]; then
    make_packages=
    shift
fi

started=$(date +%s)
bash tools/install-dependencies.sh cross
sysroot=$(bash tools/make-sysroot.sh "$arch" | tail -n 1)
# Test programs start the ARM viewer themselves; the kernel needs to know how to run it.
ensure_binfmt "$arch" || echo "build-cross: continuing; only tests that start other programs need it"
sysroot_ready=$(date +%s)

cmake -S . -B "$build_dir" \
    -DCMAKE_TOOLCHAIN_FILE=cmake/CrossSysroot.cmake \
    -DPAGE_SCOPE_CROSS_ARCH="$arch" -DPAGE_SCOPE_SYSROOT="$sysroot" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON "$@"
# Two jobs at most: the machine's cores are shared.
targets=()
for target in ${CROSS_TARGETS:-}; do
    targets+=(--target "$target")
done
cmake --build "$build_dir" -j2 "${targets[@]}"
built=$(date +%s)
echo "build-cross: sysroot ready in $((sysroot_ready - started)) s, built in $((built - sysroot_ready)) s"

if [[ -n "$make_packages" ]]; then
    rm -rf "$build_dir/packages"
    # dpkg-shlibdeps finds the libraries' packages in the dpkg database and the libraries in
    # their installed paths; neither takes a sysroot. In a mount namespace of its own, the
    # sysroot's database and library directory stand in the host's places while CPack runs.
    mkdir -p "/usr/lib/$triplet"
    DEB_HOST_ARCH=$arch unshare --mount -- bash -euc '
        mount --bind "$1/var/lib/dpkg" /var/lib/dpkg
        mount --bind "$1/usr/lib/$2" "/usr/lib/$2"
        cd "$3" && cpack -G DEB -B packages' sh "$sysroot" "$triplet" "$build_dir"
    for deb in "$build_dir"/packages/*_"$arch".deb; do
        echo "build-cross: $deb"
        dpkg-deb -f "$deb" Package Architecture Depends | sed 's/^/    /'
    done
    echo "build-cross: packages made in $(($(date +%s) - built)) s"
fi

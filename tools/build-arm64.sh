#!/usr/bin/env bash
# Cross-builds page-scope, its automation plugin and its tests for arm64 (64-bit ARM Linux) and
# makes the arm64 Debian packages.
#   tools/build-arm64.sh [--no-packages] [extra CMake arguments...]
#   ARM64_TARGETS="a b"  builds only those targets (and what they need) instead of everything
# Installs, when missing (as root): Debian's cross compiler, the arm64 development packages of
# Qt 5 and Poppler (multiarch, beside the host's), the host's Qt tools and qemu's user-mode
# emulator, which runs the sample-document writer during the build.
# Build directory: build-arm64 (BUILD_DIR overrides); packages: build-arm64/packages.
# Idempotent: a second run only rebuilds what changed.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/packaging-common.sh

build_dir=${BUILD_DIR:-build-arm64}
make_packages=yes
if [[ "${1:-}" == "--no-packages" ]]; then
    make_packages=
    shift
fi

started=$(date +%s)
bash tools/install-dependencies.sh cross
# Test programs start the arm64 viewer themselves; the kernel needs to know how to run it.
ensure_arm64_binfmt || echo "build-arm64: continuing; only tests that start other programs need it"

cmake -S . -B "$build_dir" \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON "$@"
# Two jobs at most: the machine's cores are shared.
targets=()
for target in ${ARM64_TARGETS:-}; do
    targets+=(--target "$target")
done
cmake --build "$build_dir" -j2 "${targets[@]}"
built=$(date +%s)
echo "build-arm64: built in $((built - started)) s"

if [[ -n "$make_packages" ]]; then
    rm -rf "$build_dir/packages"
    (cd "$build_dir" && cpack -G DEB -B packages)
    for deb in "$build_dir"/packages/*_arm64.deb; do
        echo "build-arm64: $deb"
    done
    echo "build-arm64: packages made in $(($(date +%s) - built)) s"
fi

#!/usr/bin/env bash
# Builds the Debian packages page-scope and page-scope-automation and checks them with lintian.
#   tools/make-packages.sh                 host packages, in build-pkg/packages
#   tools/make-packages.sh --arch ARCH     armhf or arm64 packages (cross-built against a
#                                          sysroot), in build-ARCH/packages
# Installs what is missing (as root). Exits non-zero when the build fails or lintian reports
# an error; its warnings are printed (README.md explains the ones that remain).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
arch=host
if [[ "${1:-}" == "--arch" ]]; then
    arch=${2:?"--arch needs a value (armhf or arm64)"}
    shift 2
fi

case "$arch" in
host)
    build_dir=${BUILD_DIR:-build-pkg}
    bash tools/install-dependencies.sh build package
    # The packages do not carry tests; a build without them is quicker.
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF "$@"
    cmake --build "$build_dir" -j2
    rm -rf "$build_dir/packages"
    (cd "$build_dir" && cpack -G DEB -B packages)
    ;;
armhf | arm64)
    build_dir=${BUILD_DIR:-build-$arch}
    bash tools/install-dependencies.sh package
    BUILD_DIR=$build_dir bash tools/build-cross.sh "$arch" "$@"
    ;;
*)
    echo "make-packages: unknown architecture '$arch' (host, armhf or arm64)" >&2
    exit 2
    ;;
esac

shopt -s nullglob
debs=("$build_dir"/packages/page-scope_*.deb "$build_dir"/packages/page-scope-automation_*.deb)
if ((${#debs[@]} != 2)); then
    echo "make-packages: expected two packages in $build_dir/packages, found ${#debs[@]}" >&2
    exit 1
fi
status=0
lintian --fail-on error "${debs[@]}" >"$build_dir/packages/lintian.txt" 2>&1 || status=$?
# lintian's note that it runs as root is how this machine is used, not a finding.
grep -v '^running with root privileges' "$build_dir/packages/lintian.txt" || true
if ((status != 0)); then
    echo "make-packages: lintian reports errors (exit status $status)" >&2
    exit 1
fi
for deb in "${debs[@]}"; do
    echo "make-packages: $deb"
done

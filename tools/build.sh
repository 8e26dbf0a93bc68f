#!/usr/bin/env bash
# Configures and builds page-scope, its sample document and its tests.
#   tools/build.sh [extra CMake arguments...]
# BUILD_DIR (default: build) chooses the build directory, relative to the repository root.
# Idempotent: a second run only rebuilds what changed.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_dir=${BUILD_DIR:-build}

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON "$@"
cmake --build "$build_dir" -j"$(nproc)"

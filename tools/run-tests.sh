#!/usr/bin/env bash
# Installs what is missing, builds page-scope with its tests, and runs the whole suite through
# CTest. Exits non-zero when anything fails. Idempotent.
#   PAGE_SCOPE_TEST_JOBS   tests run at once (default 2; tests that need the fixed automation
#                          port or another shared resource take a CTest RESOURCE_LOCK)
#   BUILD_DIR              build directory (default: build)
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
export BUILD_DIR=${BUILD_DIR:-build}

bash tools/install-dependencies.sh
bash tools/build.sh

# Unit and widget tests run headless on the offscreen platform; the end-to-end tests start
# their own Xvfb. None of them needs the caller's display.
ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error -j"${PAGE_SCOPE_TEST_JOBS:-2}"

# --- Further passes (for example a sanitizer build in its own build directory) go here. ---

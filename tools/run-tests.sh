#!/usr/bin/env bash
# Installs what is missing, builds page-scope with its tests, and runs the suite through CTest:
# all of it but the long runs of label hostile-binary, unless PAGE_SCOPE_HOSTILE_TESTS asks for
# them. Exits non-zero when anything fails. Idempotent.
#   PAGE_SCOPE_TEST_JOBS   tests run at once (default 2; tests that need the fixed automation
#                          port or another shared resource take a CTest RESOURCE_LOCK)
#   BUILD_DIR              build directory (default: build)
#   PAGE_SCOPE_HOSTILE_TESTS    1 adds the real binary on every hostile document (slow)
#   PAGE_SCOPE_SANITIZER_TESTS  ci (default), all or none: the tests of the sanitizer pass
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
export BUILD_DIR=${BUILD_DIR:-build}

bash tools/install-dependencies.sh
bash tools/build.sh

# Unit and widget tests run headless on the offscreen platform; the X end-to-end test starts its
# own Xvfb and the framebuffer one runs on Qt's vnc platform. None of them needs the caller's
# display.
# The real binary goes through one hostile document of each kind in the default run; through
# every one of them and the whole zoom range (three times: as it is, under an address-space cap
# and in a memory cgroup; label hostile-binary) it takes many minutes of heavy rendering;
# PAGE_SCOPE_HOSTILE_TESTS=1 adds that.
hostile=(-LE '^hostile-binary$')
[[ ${PAGE_SCOPE_HOSTILE_TESTS:-0} == 1 ]] && hostile=()
ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error -j"${PAGE_SCOPE_TEST_JOBS:-2}" \
    "${hostile[@]}"

# Sanitizer pass: the suite once more, built with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer in build-asan (cmake/Sanitizers.cmake); any report fails its test.
# The default subset leaves out the package test (an instrumented build is never packaged) and
# the hostile-document suites (minutes of Poppler's rendering, which is not instrumented; our
# code on the same documents runs here in tst_fuzzreplay_document). Unoptimised and without the
# benchmark program, to keep the extra build short: the tests spend their time in Qt and Poppler,
# which are not instrumented either way.
sanitizer_tests=${PAGE_SCOPE_SANITIZER_TESTS:-ci}
if [[ $sanitizer_tests != none ]]; then
    BUILD_DIR=build-asan bash tools/build.sh -DPAGE_SCOPE_SANITIZE=ON \
        -DCMAKE_BUILD_TYPE=Debug -DPAGE_SCOPE_BENCH=OFF
    subset=()
    [[ $sanitizer_tests == all ]] || subset=(-LE '^(package|hostile)$')
    ctest --test-dir build-asan --output-on-failure --no-tests=error -j"${PAGE_SCOPE_TEST_JOBS:-2}" \
        "${subset[@]}"
fi

#!/usr/bin/env bash
# Cross-builds page-scope and its tests for arm64 (tools/build-arm64.sh) and runs the headless
# test suite on that build under qemu's user-mode emulation.
#   tools/test-arm64.sh [ctest arguments...]     e.g. tools/test-arm64.sh -L automation
#   tools/test-arm64.sh --quick                  a fast subset, for CI: it builds only the
#       viewer, the plugin and one test program per subsystem, in build-arm64-quick
# Runs the unit and widget tests (offscreen platform) and the automation tests. Skips the tests
# that need an X server (label xvfb, and the end-to-end tests in tests/e2e), the package test,
# which runs host packages, and the real binary on the hostile documents (label hostile: minutes
# of Poppler's rendering under emulation, none of it processor-specific code of ours); the host
# suite covers those.
# Exits non-zero when the build or a test fails.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/packaging-common.sh

# One test program per subsystem whose code could behave differently on another processor:
# the option parser, the profile reader's number conversions, the softkey arithmetic, the page
# view with Poppler, and the plugin end to end.
quick_tests=(tst_commandline tst_configloader tst_mainwindow tst_pdfwidget automation_e2e)

build_dir=${BUILD_DIR:-build-arm64}
cmake_args=()
if [[ "${1:-}" == "--quick" ]]; then
    shift
    build_dir=${BUILD_DIR:-build-arm64-quick}
    export ARM64_TARGETS="page-scope SquishPlugin ${quick_tests[*]}"
    cmake_args=(-DPAGE_SCOPE_BENCH=OFF)
    quick_regex=$(IFS='|'; echo "${quick_tests[*]}")
    set -- -R "^($quick_regex)\$" "$@"
fi
started=$(date +%s)
BUILD_DIR=$build_dir bash tools/build-arm64.sh --no-packages "${cmake_args[@]}"
# The tests start the arm64 viewer as a child process, which needs the kernel's help.
ensure_arm64_binfmt
built=$(date +%s)

skip_labels='xvfb|package|hostile'
skip_names='^tst_e2e_'
echo "test-arm64: skipped here (they need Xvfb or run host packages; the host suite runs them):"
ctest --test-dir "$build_dir" --show-only=json-v1 >"$build_dir/tests.json"
python3 - "$build_dir/tests.json" "$skip_labels" "$skip_names" <<'PYTHON'
import json, re, sys
path, skip_labels, skip_names = sys.argv[1:4]
with open(path) as reader:
    tests = json.load(reader)["tests"]
for test in tests:
    labels = []
    for prop in test.get("properties", []):
        if prop["name"] == "LABELS":
            labels = prop["value"]
    if any(re.search(skip_labels, label) for label in labels) or re.search(skip_names, test["name"]):
        print("  %s (labels: %s)" % (test["name"], ", ".join(labels)))
PYTHON

status=0
ctest --test-dir "$build_dir" --output-on-failure --no-tests=error -j2 \
    -LE "$skip_labels" -E "$skip_names" "$@" || status=$?
echo "test-arm64: build $((built - started)) s, tests $(($(date +%s) - built)) s"
exit "$status"

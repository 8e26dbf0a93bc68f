#!/usr/bin/env bash
# Cross-builds page-scope and its tests for armhf or arm64 (tools/build-cross.sh) and runs the
# headless test suite on that build under qemu's user-mode emulation.
#   tools/test-cross.sh ARCH [ctest arguments...]   e.g. tools/test-cross.sh armhf -L automation
#   tools/test-cross.sh ARCH --quick                a fast subset, for CI: it builds only the
#       viewer, the plugin and one test program per subsystem, in build-ARCH-quick
# Runs the unit and widget tests (offscreen platform), the automation tests and the viewer end to
# end on Qt's framebuffer code (vnc platform), as on a device, and on armhf, as root, a machine of
# ARM's that boots into the viewer under qemu's system emulation (tst_bootvm). Skips the tests that
# need an X server (label xvfb) and the real binary on the hostile documents and under memory
# limits (label hostile: minutes of Poppler's rendering under emulation, none of it
# processor-specific code of ours); a cross build registers no other package tests. The host suite
# covers those.
# Exits non-zero when the build or a test fails.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
source tools/packaging-common.sh

# One test program per subsystem whose code could behave differently on another processor:
# the option parser, the profile reader's number conversions, the softkey arithmetic, the
# opening of files larger than 2 GiB or modified after 2038, the page view with Poppler, the
# chooser with its file-system model and the names that are not UTF-8, the plugin end to end, and
# the viewer on a framebuffer with keys from outside, which is how a device runs it.
quick_tests=(tst_commandline tst_configloader tst_mainwindow tst_openingflow tst_pdfwidget
    tst_chooser tst_automation_e2e tst_e2e_framebuffer)
# And on armhf the machine that boots into the ARM viewer (tst_bootvm, as root), with what it
# installs and runs.
quick_boot_targets=(sample-document packaging-files make-test-documents bootvm-touch-panel)

arch=${1:-}
if ! cross_triplet "$arch" >/dev/null 2>&1; then
    echo "usage: tools/test-cross.sh armhf|arm64 [--quick] [ctest arguments...]" >&2
    exit 2
fi
shift
build_dir=${BUILD_DIR:-build-$arch}
cmake_args=()
if [[ "${1:-}" == "--quick" ]]; then
    shift
    build_dir=${BUILD_DIR:-build-$arch-quick}
    export CROSS_TARGETS="page-scope SquishPlugin ${quick_tests[*]}"
    if [[ $arch == armhf ]]; then
        CROSS_TARGETS+=" ${quick_boot_targets[*]}"
        quick_tests+=(tst_bootvm)
    fi
    cmake_args=(-DPAGE_SCOPE_BENCH=OFF)
    quick_regex=$(IFS='|'; echo "${quick_tests[*]}")
    set -- -R "^($quick_regex)\$" "$@"
fi
started=$(date +%s)
BUILD_DIR=$build_dir bash tools/build-cross.sh "$arch" --no-packages "${cmake_args[@]}"
# The tests start the ARM viewer as a child process, which needs the kernel's help.
ensure_binfmt "$arch"
# The boot test's root file system, made here rather than within the test's time limit: the
# first time takes some four minutes, its packages' scripts running under emulation.
if [[ $arch == armhf && $(id -u) -eq 0 ]]; then
    bash tools/make-boot-root.sh armhf >/dev/null
fi
built=$(date +%s)

skip_labels='xvfb|package|hostile'
echo "test-cross: skipped here (they need Xvfb or run host packages; the host suite runs them):"
ctest --test-dir "$build_dir" --show-only=json-v1 >"$build_dir/tests.json"
python3 - "$build_dir/tests.json" "$skip_labels" <<'PYTHON'
import json, re, sys
path, skip_labels = sys.argv[1:3]
with open(path) as reader:
    tests = json.load(reader)["tests"]
for test in tests:
    labels = []
    for prop in test.get("properties", []):
        if prop["name"] == "LABELS":
            labels = prop["value"]
    if any(re.search(skip_labels, label) for label in labels):
        print("  %s (labels: %s)" % (test["name"], ", ".join(labels)))
PYTHON

status=0
ctest --test-dir "$build_dir" --output-on-failure --no-tests=error -j2 \
    -LE "$skip_labels" "$@" || status=$?
echo "test-cross: build $((built - started)) s, tests $(($(date +%s) - built)) s"
exit "$status"

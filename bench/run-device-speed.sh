#!/usr/bin/env bash
# Builds the viewer and device-speed in the benchmark build directory and prints the viewer's
# times under a cpu quota that stands in for a device's slow core, headed by the machine they ran
# on. Needs root and a cgroup cpu controller (v1 or v2); exits 77 with a message where there is
# none. Arguments go to device-speed, e.g.
#   bash bench/run-device-speed.sh                  # 10% of one core, 5 runs
#   bash bench/run-device-speed.sh --quota 25 --runs 3
# BENCH_BUILD_DIR (default: build-bench) is the build directory and BENCH_JOBS (default: 2) the
# number of compile jobs. The table is also saved to BENCH_BUILD_DIR/bench/device-speed-results.md.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."

if [[ $(id -u) -ne 0 ]]; then
    echo "run-device-speed: skipped: a cpu cgroup needs root" >&2
    exit 77
fi
source bench/bench-common.sh
bench_setup device-speed

# From the repository root: the viewer loads its icons from images/ there. Where no cpu
# controller can be used, device-speed says why and exits 77, which is passed on.
bench_report "$build_dir/bench/device-speed-results.md" "bash bench/run-device-speed.sh${*:+ $*}" "" \
    "$build_dir/bench/device-speed" --viewer "$build_dir/page-scope" \
    --documents "$build_dir/bench/device-speed-documents" "$@"

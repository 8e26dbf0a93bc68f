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
build_dir=${BENCH_BUILD_DIR:-build-bench}

if [[ $(id -u) -ne 0 ]]; then
    echo "run-device-speed: skipped: a cpu cgroup needs root" >&2
    exit 77
fi
bash tools/install-dependencies.sh >&2
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGE_SCOPE_BENCH=ON >&2
cmake --build "$build_dir" -j"${BENCH_JOBS:-2}" --target device-speed >&2

if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date -u '+%Y-%m-%d %H:%M UTC')
status=0
# From the repository root: the viewer loads its icons from images/ there.
table=$("$build_dir/bench/device-speed" --viewer "$build_dir/page-scope" \
    --documents "$build_dir/bench/device-speed-documents" "$@") || status=$?
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
[[ $status -eq 77 ]] && exit 77

cpu=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
{
    echo "- Machine: $(nproc) CPUs, ${cpu:-unknown CPU}; Linux $(uname -r); Qt $(pkg-config --modversion Qt5Core); Poppler $(pkg-config --modversion poppler-qt5)."
    echo "- Run: $started, commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)," \
        "load average (1, 5, 15 min) $load_before before and $load_after after."
    echo "- Command: \`bash bench/run-device-speed.sh${*:+ $*}\`"
    echo
    echo "$table"
} | tee "$build_dir/bench/device-speed-results.md"
exit "$status"

#!/usr/bin/env bash
# Builds the viewer, startup-floor and startup-bench in the benchmark build directory and prints
# the start-up tables, headed by the machine they ran on. Arguments go to startup-bench, e.g.
#   bash bench/run-startup-benchmark.sh                              # xcb, vnc, offscreen; 1 and 10,000 pages
#   bash bench/run-startup-benchmark.sh --platforms xcb --pages 1 --runs 51
# BENCH_BUILD_DIR (default: build-bench) is the build directory and BENCH_JOBS (default: 2) the
# number of compile jobs. The documents are written once into BENCH_BUILD_DIR/bench/startup-documents.
# The tables are also saved to BENCH_BUILD_DIR/bench/startup-results.md.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_dir=${BENCH_BUILD_DIR:-build-bench}

# Xvfb comes with the test group.
bash tools/install-dependencies.sh build test >&2

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGE_SCOPE_BENCH=ON >&2
cmake --build "$build_dir" -j"${BENCH_JOBS:-2}" --target startup-bench >&2

# Qt wants a private runtime directory; a fresh one keeps its warning off the output.
if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date -u '+%Y-%m-%d %H:%M UTC')
status=0
# From the repository root: the viewer loads its icons from images/ there.
tables=$("$build_dir/bench/startup-bench" --viewer "$build_dir/page-scope" \
    --floor "$build_dir/bench/startup-floor" --documents "$build_dir/bench/startup-documents" \
    "$@") || status=$?
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

cpu=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
{
    echo "- Machine: $(nproc) CPUs, ${cpu:-unknown CPU}, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo) memory;" \
        "Linux $(uname -r); Qt $(pkg-config --modversion Qt5Core); Poppler $(pkg-config --modversion poppler-qt5); $(Xvfb -version 2>&1 | grep -m1 -i 'x.org x server' || echo Xvfb)."
    echo "- Run: $started, commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)," \
        "load average (1, 5, 15 min) $load_before before and $load_after after."
    echo "- Command: \`bash bench/run-startup-benchmark.sh${*:+ $*}\`"
    echo
    echo "$tables"
} | tee "$build_dir/bench/startup-results.md"
exit "$status"

#!/usr/bin/env bash
# Builds the benchmark program in its own build directory and prints the benchmark tables, headed
# by the machine they ran on. Arguments go to page-scope-bench, for example:
#   bash bench/run-benchmarks.sh                    # all cases, timing and peak memory
#   bash bench/run-benchmarks.sh --instructions     # also instruction counts under Callgrind
#   bash bench/run-benchmarks.sh --cases open-1,scroll-300 --runs 51
#   bash bench/run-benchmarks.sh --list
# BENCH_BUILD_DIR (default: build-bench) is the build directory and BENCH_JOBS (default: 2) the
# number of compile jobs. The documents are written once into BENCH_BUILD_DIR/bench/bench-documents
# and reused. The tables are also saved to BENCH_BUILD_DIR/bench/results.md.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
build_dir=${BENCH_BUILD_DIR:-build-bench}

# Callgrind (group bench) only for the instruction counts.
groups=(build)
[[ " $* " == *" --instructions "* ]] && groups+=(bench)
bash tools/install-dependencies.sh "${groups[@]}" >&2

cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGE_SCOPE_BENCH=ON >&2
cmake --build "$build_dir" -j"${BENCH_JOBS:-2}" --target page-scope-bench >&2

bench=$build_dir/bench/page-scope-bench
for argument in "$@"; do
    if [[ $argument == --list || $argument == --help || $argument == -h ]]; then
        exec "$bench" "$@"
    fi
done

# Qt wants a private runtime directory; a fresh one keeps its warning off the output.
if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

"$bench" --documents-only >&2

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
started=$(date -u '+%Y-%m-%d %H:%M UTC')
status=0
tables=$("$bench" "$@") || status=$?
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

cpu=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
{
    echo "- Machine: $(nproc) CPUs, ${cpu:-unknown CPU}, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo) memory;" \
        "Linux $(uname -r); Qt $(pkg-config --modversion Qt5Core); Poppler $(pkg-config --modversion poppler-qt5)."
    echo "- Run: $started, commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)," \
        "load average (1, 5, 15 min) $load_before before and $load_after after."
    echo "- Command: \`bash bench/run-benchmarks.sh${*:+ $*}\`"
    echo
    echo "$tables"
} | tee "$build_dir/bench/results.md"
exit "$status"

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
source bench/bench-common.sh

# Callgrind (group bench) only for the instruction counts.
groups=(build)
[[ " $* " == *" --instructions "* ]] && groups+=(bench)
bench_setup page-scope-bench "${groups[@]}"

bench=$build_dir/bench/page-scope-bench
for argument in "$@"; do
    if [[ $argument == --list || $argument == --help || $argument == -h ]]; then
        exec "$bench" "$@"
    fi
done

"$bench" --documents-only >&2
bench_report "$build_dir/bench/results.md" "bash bench/run-benchmarks.sh${*:+ $*}" "" "$bench" "$@"

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
source bench/bench-common.sh

# Xvfb comes with the test group.
bench_setup startup-bench build test

# From the repository root: the viewer loads its icons from images/ there.
bench_report "$build_dir/bench/startup-results.md" "bash bench/run-startup-benchmark.sh${*:+ $*}" \
    "; $(Xvfb -version 2>&1 | grep -m1 -i 'x.org x server' || echo Xvfb)" \
    "$build_dir/bench/startup-bench" --viewer "$build_dir/page-scope" \
    --floor "$build_dir/bench/startup-floor" --documents "$build_dir/bench/startup-documents" "$@"

#!/usr/bin/env bash
# Runs one fuzz target for a bounded time:
#   run-fuzzer.sh TARGET WORK_DIR SECONDS CORPUS_DIR...
# The corpus grows in WORK_DIR/corpus, which later runs start from; the seed and regression
# folders are only read. A find is written to WORK_DIR/artifacts/ and fails the run: keep it as
# tests/hardening/regressions/<target>/<name> together with the fix.
set -euo pipefail

target=$1
work=$2
seconds=$3
shift 3
mkdir -p "$work/corpus" "$work/artifacts"
inputs=()
for dir in "$@"; do
    [[ -d $dir ]] && inputs+=("$dir")
done

# -close_fd_mask=3 keeps the targets' own output (getopt's complaints, Qt's warnings) out of the
# log; libFuzzer's report still reaches it. A run longer than -timeout seconds counts as a hang.
exec "$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -close_fd_mask=3 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" "${inputs[@]}"

#!/usr/bin/env bash
# Measures what rendering in bands costs against a whole render, at 300 dpi, for a page of text,
# a scanned page and a page of nested transparency groups:
#   bash bench/measure-banded-renders.sh [RUNS]
# Each render runs in a fresh process (render-peak, the viewer's own render code without its
# budget); the table gives the medians over RUNS runs (default 5) of the time, and of the peak
# resident memory and address space the render added to the process. The programs and the
# documents are built in BENCH_BUILD_DIR (default: build-bench), as by the other benchmarks.
set -euo pipefail

runs=${1:-5}
measurement_targets=page-scope-bench
# shellcheck source=bench/render-measurement.sh
source "$(dirname "${BASH_SOURCE[0]}")/render-measurement.sh"
"$build/bench/page-scope-bench" --cache "$work/bench" --documents-only >/dev/null 2>&1
scan=$(find "$work/bench" -name '*scan*.pdf' | head -1)
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
mebibytes() { awk '{ print $1 / 1024 }'; }

echo "| Page at 300 dpi | Render | Time (ms) | Resident added (MiB) | Address space added (MiB) |"
echo "|---|---|---:|---:|---:|"
for item in "A4 text:$work/ten-pages.pdf" "scanned A4:$scan" \
    "three nested transparency groups:$work/transparency-stack.pdf"; do
    name=${item%%:*}
    file=${item#*:}
    for rows in 0 512 128; do
        times=() resident=() mapped=()
        for ((run = 0; run < runs; run++)); do
            line=$("$render_peak" "$file" 300 0 "$rows" 2>/dev/null)
            times+=("$(field ms "$line")")
            resident+=($(($(field rss_peak_kb "$line") - $(field rss_before_kb "$line"))))
            mapped+=($(($(field vm_peak_kb "$line") - $(field vm_before_kb "$line"))))
        done
        render=whole
        ((rows > 0)) && render="bands of $rows rows"
        printf '| %s | %s | %s | %.1f | %.1f |\n' "$name" "$render" \
            "$(printf '%s\n' "${times[@]}" | median)" \
            "$(printf '%s\n' "${resident[@]}" | median | mebibytes)" \
            "$(printf '%s\n' "${mapped[@]}" | median | mebibytes)"
    done
done

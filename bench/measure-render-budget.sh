#!/usr/bin/env bash
# Measures what page renders cost, to set RenderBudget's image factor and working margin
# (pageview/renderbudget.h):
#   bash bench/measure-render-budget.sh
# 1. For an ordinary A4 page and the heavy hostile pages, renders at several resolutions
#    without a cap and prints the peak address space a render adds over the process before it
#    ("added_kb") and that as a multiple of the rendered image ("factor").
# 2. Renders the heavy pages under several address-space caps (ulimit -v) and prints whether
#    the render survived next to the budget's plan: a render planned "whole" must never crash.
# render-peak renders straight through Poppler, as the viewer would without its budget. It and
# the documents are built in BENCH_BUILD_DIR (default: build-bench), as by the other benchmarks.
set -euo pipefail

# shellcheck source=bench/render-measurement.sh
source "$(dirname "${BASH_SOURCE[0]}")/render-measurement.sh"

echo "== uncapped: peak address space of one render"
printf '%-24s %4s %11s %10s %10s %7s\n' page dpi pixels image_kb added_kb factor
for item in ten-pages.pdf:48,100,150,200,300 image-20000px.pdf:48,150,300 \
    transparency-stack.pdf:48,100,150,200,300 page-14400pt.pdf:10,20,48; do
    file=${item%%:*}
    for dpi in $(tr , " " <<<"${item#*:}"); do
        line=$("$render_peak" "$work/$file" "$dpi" 2>/dev/null || true)
        image=$(field image_kb "$line")
        added=$(($(field vm_peak_kb "$line") - $(field vm_before_kb "$line")))
        printf '%-24s %4s %11s %10s %10s %7s\n' "$file" "$dpi" "$(field pixels "$line")" \
            "$image" "$added" "$(awk -v a="$added" -v i="$image" 'BEGIN { printf "%.2f", a / i }')"
    done
done

echo "== capped: does the render survive, and what did the budget say"
printf '%-24s %4s %8s %8s %12s\n' page dpi cap_mib plan survived
for file in ten-pages.pdf image-20000px.pdf transparency-stack.pdf; do
    for cap in 160 192 224 256 288 320; do
        for dpi in 150 200 250 300; do
            set +e
            line=$(bash -c "ulimit -v $((cap * 1024)) && exec \"$render_peak\" \"$work/$file\" $dpi" 2>/dev/null)
            status=$?
            set -e
            case $status in
            0) survived=yes ;;
            3) survived=null-image ;;
            *) survived="crash($status)" ;;
            esac
            printf '%-24s %4s %8s %8s %12s\n' "$file" "$dpi" "$cap" "$(field plan "$line")" "$survived"
        done
    done
done

#!/usr/bin/env bash
# What the trial open costs (pageview/opentrial.h): starts the viewer offscreen with its start-up
# trace on each DOCUMENT (default: the sample guide) in a memory cgroup of 256 MiB, where the
# headroom is below 1 GiB and every open is tried in a child first, and in one of 2 GiB, where
# none is, in turn, and prints the median milliseconds to the first page painted from the start of
# main and from the loading notice's timer, the span that holds the open, and the trial's own span.
#   bash bench/measure-open-trial.sh [RUNS] [DOCUMENT...]
# As root, from the repository root after a build; it exits 77 where no memory cgroup can be made.
# QUOTA=PERCENT also gives the viewer that share of one core, standing in for a device's slow one.
set -euo pipefail

runs=${1:-9}
shift || true
(($# > 0)) || set -- build/sample/page-scope-guide.pdf
viewer=${VIEWER:-build/page-scope}
groups=()
trap 'for group in "${groups[@]}"; do rmdir "$group" 2>/dev/null || true; done' EXIT

# make_group NAME MEBIBYTES: a cgroup (v2), or a pair of them (v1 memory and cpu), with that
# memory limit and the quota; sets `joined` to the directories to join.
make_group() {
    local name=$1-$$ bytes=$(($2 * 1024 * 1024)) period=10000 quota
    quota=$((period * ${QUOTA:-100} / 100))
    if [[ -f /sys/fs/cgroup/cgroup.controllers ]]; then
        joined=/sys/fs/cgroup/$name
        mkdir "$joined" && groups+=("$joined") && echo "$bytes" >"$joined/memory.max" &&
            { [[ -z ${QUOTA:-} ]] || echo "$quota $period" >"$joined/cpu.max"; }
    else
        joined=/sys/fs/cgroup/memory/$name
        mkdir "$joined" && groups+=("$joined") && echo "$bytes" >"$joined/memory.limit_in_bytes" || return 1
        [[ -n ${QUOTA:-} ]] || return 0
        local cpu=/sys/fs/cgroup/cpu/$name
        mkdir "$cpu" && groups+=("$cpu") && echo "$period" >"$cpu/cpu.cfs_period_us" &&
            echo "$quota" >"$cpu/cpu.cfs_quota_us" && joined+=" $cpu"
    fi
}

declare -A members
for mebibytes in 256 2048; do
    if ! make_group page-scope-open-trial-$mebibytes "$mebibytes" 2>/dev/null; then
        echo "measure-open-trial: no memory cgroup can be made here (run it as root)" >&2
        exit 77
    fi
    members[$mebibytes]=$joined
done

# One start, ended once its first page is painted: the milliseconds to the page painted from main
# and from the notice's timer, and from that timer to the trial's end (0 without a trial).
load_ms() {
    local groups_to_join=$1 document=$2 trace waited=0
    trace=$(mktemp)
    (
        for group in $groups_to_join; do echo "$BASHPID" >"$group/cgroup.procs"; done
        PAGE_SCOPE_STARTUP_TRACE=1 QT_QPA_PLATFORM=offscreen exec "$viewer" -f "$document"
    ) >/dev/null 2>"$trace" &
    local pid=$!
    until grep -q "page painted$" "$trace" || ((++waited > 600)); do sleep 0.05; done
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    awk '/ main$/ { m = $3 } /notice timer fired$/ { t = $3 } /in a child process$/ { c = $3 - t }
         /page painted$/ { printf "%.1f %.1f %.1f\n", $3 - m, $3 - t, c }' "$trace"
    rm -f "$trace"
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

echo "| Document | Quota, % of a core | Runs | From main: with the trial (256 MiB), ms | without (2 GiB), ms | From the timer: with, ms | without, ms | The trial, ms |"
echo "|---|---:|---:|---:|---:|---:|---:|---:|"
for document in "$@"; do
    with=() without=()
    for ((run = 0; run < runs; ++run)); do
        with+=("$(load_ms "${members[256]}" "$document")")
        without+=("$(load_ms "${members[2048]}" "$document")")
    done
    echo "| $(basename "$document") | ${QUOTA:-100} | $runs |" \
        "$(printf '%s\n' "${with[@]}" | cut -d' ' -f1 | median) |" \
        "$(printf '%s\n' "${without[@]}" | cut -d' ' -f1 | median) |" \
        "$(printf '%s\n' "${with[@]}" | cut -d' ' -f2 | median) |" \
        "$(printf '%s\n' "${without[@]}" | cut -d' ' -f2 | median) |" \
        "$(printf '%s\n' "${with[@]}" | cut -d' ' -f3 | median) |"
done

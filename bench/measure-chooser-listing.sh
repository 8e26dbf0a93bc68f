#!/usr/bin/env bash
# What listing a large folder in the chooser costs the viewer: makes a folder of FILES empty
# files named *.pdf and *.txt (default 20,000) beside one real document, starts the viewer on
# that document with the open command and the automation plugin (offscreen), presses the open key
# through the plugin, and prints the wall-clock and CPU time from the key until the viewer stays
# idle for half a second, and the peak resident memory.
#   bash bench/measure-chooser-listing.sh [FILES] [RUNS]
# QUOTA=PERCENT (as root) runs the viewer in a cpu cgroup of its own with that share of one core,
# standing in for a device's slow core; it exits 77 where no cpu controller can be used. Run it
# from the repository root after a build. VIEWER names another viewer binary, whose plugin is
# taken from the automation folder beside it. An ARM build runs under qemu through the kernel's
# binfmt_misc registration (tools/test-cross.sh makes it), given its sysroot in QEMU_LD_PREFIX:
#   VIEWER=build-armhf/page-scope QEMU_LD_PREFIX=/var/cache/page-scope-build/sysroot-bookworm-armhf
# What the listing adds to the emulator's memory is then the 32-bit viewer's. The plugin listens
# on port 5014; where other viewers may run, use a network namespace of its own:
#   unshare -n bash -c 'ip link set lo up; QUOTA=10 bash bench/measure-chooser-listing.sh'
set -euo pipefail

files=${1:-20000}
runs=${2:-5}
viewer=${VIEWER:-build/page-scope}
plugins=$(dirname "$viewer")/automation
folder=$(mktemp -d)
group=
cleanup() {
    rm -rf "$folder"
    [[ -z $group ]] || rmdir "$group" 2>/dev/null || true
}
trap cleanup EXIT
cp build/sample/page-scope-guide.pdf "$folder/guide.pdf"
(cd "$folder" && for ((i = 0; i < files; i += 2)); do : >"file-$i.pdf"; : >"file-$((i + 1)).txt"; done)

# A period of 10 ms keeps the throttling close to a slow core's steady pace.
if [[ -n ${QUOTA:-} ]]; then
    period=10000
    quota=$((period * QUOTA / 100))
    if [[ -f /sys/fs/cgroup/cgroup.controllers ]]; then
        group=/sys/fs/cgroup/page-scope-listing-$$
        mkdir "$group" 2>/dev/null && echo "$quota $period" >"$group/cpu.max" 2>/dev/null
    else
        group=/sys/fs/cgroup/cpu/page-scope-listing-$$
        mkdir "$group" 2>/dev/null && echo "$period" >"$group/cpu.cfs_period_us" &&
            echo "$quota" >"$group/cpu.cfs_quota_us"
    fi || {
        echo "measure-chooser-listing: no cpu cgroup can be made here (run it as root)" >&2
        exit 77
    }
fi

# The first page and the model's read of the root are not counted; at device speed they take a
# few seconds.
settle=1
[[ -z $group ]] || settle=8
ticks_per_second=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }

echo "| Run | Files | Quota, % of a core | Wall ms after the open key | CPU ms | Peak resident memory, MiB |"
echo "|---:|---:|---:|---:|---:|---:|"
for ((run = 1; run <= runs; ++run)); do
    (
        [[ -z $group ]] || echo "$BASHPID" >"$group/cgroup.procs"
        LD_LIBRARY_PATH=$plugins QT_QPA_PLATFORM=offscreen \
            exec "$viewer" -o -f "$folder/guide.pdf" >/dev/null 2>&1
    ) &
    pid=$!
    until tools/page-scope-ctl --timeout 1 ping >/dev/null 2>&1; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "measure-chooser-listing: $viewer ended before its plugin answered" >&2
            exit 1
        fi
        sleep 0.2
    done
    sleep "$settle"
    started=$(now_ms)
    before=$(cpu_ticks "$pid")
    tools/page-scope-ctl --timeout 300 key 16777264 click >/dev/null # F1, the open key
    previous=-1
    now=$(cpu_ticks "$pid")
    while [[ $now != "$previous" ]]; do
        idle_since=$(now_ms)
        previous=$now
        sleep 0.5
        now=$(cpu_ticks "$pid")
    done
    peak=$(awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "| $run | $files | ${QUOTA:-100} | $((idle_since - started)) |" \
        "$(((now - before) * 1000 / ticks_per_second)) | $peak |"
done

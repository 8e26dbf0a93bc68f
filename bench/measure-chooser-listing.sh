#!/usr/bin/env bash
# What listing a large folder in the chooser costs the viewer: makes a folder of FILES empty
# files named *.pdf and *.txt (default 20,000) beside one real document, starts the viewer on
# that document with the open command and the automation plugin (offscreen), presses the open key
# through the plugin, and prints the CPU time from the key until the viewer stays idle for half a
# second, and the peak resident memory. On a device's slow core the wait grows by its slowness.
#   bash bench/measure-chooser-listing.sh [FILES] [RUNS]
# Run it from the repository root after a build (VIEWER names another viewer binary). The plugin
# listens on port 5014; where other viewers may run, use a network namespace of its own:
#   unshare -n bash -c 'ip link set lo up; bash bench/measure-chooser-listing.sh'
set -euo pipefail

files=${1:-20000}
runs=${2:-5}
viewer=${VIEWER:-build/page-scope}
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cp build/sample/page-scope-guide.pdf "$folder/guide.pdf"
(cd "$folder" && for ((i = 0; i < files; i += 2)); do : >"file-$i.pdf"; : >"file-$((i + 1)).txt"; done)

ticks_per_second=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

echo "| Run | Files | CPU after the open key, ms | Peak resident memory, MiB |"
echo "|---:|---:|---:|---:|"
for ((run = 1; run <= runs; ++run)); do
    LD_LIBRARY_PATH=build/automation QT_QPA_PLATFORM=offscreen \
        "$viewer" -o -f "$folder/guide.pdf" >/dev/null 2>&1 &
    pid=$!
    until tools/page-scope-ctl --timeout 1 ping >/dev/null 2>&1; do sleep 0.2; done
    sleep 1 # the first page and the model's read of the root are not counted
    before=$(cpu_ticks "$pid")
    tools/page-scope-ctl --timeout 120 key 16777264 click >/dev/null # F1, the open key
    previous=-1
    now=$(cpu_ticks "$pid")
    while [[ $now != "$previous" ]]; do
        previous=$now
        sleep 0.5
        now=$(cpu_ticks "$pid")
    done
    peak=$(awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$pid/status")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    echo "| $run | $files | $(((now - before) * 1000 / ticks_per_second)) | $peak |"
done

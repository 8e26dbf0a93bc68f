# shellcheck shell=bash
# Sourced by the benchmark scripts, from the repository root: bench_setup builds targets in the
# benchmark build directory, bench_report runs a benchmark and heads its tables with the machine.

build_dir=${BENCH_BUILD_DIR:-build-bench}

# Scratch folders, removed when the script exits: bench_setup and the scripts add theirs.
bench_scratch=()
trap 'rm -rf "${bench_scratch[@]}"' EXIT

# bench_setup "TARGET..." GROUP...: installs the package groups, builds the targets (one word
# or several) in build_dir, and gives Qt a private runtime directory (a fresh one keeps its
# warning off the output).
bench_setup() {
    local targets
    read -ra targets <<<"$1"
    shift
    bash tools/install-dependencies.sh "$@" >&2
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPAGE_SCOPE_BENCH=ON >&2
    cmake --build "$build_dir" -j"${BENCH_JOBS:-2}" --target "${targets[@]}" >&2
    if [[ -z ${XDG_RUNTIME_DIR:-} ]]; then
        XDG_RUNTIME_DIR=$(mktemp -d)
        export XDG_RUNTIME_DIR
        bench_scratch+=("$XDG_RUNTIME_DIR")
    fi
}

# bench_report FILE COMMAND_LINE SOFTWARE PROGRAM [ARGUMENT...]: runs the program and prints its
# tables headed by the machine (SOFTWARE ends its line), the run and COMMAND_LINE; saves them to
# FILE too. Returns the program's exit status.
bench_report() {
    local file=$1 command_line=$2 software=$3 load_before load_after started tables cpu status=0
    shift 3
    load_before=$(cut -d' ' -f1-3 /proc/loadavg)
    started=$(date -u '+%Y-%m-%d %H:%M UTC')
    tables=$("$@") || status=$?
    load_after=$(cut -d' ' -f1-3 /proc/loadavg)
    cpu=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
    {
        echo "- Machine: $(nproc) CPUs, ${cpu:-unknown CPU}, $(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo) memory;" \
            "Linux $(uname -r); Qt $(pkg-config --modversion Qt5Core); Poppler $(pkg-config --modversion poppler-qt5)$software."
        echo "- Run: $started, commit $(git rev-parse --short HEAD 2>/dev/null || echo unknown)," \
            "load average (1, 5, 15 min) $load_before before and $load_after after."
        echo "- Command: \`$command_line\`"
        echo
        echo "$tables"
    } | tee "$file"
    return "$status"
}

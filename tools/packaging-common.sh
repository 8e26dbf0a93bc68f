# shellcheck shell=bash
# Helpers shared by make-sysroot.sh, make-boot-root.sh, build-cross.sh and test-cross.sh; sourced,
# not run.
# (Packages are installed by tools/install-dependencies.sh.)

# sysroot_path ARCH: where tools/make-sysroot.sh keeps the sysroot of that Debian architecture.
sysroot_path() {
    echo "${PAGE_SCOPE_SYSROOT_DIR:-/var/cache/page-scope-build}/sysroot-bookworm-$1"
}

# cross_triplet ARCH: the GNU triplet (and multiarch directory) of a Debian architecture.
cross_triplet() {
    case "$1" in
    armhf) echo arm-linux-gnueabihf ;;
    arm64) echo aarch64-linux-gnu ;;
    *)
        echo "unknown architecture '$1' (armhf or arm64)" >&2
        return 1
        ;;
    esac
}

# ensure_binfmt ARCH: registers qemu for that architecture's executables with the kernel, so
# that an emulated program that starts another one (the tests start the viewer) works, and so
# that the sysroot's maintainer scripts run. The F flag makes the kernel keep the emulator
# open, so it also works in other mount namespaces. Magic and mask are those of Debian's
# qemu-user-static.
ensure_binfmt() {
    local binfmt=/proc/sys/fs/binfmt_misc name magic mask
    case "$1" in
    armhf)
        name=qemu-arm
        magic='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x28\x00'
        mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
        ;;
    arm64)
        name=qemu-aarch64
        magic='\x7f\x45\x4c\x46\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00'
        mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
        ;;
    *)
        echo "ensure_binfmt: unknown architecture '$1'" >&2
        return 1
        ;;
    esac
    [[ -e $binfmt/$name ]] && return 0
    if [[ ! -e $binfmt/register ]]; then
        mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
    fi
    [[ -e $binfmt/$name ]] && return 0
    if [[ ! -w $binfmt/register ]]; then
        echo "cannot register $name with binfmt_misc: $binfmt is not writable" >&2
        return 1
    fi
    echo ":$name:M::${magic}:${mask}:/usr/bin/$name-static:F" >"$binfmt/register"
    echo "registered /usr/bin/$name-static for $1 executables"
}

# debian_sources SUITE: the apt sources file that the trees made with mmdebstrap take their
# packages from: PAGE_SCOPE_SYSROOT_SOURCES, or the host's own when it names the suite.
debian_sources() {
    local candidate
    if [[ -n ${PAGE_SCOPE_SYSROOT_SOURCES:-} ]]; then
        echo "$PAGE_SCOPE_SYSROOT_SOURCES"
        return 0
    fi
    for candidate in /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list; do
        if [[ -s "$candidate" ]] && grep -q "$1" "$candidate"; then
            echo "$candidate"
            return 0
        fi
    done
    echo "no Debian $1 sources found; set PAGE_SCOPE_SYSROOT_SOURCES" >&2
    return 1
}

# claim_tree TOOL TREE STAMP TEXT: waits for another run that is making TREE (the lock beside it
# is held until the caller exits). Where the stamp file STAMP holds TEXT, prints TREE and exits;
# otherwise returns for the caller to make it, as root (exits 1 when not root).
claim_tree() {
    mkdir -p "$(dirname "$2")"
    exec 9>"$2.lock"
    flock 9
    if [[ -f "$3" && "$(cat "$3")" == "$4" ]]; then
        echo "$1: reusing $2" >&2
        echo "$2"
        exit 0
    fi
    if [[ $(id -u) -ne 0 ]]; then
        echo "$1: $2 is missing or out of date; run as root to make it" >&2
        exit 1
    fi
}

# shellcheck shell=bash
# Helpers shared by build-arm64.sh and test-arm64.sh; sourced, not run.
# (Packages are installed by tools/install-dependencies.sh.)

# ensure_arm64_binfmt: registers qemu for arm64 executables with the kernel, so that an arm64
# program that starts another arm64 program (the tests start the viewer) works under emulation.
# The F flag makes the kernel keep the emulator open, so it also works in other mount
# namespaces.
ensure_arm64_binfmt() {
    local binfmt=/proc/sys/fs/binfmt_misc
    [[ -e $binfmt/qemu-aarch64 ]] && return 0
    if [[ ! -e $binfmt/register ]]; then
        mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
    fi
    if [[ -e $binfmt/qemu-aarch64 ]]; then
        return 0
    fi
    if [[ ! -w $binfmt/register ]]; then
        echo "cannot register qemu-aarch64 with binfmt_misc: $binfmt is not writable" >&2
        return 1
    fi
    # Same magic and mask as Debian's qemu-user-static, pointing at the static emulator.
    local magic='\x7f\x45\x4c\x46\x02\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\xb7\x00'
    local mask='\xff\xff\xff\xff\xff\xff\xff\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-aarch64:M::${magic}:${mask}:/usr/bin/qemu-aarch64-static:F" >"$binfmt/register"
    echo "registered /usr/bin/qemu-aarch64-static for arm64 executables"
}

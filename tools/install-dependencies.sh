#!/usr/bin/env bash
# Installs the Debian 12 packages that page-scope needs, by group (as root):
#   tools/install-dependencies.sh [GROUP...]      default: build test
#     build    compiler, CMake, Qt 5 (with its SVG module) and Poppler development files, the font
#     test     a virtual X screen, real input, the viewer script's screenshot, Mesa's software
#              OpenGL driver for the viewer on eglfs over X, Python for the package test,
#              systemd-analyze for the boot service's check, what cpack needs for the
#              package test, and qemu's PC emulator and mmdebstrap for the machine that boots
#              into the viewer
#     cross    the armhf and arm64 cross compilers, mmdebstrap for their sysroots (Qt 5 and
#              Poppler come from there; mmdebstrap needs arch-test for a foreign architecture,
#              which it only recommends), the host's Qt tools, qemu's user-mode emulator, which
#              runs ARM build steps and tests, and its ARM system emulator for the armhf machine
#              that boots into the viewer
#     package  what cpack and lintian need to make and check the Debian packages
#     bench    Callgrind, for the benchmark's instruction counts
# Idempotent: only missing packages are installed, and the package lists are refreshed only when
# something is missing.
set -euo pipefail

declare -A groups=(
    [build]="cmake g++ make pkg-config qtbase5-dev qtbase5-dev-tools libpoppler-qt5-dev
             libqt5svg5-dev fonts-dejavu-core"
    [test]="xvfb xauth xdotool imagemagick libgl1-mesa-dri python3 systemd file dpkg-dev
            qemu-system-x86 mmdebstrap"
    [cross]="cmake make pkg-config file dpkg-dev mmdebstrap arch-test qemu-user-static
             qemu-system-arm qtbase5-dev-tools g++-arm-linux-gnueabihf g++-aarch64-linux-gnu"
    [package]="file dpkg-dev lintian"
    [bench]="valgrind"
)

(($# > 0)) || set -- build test
packages=()
for group in "$@"; do
    if [[ -z ${groups[$group]:-} ]]; then
        echo "install-dependencies: unknown group '$group' (${!groups[*]})" >&2
        exit 2
    fi
    read -r -a listed <<<"${groups[$group]//$'\n'/ }"
    packages+=("${listed[@]}")
done

# A package counts as installed when its native instance is, or its architecture-independent one.
native=$(dpkg --print-architecture)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Architecture} ${Status}\n' "$package" 2>/dev/null |
        grep -qE "^($native|all) install ok installed$"; then
        [[ " ${missing[*]} " == *" $package "* ]] || missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "install-dependencies: all packages of $* are installed"
    exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
    echo "install-dependencies: missing packages: ${missing[*]}" >&2
    echo "install-dependencies: run this script as root to install them" >&2
    exit 1
fi

echo "install-dependencies: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs the Debian 12 packages that page-scope needs to build, run and test.
# Run as root. Idempotent: only missing packages are installed, and the package lists
# are refreshed only when something is missing.
set -euo pipefail

packages=(
    # build
    cmake g++ make pkg-config
    qtbase5-dev qtbase5-dev-tools
    libpoppler-qt5-dev
    # run time: the SVG icon plugin and the "DejaVu Sans" font
    libqt5svg5
    fonts-dejavu-core
    # tests and end-to-end runs: a virtual X screen, real input, and the viewer script's screenshot
    xvfb xauth xdotool imagemagick python3
    # the boot service check (systemd-analyze verify)
    systemd
)

# A package counts as installed when its native (or architecture-independent) instance is;
# a foreign-architecture instance, as for cross-building, does not count.
native=$(dpkg --print-architecture)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Architecture} ${Status}\n' "$package" 2>/dev/null |
        grep -qE "^($native|all) install ok installed$"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]} == 0)); then
    echo "install-dependencies: all ${#packages[@]} packages are installed"
    exit 0
fi

if [[ $(id -u) -ne 0 ]]; then
    echo "install-dependencies: missing packages: ${missing[*]}" >&2
    echo "install-dependencies: run this script as root to install them" >&2
    exit 1
fi

echo "install-dependencies: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs what the build and the tests need, with apt-get, when it is missing.
# Usage: scripts/setup.sh [native|all]   (default: all)
#   native: the Linux build; all: also the fuzzers (clang) and the Windows
#   build with its Wine and Xorg test environment.
set -euo pipefail

scope=${1:-all}

# edid-decode: the reference the EDID decoder's native tests compare with;
# librsvg2-bin: rsvg-convert, which draws the desktop picture in the tests.
packages=(cmake ninja-build g++ make pkgconf libgtest-dev libbenchmark-dev nlohmann-json3-dev binutils
    python3 python3-pytest python3-pip python3-venv unicode-data edid-decode librsvg2-bin)
# promtool, which checks the metrics of videoports --prometheus; without its
# recommended node exporter, which the tests do not need.
lean_packages=(prometheus)
# x11-utils: xprop, which sets the root window's _NET_WORKAREA in the Wine
# desktop test.
if [[ $scope == all ]]; then
    packages+=(clang libclang-rt-14-dev
        g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 unzip
        xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils x11-utils)
fi

# missing PACKAGE...: the packages of the list not installed yet.
missing() {
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            echo "$package"
        fi
    done
}
mapfile -t missing < <(missing "${packages[@]}")
mapfile -t missing_lean < <(missing "${lean_packages[@]}")

if ((${#missing[@]} + ${#missing_lean[@]})); then
    if [[ $(id -u) -ne 0 ]]; then
        echo "setup: missing packages: ${missing[*]} ${missing_lean[*]}; run this script as root to install them" >&2
        exit 1
    fi
    echo "setup: installing ${missing[*]} ${missing_lean[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    if ((${#missing[@]})); then
        apt-get install -y -qq "${missing[@]}"
    fi
    if ((${#missing_lean[@]})); then
        apt-get install -y -qq --no-install-recommends "${missing_lean[@]}"
    fi
fi

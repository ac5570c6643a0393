#!/usr/bin/env bash
# Installs what the build and the tests need, with apt-get, when it is missing.
# Usage: scripts/setup.sh [native|all]   (default: all)
set -euo pipefail

scope=${1:-all}

packages=(cmake g++ make libgtest-dev nlohmann-json3-dev binutils)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if ((${#missing[@]})); then
    if [[ $(id -u) -ne 0 ]]; then
        echo "setup: missing packages: ${missing[*]}; run this script as root to install them" >&2
        exit 1
    fi
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
fi

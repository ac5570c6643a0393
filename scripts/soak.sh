#!/usr/bin/env bash
# The soak benchmark (not a test; it takes a few minutes):
#  1. natively, 100,000 refreshes of the stand-in's configuration, each with
#     every port's mode listing: time per refresh against the raw platform
#     calls, and the resident set at the start, after 1,000 and at the end;
#  2. under Wine with Xorg's dummy driver (root), 100 cycles of switching an
#     output off and on again, a refresh after each switch, checking that the
#     port count and every port's modes are consistent.
# Usage: scripts/soak.sh [REFRESHES [CYCLES]]   (defaults 100000 and 100)
#        scripts/soak.sh native|wine ...         only one of the two
set -euo pipefail
cd "$(dirname "$0")/.."

parts=(native wine)
if [[ ${1:-} == native || ${1:-} == wine ]]; then
    parts=("$1")
    shift
fi
refreshes=${1:-100000}
cycles=${2:-100}
jobs=$(nproc 2>/dev/null || echo 2)
echo "machine load: $(uptime)"

for part in "${parts[@]}"; do
    if [[ $part == native ]]; then
        scripts/setup.sh native >&2
        cmake --preset native >/dev/null
        cmake --build --preset native -j "$jobs" --target soak_bench >&2
        build/native/bin/soak_bench "$refreshes"
    else
        scripts/setup.sh all >&2
        cmake --preset windows >/dev/null
        cmake --build --preset windows -j "$jobs" --target wine_e2e_host >&2
        VPI_SOAK_CYCLES=$cycles tests/wine/with-xorg-dummy.sh tests/wine/check-e2e.sh soak \
            cmake/wine-run.sh build/windows/wine-prefix-x11 build/windows/bin/wine_e2e_host.exe
    fi
done
echo "machine load: $(uptime)"

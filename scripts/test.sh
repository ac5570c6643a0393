#!/usr/bin/env bash
# Sets up the machine, then configures, builds and runs every test: the native
# build, the address and thread sanitizer builds (the latter only the C
# interface's watches), short fuzzing runs, and the Windows build under Wine
# (with Xorg's dummy driver for the tests on several outputs). Ends with
# the time each preset took to configure, build and test, and the total.
#
# Compiling keeps both cores busy; the Wine tests mostly wait (for Wine to
# start, for Xorg, for display changes). So the Windows build comes first,
# and its tests run in the background while the Linux presets build and run
# theirs; Wine's prefixes, which take 15-50 s to create, are made in the
# background from the start. The Windows tests' output is shown when they end.
set -euo pipefail
cd "$(dirname "$0")/.."

start=$SECONDS
scripts/setup.sh all

jobs=$(nproc 2>/dev/null || echo 2)
# Wine tests wait far more than they compute: more of them at once.
wine_jobs=$((jobs * 2))
logs=build/test-logs
mkdir -p "$logs"

declare -A took
background=()
stop_background() {
    local pid
    for pid in "${background[@]}"; do
        kill -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true
    done
}
trap stop_background EXIT

# step PRESET STEP COMMAND...: runs the command and notes its time.
step() {
    local preset=$1 name=$2 begin=$SECONDS status=0
    shift 2
    "$@" || status=$?
    took[$preset.$name]=$((SECONDS - begin))
    return "$status"
}

configure_and_build() {
    local preset=$1
    echo "=== $preset ==="
    step "$preset" configure cmake --preset "$preset" >/dev/null
    step "$preset" build cmake --build --preset "$preset" -j "$jobs"
}

status=0

# The prefixes of the Windows tests: one shared by the tests without X, one
# for the tests on Xorg (tests/wine, tests/c_api).
set -m # each background job in a process group of its own, to stop it whole
for prefix in build/windows/wine-prefix build/windows/wine-prefix-x11; do
    cmake/wine-run.sh --prefix "$prefix" --init >"$logs/$(basename "$prefix").log" 2>&1 &
    background+=($!)
done

configure_and_build windows
(
    begin=$SECONDS status=0
    ctest --preset windows -j "$wine_jobs" >"$logs/windows.log" 2>&1 || status=$?
    echo $((SECONDS - begin)) >"$logs/windows.seconds"
    exit "$status"
) &
windows_tests=$!
background+=("$windows_tests")
set +m

for preset in native asan tsan fuzz; do
    configure_and_build "$preset"
    step "$preset" test ctest --preset "$preset" -j "$jobs" || status=1
done

echo "=== windows (tests, run in the background since the Windows build) ==="
wait "$windows_tests" || status=1
took[windows.test]=$(cat "$logs/windows.seconds" 2>/dev/null || echo -)
cat "$logs/windows.log"

echo
echo "=== time (seconds) ==="
printf '%-8s %10s %6s %5s\n' preset configure build test
for preset in windows native asan tsan fuzz; do
    printf '%-8s %10s %6s %5s\n' "$preset" "${took[$preset.configure]:--}" \
        "${took[$preset.build]:--}" "${took[$preset.test]:--}"
done
echo "(the Windows tests ran alongside the native, asan, tsan and fuzz presets)"
total=$((SECONDS - start))
printf 'total: %d s (%d min %d s)\n' "$total" $((total / 60)) $((total % 60))
exit $status

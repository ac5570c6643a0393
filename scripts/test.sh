#!/usr/bin/env bash
# Sets up the machine, then configures, builds and runs every test: the native
# build, the sanitizer build, short fuzzing runs, and the Windows build under
# Wine (with Xorg's dummy driver for the tests on several outputs).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh all

jobs=$(nproc 2>/dev/null || echo 2)
status=0
for preset in native asan fuzz windows; do
    echo "=== $preset ==="
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs" || status=1
done
exit $status

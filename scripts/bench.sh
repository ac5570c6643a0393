#!/usr/bin/env bash
# Builds the native preset and prints the benchmarks' figures. Arguments go
# to each benchmark program (for example --benchmark_filter=refresh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh native >&2
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc 2>/dev/null || echo 2)" --target array_bench enumeration_bench >&2
for bench in array_bench enumeration_bench; do
    build/native/bin/$bench "$@"
done

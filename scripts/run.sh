#!/usr/bin/env bash
# Sets up the machine, builds the native library and runs the videoports
# program on the default configuration. Arguments are passed to videoports.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh native >&2
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc 2>/dev/null || echo 2)" --target videoports >&2
exec build/native/bin/videoports "$@"

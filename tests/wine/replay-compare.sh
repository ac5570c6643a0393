#!/usr/bin/env bash
# Replays a recorded display configuration with a videoports built on the
# stand-in platform and compares its JSON, byte for byte, with what
# videoports.exe printed live on the machine that was recorded.
#
#   replay-compare.sh RECORDING EXPECTED_JSON VIDEOPORTS [ARGS...]
#
# VIDEOPORTS [ARGS...] is the command that runs the program: the native
# videoports, or the Windows build's videoports_standin.exe through
# cmake/wine-run.sh. It runs in the recording's folder and is given the
# recording by its bare file name, which reads the same on both systems.
set -euo pipefail

if [[ $# -lt 3 ]]; then
    echo "usage: $0 RECORDING EXPECTED_JSON VIDEOPORTS [ARGS...]" >&2
    exit 2
fi
recording=$1
expected=$2
shift 2

for file in "$recording" "$expected"; do
    if [[ ! -r $file ]]; then
        echo "FAIL: cannot read $file" >&2
        exit 1
    fi
done
expected=$(cd "$(dirname "$expected")" && pwd)/$(basename "$expected")

work=$(mktemp -d "${TMPDIR:-/tmp}/vpi-replay.XXXXXX")
trap 'rm -rf "$work"' EXIT

status=0
(cd "$(dirname "$recording")" &&
    VPI_DISPLAY_CONFIG=$(basename "$recording") "$@" --json) >"$work/replay.json" \
    2>"$work/replay.err" || status=$?
if ((status != 0)); then
    echo "FAIL: videoports --json on $recording exited with $status:" >&2
    cat "$work/replay.err" >&2
    exit 1
fi
if ! cmp -s "$work/replay.json" "$expected"; then
    echo "FAIL: the replay of $recording differs from $expected:" >&2
    diff -u "$expected" "$work/replay.json" | head -40 >&2 || true
    exit 1
fi
echo "replay of $(basename "$recording") equals $(basename "$expected")" \
    "($(grep -c '"index":' "$expected") ports)"

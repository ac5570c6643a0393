#!/usr/bin/env bash
# Replays a recorded display configuration with a videoports built on the
# stand-in platform and compares its JSON, byte for byte but for the source it
# names, with what videoports.exe printed live on the machine that was
# recorded.
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
name=$(basename "$recording")

work=$(mktemp -d "${TMPDIR:-/tmp}/vpi-replay.XXXXXX")
trap 'rm -rf "$work"' EXIT

status=0
(cd "$(dirname "$recording")" && VPI_DISPLAY_CONFIG=$name "$@" --json) \
    >"$work/replay.json" 2>"$work/replay.err" || status=$?
if ((status != 0)); then
    echo "FAIL: videoports --json on $recording exited with $status:" >&2
    cat "$work/replay.err" >&2
    exit 1
fi
# Each names its source on its second line: the live one the system, the
# replay its recording. Everything else is compared byte for byte.
live_source=$(sed -n 2p "$expected")
replay_source=$(sed -n 2p "$work/replay.json")
name_json=$(python3 -c 'import json, sys; print(json.dumps(sys.argv[1]))' "$name")
if [[ $live_source != '  "source": "system",' ]]; then
    echo "FAIL: $expected does not name the system as its source: $live_source" >&2
    exit 1
fi
if [[ $replay_source != "  \"source\": $name_json," ]]; then
    echo "FAIL: the replay does not name $name as its source: $replay_source" >&2
    exit 1
fi
sed 2d "$expected" >"$work/expected.rest"
sed 2d "$work/replay.json" >"$work/replay.rest"
if ! cmp -s "$work/replay.rest" "$work/expected.rest"; then
    echo "FAIL: the replay of $recording differs from $expected:" >&2
    diff -u "$expected" "$work/replay.json" | head -40 >&2 || true
    exit 1
fi
echo "replay of $name equals $(basename "$expected")" \
    "($(grep -c '"index":' "$expected") ports)"

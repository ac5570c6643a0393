#!/usr/bin/env bash
# Replays a recorded display configuration with the native videoports and
# compares its JSON, byte for byte but for the source it names, with what
# videoports.exe printed live on the machine that was recorded.
#
#   replay-compare.sh NATIVE_VIDEOPORTS RECORDING EXPECTED_JSON
set -euo pipefail

if [[ $# -ne 3 ]]; then
    echo "usage: $0 NATIVE_VIDEOPORTS RECORDING EXPECTED_JSON" >&2
    exit 2
fi
native=$1
recording=$2
expected=$3

if [[ ! -x $native ]]; then
    echo "FAIL: the native videoports is not at $native: build the native preset first" \
        "(cmake --preset native && cmake --build --preset native), or point" \
        "VPI_NATIVE_VIDEOPORTS at it" >&2
    exit 1
fi
for file in "$recording" "$expected"; do
    if [[ ! -r $file ]]; then
        echo "FAIL: cannot read $file" >&2
        exit 1
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vpi-replay.XXXXXX")
trap 'rm -rf "$work"' EXIT

status=0
VPI_DISPLAY_CONFIG=$recording "$native" --json >"$work/replay.json" 2>"$work/replay.err" ||
    status=$?
if ((status != 0)); then
    echo "FAIL: native videoports --json on $recording exited with $status:" >&2
    cat "$work/replay.err" >&2
    exit 1
fi
# Each names its source on its second line: the live one the system, the
# replay its recording. Everything else is compared byte for byte.
live_source=$(sed -n 2p "$expected")
replay_source=$(sed -n 2p "$work/replay.json")
recording_json=$(python3 -c 'import json, sys; print(json.dumps(sys.argv[1]))' "$recording")
if [[ $live_source != '  "source": "system",' ]]; then
    echo "FAIL: $expected does not name the system as its source: $live_source" >&2
    exit 1
fi
if [[ $replay_source != "  \"source\": $recording_json," ]]; then
    echo "FAIL: the replay does not name $recording as its source: $replay_source" >&2
    exit 1
fi
sed 2d "$expected" >"$work/expected.rest"
sed 2d "$work/replay.json" >"$work/replay.rest"
if ! cmp -s "$work/replay.rest" "$work/expected.rest"; then
    echo "FAIL: the replay of $recording differs from $expected:" >&2
    diff -u "$expected" "$work/replay.json" | head -40 >&2 || true
    exit 1
fi
echo "replay of $(basename "$recording") equals $(basename "$expected")" \
    "($(grep -c '"index":' "$expected") ports)"

#!/usr/bin/env bash
# Runs the C test's dump and the C++ reference on the same configuration and
# fails unless they print the same text (and at least one port).
#
#   compare-dumps.sh [--outputs N] C_TEST REFERENCE [LAUNCHER...]
#
# LAUNCHER (such as "wine-run.sh --prefix DIR") runs both programs. With
# --outputs, the Xorg dummy server in DISPLAY first gets exactly N outputs
# switched on (tests/wine/xrandr-outputs.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

outputs=
if [[ ${1:-} == --outputs ]]; then
    outputs=$2
    shift 2
fi
c_test=$1 reference=$2
shift 2
work=$(mktemp -d "${TMPDIR:-/tmp}/vpi-c-api.XXXXXX")
trap 'rm -rf "$work"' EXIT

if [[ -n $outputs ]]; then
    "$here/../wine/xrandr-outputs.sh" set "$outputs"
    # A Wine session still running from an earlier test may hold the old list
    # of outputs (see check-probe-outputs.sh): the launcher's prefix starts
    # afresh, and stops again when the comparison ends.
    "$@" --stop
    trap '"$@" --stop; rm -rf "$work"' EXIT
fi

"$@" "$c_test" dump | tr -d '\r' >"$work/c.txt"
"$@" "$reference" | tr -d '\r' >"$work/cpp.txt"
if ! grep -q '^port ' "$work/c.txt"; then
    echo "compare-dumps: the snapshot has no port" >&2
    exit 1
fi
if [[ -n $outputs ]] && [[ $(grep -c '^port .* attached 1 ' "$work/c.txt") != "$outputs" ]]; then
    echo "compare-dumps: expected $outputs ports with a monitor" >&2
    cat "$work/c.txt" >&2
    exit 1
fi
if ! diff -u "$work/cpp.txt" "$work/c.txt"; then
    echo "compare-dumps: the C snapshot differs from the C++ interface (- C++, + C)" >&2
    exit 1
fi
echo "$(grep -c '^port ' "$work/c.txt") ports and $(grep -c '^mode ' "$work/c.txt") modes alike"

#!/usr/bin/env bash
# Run by with-xorg-dummy.sh: switches 1, 2, then 3 outputs on and checks that
# Wine reports one active path per output, display ids \\.\DISPLAY1..n, and
# on every device the sizes that its X output offers.
#
#   check-probe-outputs.sh WINE_RUN PREFIX PROBE_EXE
set -euo pipefail

wine_run=$1
prefix=$2
probe=$3
outputs=$(dirname "$0")/xrandr-outputs.sh

# Whatever happens, no Wine process of this prefix outlives the X server.
trap '"$wine_run" --prefix "$prefix" --stop' EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

for count in 1 2 3; do
    "$outputs" set "$count"
    # A Wine session takes the outputs from its desktop process, which learns
    # of a change only when it gets around to X's notification: a probe started
    # right after the switch may still see the old list. A new session reads
    # them from the server.
    "$wine_run" --prefix "$prefix" --stop
    report=$("$wine_run" --prefix "$prefix" "$probe" --modes | tr -d '\r')
    echo "--- $count output(s)"
    grep -Ev '^(mode|device_mode) ' <<<"$report"

    grep -qx "query rc=0 paths=$count modes=$((2 * count))" <<<"$report" ||
        fail "$count outputs: expected $count paths"
    for ((i = 0; i < count; ++i)); do
        grep -q "^path $i .* flags=0x1 " <<<"$report" || fail "path $i is not active"
        grep -qF "source_name $i rc=0 name=\\\\.\\DISPLAY$((i + 1))" <<<"$report" ||
            fail "path $i: display id is not \\\\.\\DISPLAY$((i + 1))"
    done
    devices=$(grep -c '^device ' <<<"$report" || true)
    [[ $devices -eq $count ]] || fail "$count outputs: $devices devices listed, not $count"
    # Each device offers exactly the sizes that its X output offers.
    for ((i = 0; i < count; ++i)); do
        wine_sizes=$(DEVICE="\\\\.\\DISPLAY$((i + 1))" awk \
            '$1 == "device_mode" && $2 == ENVIRON["DEVICE"] { sub(/@.*/, "", $3); print $3 }' \
            <<<"$report" | sort -u)
        x_sizes=$(xrandr --query | awk -v name="DUMMY$i" \
            '/^[^ ]/ { current = $1; next } current == name { print $1 }' | sort -u)
        [[ -n $wine_sizes && $wine_sizes == "$x_sizes" ]] ||
            fail "DISPLAY$((i + 1)): sizes differ from DUMMY$i's:" \
                "$(diff <(echo "$wine_sizes") <(echo "$x_sizes") | head -5)"
    done
done

if ((failures)); then
    exit 1
fi
echo "all checks passed"

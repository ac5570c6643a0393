#!/usr/bin/env bash
# Switches the dummy driver's outputs on and off, on the display in DISPLAY
# (one that with-xorg-dummy.sh started).
#
#   xrandr-outputs.sh on N [WxH]   connect DUMMYN at WxH (default 1920x1080),
#                                  right of the rightmost connected output
#   xrandr-outputs.sh off N        disconnect DUMMYN
#   xrandr-outputs.sh count        print how many outputs have a mode set
#   xrandr-outputs.sh set K [WxH]  leave exactly DUMMY0..DUMMY(K-1) switched on
set -euo pipefail

if [[ -z ${DISPLAY:-} ]]; then
    echo "xrandr-outputs: DISPLAY is not set" >&2
    exit 2
fi

# Outputs that currently show a mode ("DUMMYn connected [primary] WxH+X+Y").
active_outputs() {
    xrandr --query | awk '$1 ~ /^DUMMY[0-9]+$/ && $2 == "connected" {
        for (i = 3; i <= NF; ++i) if ($i ~ /^[0-9]+x[0-9]+\+/) { print $1; break } }'
}

rightmost_output() {
    xrandr --query | awk '$1 ~ /^DUMMY[0-9]+$/ && $2 == "connected" {
        for (i = 3; i <= NF; ++i) if ($i ~ /^[0-9]+x[0-9]+\+/) {
            split($i, g, /[x+]/); right = g[1] + g[3]
            if (best == "" || right > max) { max = right; best = $1 } } }
        END { print best }'
}

switch_on() {
    local output=DUMMY$1 mode=${2:-1920x1080} anchor
    anchor=$(rightmost_output)
    # --addmode fails when the output already has the mode; that is fine.
    xrandr --addmode "$output" "$mode" 2>/dev/null || true
    if [[ -n $anchor && $anchor != "$output" ]]; then
        xrandr --output "$output" --mode "$mode" --right-of "$anchor"
    else
        xrandr --output "$output" --mode "$mode"
    fi
}

switch_off() {
    xrandr --output "DUMMY$1" --off
}

# A full query makes the server probe its outputs again. Until then, clients
# that read the current resources without probing (Wine does) still see the
# output's old connection state.
probe_outputs() {
    xrandr --query >/dev/null
}

case ${1:-} in
on)
    switch_on "${2:?output number}" "${3:-}"
    probe_outputs
    ;;
off)
    switch_off "${2:?output number}"
    probe_outputs
    ;;
count)
    active_outputs | wc -l
    ;;
set)
    want=${2:?output count}
    for ((i = 15; i >= want; --i)); do
        if active_outputs | grep -qx "DUMMY$i"; then
            switch_off "$i"
        fi
    done
    for ((i = 1; i < want; ++i)); do
        if ! active_outputs | grep -qx "DUMMY$i"; then
            switch_on "$i" "${3:-}"
        fi
    done
    probe_outputs
    ;;
*)
    echo "usage: $0 on N [WxH] | off N | count | set K [WxH]" >&2
    exit 2
    ;;
esac

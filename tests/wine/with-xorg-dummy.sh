#!/usr/bin/env bash
# Starts Xorg with the dummy video driver on a free display number, runs
# CMD with DISPLAY and VPI_WINE_DISPLAY set to that display, and stops the
# server afterwards, whatever happens. Exits with CMD's status.
#
#   with-xorg-dummy.sh CMD [ARGS...]
#
# The server has 16 outputs, DUMMY0 connected and DUMMY1..DUMMY15 not; see
# xrandr-outputs.sh to switch them. Needs root (Xorg without a console) and
# xserver-xorg-core, xserver-xorg-video-dummy, x11-xserver-utils.
# VPI_XORG_FIRST_DISPLAY (default 20) is where the search for a free number
# starts; VPI_XORG_KEEP_LOG=1 leaves the server's log in place.
set -euo pipefail

if [[ $# -eq 0 ]]; then
    echo "usage: $0 CMD [ARGS...]" >&2
    exit 2
fi
for tool in Xorg xrandr; do
    if ! command -v "$tool" >/dev/null; then
        echo "with-xorg-dummy: $tool not found (scripts/setup.sh installs it)" >&2
        exit 1
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vpi-xorg.XXXXXX")
xorg_pid=
display=

stop_server() {
    if [[ -n $xorg_pid ]] && kill -0 "$xorg_pid" 2>/dev/null; then
        kill -TERM "$xorg_pid" 2>/dev/null || true
        wait "$xorg_pid" 2>/dev/null || true
    fi
    xorg_pid=
}
# shellcheck disable=SC2317 # run from the trap
cleanup() {
    local status=$?
    stop_server
    if [[ ${VPI_XORG_KEEP_LOG:-0} == 1 ]]; then
        echo "with-xorg-dummy: server log kept in $work/Xorg.log" >&2
    else
        rm -rf "$work"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

cat >"$work/xorg.conf" <<'EOF'
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "mon"
  HorizSync 5.0 - 1000.0
  VertRefresh 5.0 - 200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "mon"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 8192 4096
  EndSubSection
EndSection
EOF
# An empty snippet directory: the machine's own xorg.conf.d stays out.
mkdir -p "$work/xorg.conf.d"

# If this script dies without running its trap (SIGKILL from a test driver),
# the server gets SIGTERM from the kernel.
launcher=()
if command -v setpriv >/dev/null && setpriv --pdeathsig TERM true 2>/dev/null; then
    launcher=(setpriv --pdeathsig TERM)
fi

display_in_use() {
    local n=$1
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]]
}

# Waits until the server answers, it exits, or about 20 s pass. The polling
# interval only paces the loop; nothing depends on its length.
wait_until_ready() {
    local attempt
    for ((attempt = 0; attempt < 200; ++attempt)); do
        if ! kill -0 "$xorg_pid" 2>/dev/null; then
            return 1
        fi
        if DISPLAY=$display xrandr --query >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

first=${VPI_XORG_FIRST_DISPLAY:-20}
for ((n = first; n < first + 40; ++n)); do
    if display_in_use "$n"; then
        continue
    fi
    display=:$n
    "${launcher[@]}" Xorg "$display" -noreset -nolisten tcp -config "$work/xorg.conf" \
        -configdir "$work/xorg.conf.d" -logfile "$work/Xorg.log" \
        >"$work/Xorg.out" 2>&1 </dev/null &
    xorg_pid=$!
    if wait_until_ready; then
        break
    fi
    stop_server
    # Someone else took the number between the check and the start: next one.
    if grep -q "already active\|Cannot establish any listening sockets" \
        "$work/Xorg.out" "$work/Xorg.log" 2>/dev/null; then
        display=
        continue
    fi
    echo "with-xorg-dummy: Xorg on $display did not start; its log:" >&2
    cat "$work/Xorg.out" "$work/Xorg.log" >&2 2>/dev/null || true
    exit 1
done
if [[ -z $xorg_pid ]]; then
    echo "with-xorg-dummy: no free display number from :$first to :$((first + 39))" >&2
    exit 1
fi

export DISPLAY=$display
export VPI_WINE_DISPLAY=$display
status=0
"$@" || status=$?
exit "$status"

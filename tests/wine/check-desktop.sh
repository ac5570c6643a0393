#!/usr/bin/env bash
# The desktop as the library tells it under Wine, against what X and the Wine
# prefix were given: run by with-xorg-dummy.sh (which sets VPI_WINE_DISPLAY),
# in PREFIX, a prefix of its own whose Wine processes are ended on exit.
#
#   check-desktop.sh WINE_RUN PREFIX HOST_EXE
#
# 3 outputs, the middle one the X primary; a _NET_WORKAREA on the root window
# and LogPixels = 144 in the prefix, both set before the Wine session starts.
# In a fresh desktop_e2e_host.exe, each port in use has the X output's
# rectangle relative to the X primary as its bounds, that rectangle clipped
# by the work area as its work area, 144 DPI from GetDpiForMonitor, unknown
# advanced colour (Wine answers 87) without a log line, and exactly one port,
# the X primary's, is primary. Then the same in a fresh Wine session after
# xrandr --primary made another output the primary.
set -euo pipefail

if [[ $# -ne 3 ]]; then
    echo "usage: $0 WINE_RUN PREFIX HOST_EXE" >&2
    exit 2
fi
wine_run=$1 prefix=$2 host=$3
here=$(dirname "$0")
outputs=$here/xrandr-outputs.sh
if [[ -z ${VPI_WINE_DISPLAY:-} ]]; then
    echo "$0: needs the X server of with-xorg-dummy.sh" >&2
    exit 2
fi
for tool in xprop python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "$0: $tool not found (scripts/setup.sh installs it)" >&2
        exit 1
    fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/vpi-desktop.XXXXXX")
trap '"$wine_run" --prefix "$prefix" --stop; rm -rf "$work"' EXIT

# x, y, width, height: a bar of 24 pixels at the top of the root window, and
# its bottom 56 pixels off too.
workarea="0, 24, 4224, 1000"
dpi=144
failures=0

# Runs a fresh host (a running Wine process keeps the layout of its start)
# until it lists 3 ports, and compares its lines with xrandr --query.
check() {
    local what=$1 attempt
    for ((attempt = 0; attempt < 50; ++attempt)); do
        # At the info threshold: what the library logs above debug shows.
        TKL_LOG_PRIORITY=2 "$wine_run" --prefix "$prefix" "$host" >"$work/host.out" \
            2>"$work/host.err" || true
        grep -q "^ports count=3 " "$work/host.out" && break
        sleep 0.2
    done
    xrandr --query >"$work/xrandr.txt"
    echo "--- $what"
    tr -d '\r' <"$work/host.out"
    if ! python3 - "$work/host.out" "$work/xrandr.txt" "$workarea" "$dpi" <<'PYTHON'; then
import re, sys
host, query = (open(p, encoding="utf-8").read().replace("\r", "") for p in sys.argv[1:3])
wx, wy, ww, wh = (int(v) for v in sys.argv[3].split(","))
dpi = int(sys.argv[4])
outputs = [(m[1] == "primary ", int(m[4]), int(m[5]), int(m[2]), int(m[3]))
           for m in re.finditer(r"^\S+ connected (primary )?(\d+)x(\d+)\+(\d+)\+(\d+)", query, re.M)]
primary = [o for o in outputs if o[0]]
assert len(primary) == 1, f"X has {len(primary)} primary outputs"
ox, oy = primary[0][1:3]
def expected(is_primary, x, y, w, h):
    bounds = (x, y, x + w, y + h)
    work = (max(x, wx), max(y, wy), min(x + w, wx + ww), min(y + h, wy + wh))
    shift = lambda r: (r[0] - ox, r[1] - oy, r[2] - ox, r[3] - oy)
    return (int(is_primary), shift(bounds), shift(work))
want = sorted(expected(*o) for o in outputs)
ports = [dict(kv.split("=", 1) for kv in line.split()[2:])
         for line in host.splitlines() if line.startswith("port ")]
rect = lambda text: tuple(int(v) for v in text.split(","))
have = sorted((int(p["primary"]), rect(p["bounds"]), rect(p["work"])) for p in ports)
assert have == want, f"the library tells {have}, X was given {want}"
assert sum(p["primary"] == "1" for p in ports) == 1, "not exactly one primary"
for p in ports:
    assert (p["dpi"], p["source"], p["scale"]) == (str(dpi), "effective", f"{dpi / 96:.2f}"), p
    assert p["color"] == "unknown", p
PYTHON
        echo "FAIL: $what: the library does not tell what X and the prefix were given" >&2
        failures=$((failures + 1))
    fi
    # The preferred-mode warning of each port; nothing else.
    if tr -d '\r' <"$work/host.err" | grep -v "^libVideoPortInfo WARNING 71 " | grep .; then
        echo "FAIL: $what: other lines on standard error" >&2
        failures=$((failures + 1))
    fi
}

"$outputs" set 3
for mode in 1024x768 1280x720; do
    for output in DUMMY0 DUMMY2; do
        xrandr --addmode "$output" "$mode" 2>/dev/null || true
    done
done
xrandr --output DUMMY0 --mode 1024x768 --pos 0x0 \
    --output DUMMY1 --mode 1920x1080 --pos 1024x0 --primary \
    --output DUMMY2 --mode 1280x720 --pos 2944x100
xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "$workarea"
xrandr --query >/dev/null
# Read when a session starts: set, then end the session that set it.
"$wine_run" --prefix "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
    /t REG_DWORD /d "$dpi" /f >/dev/null
"$wine_run" --prefix "$prefix" --stop
check "DUMMY1 primary, LogPixels $dpi, _NET_WORKAREA $workarea"

"$wine_run" --prefix "$prefix" --stop
xrandr --output DUMMY2 --primary
xrandr --query >/dev/null
check "DUMMY2 made primary, in a fresh Wine session"

if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"

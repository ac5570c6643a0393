#!/usr/bin/env bash
# The desktop as the library tells it under Wine, against what X and the
# prefix were given. Run by with-xorg-dummy.sh, in PREFIX, a prefix of its own.
#
#   check-desktop.sh WINE_RUN PREFIX HOST_EXE VIDEOPORTS_EXE
#
# 3 outputs, the middle one the X primary, a _NET_WORKAREA on the root window
# and LogPixels 144 in the prefix, set before the Wine session starts: each
# port in use has its X output's rectangle relative to the X primary as its
# bounds, that rectangle clipped by the work area as its work area, 144
# effective DPI and unknown colour, with no log line but the preferred-mode
# warnings, and only the X primary's port is primary. Then the same in a
# fresh session after xrandr --primary made another output the primary. And
# videoports.exe says the same in its JSON, and draws the 3 displays as a
# picture that rsvg-convert renders.
set -euo pipefail
wine_run=$1 prefix=$2 host=$3 videoports=$4
outputs=$(dirname "$0")/xrandr-outputs.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/vpi-desktop.XXXXXX")
trap '"$wine_run" --prefix "$prefix" --stop; rm -rf "$work"' EXIT
workarea="0, 24, 4224, 1000" # x, y, width, height
failures=0

# A fresh host (a Wine process keeps the layout of its start), once it lists
# the 3 ports, against xrandr --query.
check() {
    for ((attempt = 0; attempt < 50; ++attempt)); do
        TKL_LOG_PRIORITY=2 "$wine_run" --prefix "$prefix" "$host" >"$work/out" 2>"$work/err" || true
        grep -q "^ports count=3 " "$work/out" && break
        sleep 0.2
    done
    echo "--- $1"
    tr -d '\r' <"$work/out"
    xrandr --query >"$work/xrandr"
    python3 - "$work/out" "$work/xrandr" "$workarea" <<'PYTHON' || { echo "FAIL: $1" >&2; failures=$((failures + 1)); }
import re, sys
host, query = (open(p).read().replace("\r", "") for p in sys.argv[1:3])
wx, wy, ww, wh = (int(v) for v in sys.argv[3].split(","))
outputs = [(bool(m[1]), *map(int, m.group(4, 5, 2, 3)))
           for m in re.finditer(r"^\S+ connected (primary )?(\d+)x(\d+)\+(\d+)\+(\d+)", query, re.M)]
(ox, oy), = [(x, y) for primary, x, y, w, h in outputs if primary]
shift = lambda l, t, r, b: (l - ox, t - oy, r - ox, b - oy)
want = sorted((int(p), shift(x, y, x + w, y + h),
               shift(max(x, wx), max(y, wy), min(x + w, wx + ww), min(y + h, wy + wh)))
              for p, x, y, w, h in outputs)
ports = [dict(kv.split("=") for kv in l.split()[2:]) for l in host.splitlines() if l[:5] == "port "]
rect = lambda text: tuple(map(int, text.split(",")))
have = sorted((int(p["primary"]), rect(p["bounds"]), rect(p["work"])) for p in ports)
assert have == want, f"the library tells {have}, X was given {want}"
for p in ports:
    assert (p["dpi"], p["source"], p["scale"], p["color"]) == ("144", "effective", "1.50", "unknown"), p
PYTHON
    if tr -d '\r' <"$work/err" | grep -v "^libVideoPortInfo WARNING 71 " | grep .; then
        echo "FAIL: $1: other lines on standard error" >&2
        failures=$((failures + 1))
    fi
}

"$outputs" set 3
for output in DUMMY0 DUMMY2; do
    xrandr --addmode "$output" 1024x768 2>/dev/null || true
    xrandr --addmode "$output" 1280x720 2>/dev/null || true
done
xrandr --output DUMMY0 --mode 1024x768 --pos 0x0 --output DUMMY1 --mode 1920x1080 --pos 1024x0 \
    --primary --output DUMMY2 --mode 1280x720 --pos 2944x100
xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "$workarea"
xrandr --query >/dev/null
# Read when a session starts: set, then end the session that set it.
"$wine_run" --prefix "$prefix" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD \
    /d 144 /f >/dev/null
"$wine_run" --prefix "$prefix" --stop
check "DUMMY1 primary, LogPixels 144, _NET_WORKAREA $workarea"

# The report: each port in use has the host's work area, a scale of 150% and
# HDR unknown, one is primary; the picture has three displays and renders.
"$wine_run" --prefix "$prefix" "$videoports" --json >"$work/ports.json" 2>/dev/null
"$wine_run" --prefix "$prefix" "$videoports" --svg - >"$work/layout.svg" 2>/dev/null
python3 - "$work/ports.json" "$work/out" "$work/layout.svg" <<'PYTHON' ||
import json, re, sys
ports = [p for p in json.load(open(sys.argv[1]))["ports"] if p["current"]]
host = open(sys.argv[2]).read().replace("\r", "")
areas = sorted(tuple(map(int, m)) for m in re.findall(r"work=(-?\d+),(-?\d+),(-?\d+),(-?\d+)", host))
seen = sorted((c["workArea"]["x"], c["workArea"]["y"], c["workArea"]["x"] + c["workArea"]["width"],
               c["workArea"]["y"] + c["workArea"]["height"]) for c in (p["current"] for p in ports))
assert len(ports) == 3 and seen == areas, (seen, areas)
assert all(p["current"]["scale"] == 1.5 and p["current"]["hdr"] == "unknown" for p in ports)
assert sum(p["current"]["primary"] for p in ports) == 1
assert open(sys.argv[3]).read().count('<g class="display') == 3
PYTHON
    { echo "FAIL: videoports.exe does not report what the host reads" >&2; failures=$((failures + 1)); }
rsvg-convert "$work/layout.svg" -o "$work/layout.png" ||
    { echo "FAIL: the picture of 3 displays does not render" >&2; failures=$((failures + 1)); }

"$wine_run" --prefix "$prefix" --stop
xrandr --output DUMMY2 --primary
xrandr --query >/dev/null
check "DUMMY2 made primary, in a fresh Wine session"
((failures == 0)) && echo "all checks passed"

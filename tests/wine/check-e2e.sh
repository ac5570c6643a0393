#!/usr/bin/env bash
# End-to-end checks of the library on Wine's display-configuration operations.
# The X checks run on an Xorg server with the dummy driver, started by
# with-xorg-dummy.sh (which sets VPI_WINE_DISPLAY); their Wine processes run
# in PREFIX, a prefix of their own, and are ended on exit.
#
#   check-e2e.sh null-driver WINE_RUN PREFIX HOST_EXE VIDEOPORTS_EXE
#       no X server (Wine's null driver; PREFIX is shared, nothing is ended):
#       the one port Wine reports, through the host and videoports.exe.
#   check-e2e.sh ports  WINE_RUN PREFIX HOST_EXE
#       2, then 3 outputs, a fresh host process each: one port per output,
#       its display id, monitor and preferred-mode log line, and its modes
#       against the device's raw modes.
#   check-e2e.sh refresh WINE_RUN PREFIX HOST_EXE
#       one host process started on 3 outputs; one switched off, refresh():
#       2 ports; on again, refresh(): 3 ports, and the C runtime heap back to
#       the block count it had with those 3 ports before.
#   check-e2e.sh no-outputs WINE_RUN PREFIX HOST_EXE VIDEOPORTS_EXE
#       one host process started on 1 output; every output switched off
#       (Wine then reports no paths at all), refresh(): an empty list, and
#       videoports.exe lists no port with exit 0; DUMMY0 on again,
#       refresh(): 1 port.
#   check-e2e.sh watch WINE_RUN PREFIX HOST_EXE VIDEOPORTS_EXE
#       2 outputs: a mode set by the host through ChangeDisplaySettingsExW
#       wakes videoports.exe --watch (WM_DISPLAYCHANGE) to refresh; then
#       videoports.exe --watch --json --count 1 lists 2 ports and, DUMMY1
#       switched off, prints one line saying that port 1 went (Wine lists
#       active paths only), within a bounded wait, and exits 0.
#   check-e2e.sh soak WINE_RUN PREFIX HOST_EXE
#       one host process on 2 outputs; VPI_SOAK_CYCLES times (default 100)
#       DUMMY1 off, refresh(), then on again, refresh(), checking the ports
#       and their modes after each; prints the time per cycle and the live
#       heap blocks before and after (scripts/soak.sh, not a test).
#   check-e2e.sh layout WINE_RUN PREFIX VIDEOPORTS_EXE
#       3 outputs at other modes and places, the middle one primary (xrandr
#       --mode, --pos, --primary): in a fresh videoports.exe --json each port
#       in use has the size, place relative to the X primary and rate that
#       xrandr --query reports, exactly one is primary, and it is the X
#       primary; after one output moves, the same again, with the same keys.
#   check-e2e.sh vpi-watch WINE_RUN PREFIX VPI_TEST_EXE
#       2 outputs: a C host's watch (vpi_watch_start) that polls once a day
#       is woken by the message of a mode set through ChangeDisplaySettingsExW
#       and tells the primary's new mode; one polling every 200 ms tells
#       DUMMY1 switched off (port removed) and on again (port added, with
#       the same key); each stops cleanly.
#   check-e2e.sh edid WINE_RUN PREFIX HOST_EXE RECORDER_EXE
#       3 outputs at distinct sizes, two given different EDIDs of the corpus
#       (RandR's EDID property, set before the Wine session starts) and one
#       none: through the real SetupAPI, the host reads back exactly the
#       bytes set for each of the two and none for the third, and the
#       recorder records the same two.
#   check-e2e.sh record-replay WINE_RUN PREFIX RECORDER_EXE VIDEOPORTS_EXE STANDIN_VIDEOPORTS_EXE HOST_EXE
#       2 outputs: the recorder's file, replayed by the same build's
#       videoports on the stand-in platform, gives the JSON that
#       videoports.exe prints live. With VPI_E2E_KEEP=DIR
#       the recording and the live JSON are copied to DIR (to renew the
#       fixture).
set -euo pipefail

if [[ $# -lt 4 ]]; then
    echo "usage: $0 null-driver|ports|refresh|no-outputs|watch|soak|layout|vpi-watch|edid|record-replay WINE_RUN PREFIX EXE..." >&2
    exit 2
fi
mode=$1
wine_run=$2
prefix=$3
shift 3
here=$(dirname "$0")
outputs=$here/xrandr-outputs.sh
log_line='libVideoPortInfo WARNING 71 Unable to get preferred mode setting 50'

# At the default log threshold.
unset TKL_LOG_PRIORITY
work=$(mktemp -d "${TMPDIR:-/tmp}/vpi-e2e.XXXXXX")
if [[ $mode == null-driver ]]; then
    unset VPI_WINE_DISPLAY
    trap 'rm -rf "$work"' EXIT
else
    if [[ -z ${VPI_WINE_DISPLAY:-} ]]; then
        echo "$0: $mode needs the X server of with-xorg-dummy.sh" >&2
        exit 2
    fi
    # Whatever happens, no Wine process of this prefix outlives the X server.
    trap '"$wine_run" --prefix "$prefix" --stop; rm -rf "$work"' EXIT
fi

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# The line of a report that starts with WORD and INDEX.
line_of() {
    awk -v word="$2" -v index_="$3" '$1 == word && $2 == index_' <<<"$1"
}

# The ports part of a host report, for COUNT outputs.
check_ports() {
    local report=$1 count=$2 what=$3 i id port modes
    grep -qx "ports count=$count" <<<"$report" || fail "$what: not $count ports"
    for ((i = 0; i < count; ++i)); do
        id="\\\\.\\DISPLAY$((i + 1))"
        port=$(line_of "$report" port "$i")
        [[ $port == "port $i display=$id attached=1 connector=3 monitor=1 "* ]] ||
            fail "$what: port $i is not an attached DisplayPort on $id: $port"
        [[ $port == *" name=Display$((i + 1)) "*" monitor_display=$id "* ]] ||
            fail "$what: port $i: wrong monitor name or display id: $port"
        # Wine fails the preferred-mode request; the monitor has no mode.
        [[ $port == *" preferred=0x0@0/0" ]] ||
            fail "$what: port $i: the preferred mode is not 0x0@0/0: $port"
        modes=$(line_of "$report" modes "$i")
        [[ $modes =~ ^modes\ $i\ library=[1-9][0-9]*\ .*\ equal=yes$ ]] ||
            fail "$what: port $i: modes differ from the device's distinct raw modes: $modes"
    done
}

# The host's log: exactly one preferred-mode line per port and enumeration.
check_log() {
    local file=$1 expected=$2 what=$3 log lines other
    # Standard error is in text mode under Wine: CR LF.
    log=$(tr -d '\r' <"$file")
    lines=$(grep -cxF "$log_line" <<<"$log" || true)
    other=$(grep -vxF "$log_line" <<<"$log" | grep -c . || true)
    [[ $lines -eq $expected ]] ||
        fail "$what: $lines preferred-mode log lines, expected $expected"
    [[ $other -eq 0 ]] ||
        fail "$what: other lines on standard error: $(grep -vxF "$log_line" <<<"$log" | head -3)"
}

# Sends a command to the host process started with coproc; its answer goes
# to $reply.
ask() {
    local line
    reply=
    if [[ -z ${HOST[1]:-} ]]; then
        fail "the host has exited before '$1'"
        return 1
    fi
    echo "$1" >&"${HOST[1]}"
    while IFS= read -r -t 120 -u "${HOST[0]}" line; do
        if [[ $line == end ]]; then
            return 0
        fi
        reply+=$line$'\n'
    done
    fail "no answer to '$1' from the host"
    return 1
}

# Sets $blocks to the live block count of a steady report, after checking
# that three refreshes on an unchanged configuration left it unchanged.
steady_blocks() {
    local report=$1 count=$2 what=$3 a b c
    blocks=0
    if [[ ! $report =~ steady\ ok=1\ ports=$count\ blocks=([0-9]+),([0-9]+),([0-9]+)\ heapwalk=end ]]; then
        fail "$what: refresh failed or the heap could not be walked: $report"
        return
    fi
    a=${BASH_REMATCH[1]} b=${BASH_REMATCH[2]} c=${BASH_REMATCH[3]}
    [[ $a -eq $b && $b -eq $c ]] ||
        fail "$what: live heap blocks change over refreshes ($a, $b, $c): old ports not freed"
    blocks=$a
}

# Starts the host program; its standard error goes to $work/host.err.
start_host() {
    coproc HOST { "$wine_run" --prefix "$prefix" "$1" 2>"$work/host.err"; }
    # shellcheck disable=SC2153 # set by coproc
    host_pid=$HOST_PID
}

# Wine's own processes of the session (services, drivers) write to the
# session's log that wine-run.sh keeps, never to a program's standard error:
# a crash of one of Wine's drivers would otherwise read as the host's.
check_session_log() {
    local pid found=0
    for pid in $("$wine_run" --prefix "$prefix" --session-processes); do
        found=$((found + 1))
        [[ $(readlink "/proc/$pid/fd/2") == "$prefix.session.log" ]] ||
            fail "$(cat "/proc/$pid/comm") of the session writes to $(readlink "/proc/$pid/fd/2"), not to the session's log"
    done
    [[ $found -ge 2 ]] || fail "$found of Wine's own processes found for $prefix"
}

stop_host() {
    local status=0
    ask quit || return 0
    wait "$host_pid" || status=$?
    [[ $status -eq 0 ]] || fail "the host exited with $status"
}

# Waits until Wine, asked directly in the host's process, reports COUNT
# paths with modes, twice in a row: Wine's desktop process takes the X
# server's change into its registry some time after xrandr returns.
wait_for_outputs() {
    local count=$1 attempt previous=
    for ((attempt = 0; attempt < 150; ++attempt)); do
        ask platform || return 1
        if [[ ($reply =~ ^platform\ rc=0\ paths=$count\ raw=[1-9] ||
            ($count -eq 0 && $reply == $'platform rc=0 paths=0 raw=\n')) &&
            $reply == "$previous" ]]; then
            return 0
        fi
        previous=$reply
        sleep 0.1
    done
    fail "Wine does not report $count outputs; last: $reply"
    return 1
}

run_null_driver() {
    local host=$1 videoports=$2 status=0
    start_host "$host"
    wait_for_outputs 1
    ask ports
    echo -n "$reply"
    check_ports "$reply" 1 "null driver"
    ask steady
    echo -n "$reply"
    steady_blocks "$reply" 1 "null driver"
    stop_host
    check_log "$work/host.err" $((1 + 4)) "null driver"

    "$wine_run" --prefix "$prefix" "$videoports" --json >"$work/live.json" 2>"$work/live.err" ||
        status=$?
    [[ $status -eq 0 ]] || fail "videoports.exe --json exited with $status"
    [[ $(grep -c '"index":' "$work/live.json") -eq 1 ]] ||
        fail "videoports.exe --json does not show one port"
    grep -qF '"displayId": "\\\\.\\DISPLAY1"' "$work/live.json" ||
        fail "videoports.exe --json does not show DISPLAY1"
    grep -qF '"name": "Display1"' "$work/live.json" ||
        fail "videoports.exe --json does not show the monitor Display1"
    # One enumeration (factory() found a port) of one port.
    check_log "$work/live.err" 1 "videoports.exe"
}

run_ports() {
    local host=$1 count
    for count in 2 3; do
        "$outputs" set "$count"
        start_host "$host"
        wait_for_outputs "$count"
        ask ports
        echo "--- $count outputs"
        echo -n "$reply"
        check_ports "$reply" "$count" "$count outputs"
        stop_host
        # factory() enumerated once: one failing request per port.
        check_log "$work/host.err" "$count" "$count outputs"
    done
}

run_refresh() {
    local host=$1 with3 with2
    "$outputs" set 3
    start_host "$host"
    wait_for_outputs 3

    echo "--- started on 3 outputs"
    ask ports
    echo -n "$reply"
    check_ports "$reply" 3 "start"
    ask steady
    echo -n "$reply"
    steady_blocks "$reply" 3 "3 outputs"
    with3=$blocks

    echo "--- DUMMY2 off, refresh"
    "$outputs" off 2
    wait_for_outputs 2
    ask refresh
    echo -n "$reply"
    grep -qx "refresh ok=1 ports=2" <<<"$reply" || fail "after switching off: not 2 ports"
    ask ports
    check_ports "$reply" 2 "after switching off"
    ask steady
    echo -n "$reply"
    steady_blocks "$reply" 2 "2 outputs"
    with2=$blocks
    ((with2 < with3)) ||
        fail "fewer ports, but not fewer live heap blocks ($with2 with 2, $with3 with 3)"

    echo "--- DUMMY2 on, refresh"
    "$outputs" on 2
    wait_for_outputs 3
    ask refresh
    echo -n "$reply"
    grep -qx "refresh ok=1 ports=3" <<<"$reply" || fail "after switching on: not 3 ports"
    ask ports
    check_ports "$reply" 3 "after switching on"
    ask steady
    echo -n "$reply"
    steady_blocks "$reply" 3 "3 outputs again"
    [[ $blocks -eq $with3 ]] ||
        fail "3 outputs again: $blocks live heap blocks, $with3 before: old ports not freed"

    stop_host
    # Enumerations: factory(), then 4 per steady, 1 per refresh, on
    # 3, 3, 2, 2, 3, 3 ports.
    check_log "$work/host.err" $((3 + 4 * 3 + 2 + 4 * 2 + 3 + 4 * 3)) "refresh"
}

run_no_outputs() {
    local host=$1 videoports=$2 status=0
    "$outputs" set 1
    start_host "$host"
    wait_for_outputs 1
    ask ports
    check_ports "$reply" 1 "one output"

    echo "--- every output off, refresh"
    "$outputs" set 0
    wait_for_outputs 0
    ask refresh
    echo -n "$reply"
    grep -qx "refresh ok=1 ports=0" <<<"$reply" ||
        fail "with every output off: the refresh did not give an empty list"
    ask ports
    grep -qx "ports count=0" <<<"$reply" || fail "with every output off: ports are still listed"

    "$wine_run" --prefix "$prefix" "$videoports" --json >"$work/live.json" 2>"$work/live.err" ||
        status=$?
    [[ $status -eq 0 ]] || fail "videoports.exe --json exited with $status with every output off"
    [[ $(grep -c '"index":' "$work/live.json" || true) -eq 0 ]] ||
        fail "videoports.exe --json shows a port with every output off"
    grep -q '"ports": \[\]' "$work/live.json" ||
        fail "videoports.exe --json does not show an empty list: $(head -c 200 "$work/live.json")"
    check_log "$work/live.err" 0 "videoports.exe with every output off"

    echo "--- DUMMY0 on again, refresh"
    "$outputs" on 0
    wait_for_outputs 1
    ask refresh
    echo -n "$reply"
    grep -qx "refresh ok=1 ports=1" <<<"$reply" || fail "after switching on: not 1 port"
    ask ports
    check_ports "$reply" 1 "after switching on"
    stop_host
    # Enumerations: factory() on 1 port, a refresh on none, one on 1 port.
    check_log "$work/host.err" 2 "no outputs"
}

run_watch() {
    local host=$1 videoports=$2 listed change status=0 start elapsed attempt
    "$outputs" set 2
    start_host "$host"
    wait_for_outputs 2

    # A mode set the Windows way is told to top-level windows: the watcher,
    # polling only once a minute here, refreshes after the message.
    echo "--- a mode change by a Windows program"
    : >"$work/messages.out"
    : >"$work/messages.err"
    "$wine_run" --prefix "$prefix" "$videoports" --watch --interval 60 --log-level 1 \
        >"$work/messages.out" 2>"$work/messages.err" &
    local messages_pid=$!
    for ((attempt = 0; attempt < 300; ++attempt)); do # the table: the header and 2 ports
        [[ $(wc -l <"$work/messages.out") -ge 3 ]] && break
        sleep 0.1
    done
    [[ $(wc -l <"$work/messages.out") -eq 3 ]] || fail "videoports.exe --watch listed no table"
    ask "mode 1024 768"
    [[ $reply == $'mode rc=0\n' ]] || fail "the host could not set the mode: $reply"
    for ((attempt = 0; attempt < 200; ++attempt)); do
        if tr -d '\r' <"$work/messages.err" | grep -q "^videoports DEBUG watch: .* after a message$"; then
            break
        fi
        sleep 0.1
    done
    tr -d '\r' <"$work/messages.err" | grep "^videoports DEBUG watch" ||
        fail "no refresh after the mode change's message"
    kill "$messages_pid" 2>/dev/null || true
    wait "$messages_pid" 2>/dev/null || true
    ask "mode 2048 1536"
    stop_host

    # Bounded: should the program never end, timeout ends it.
    coproc WATCH {
        timeout 60 "$wine_run" --prefix "$prefix" "$videoports" --watch --json --count 1 \
            --interval 0.2 2>"$work/watch.err"
    }
    # shellcheck disable=SC2153 # set by coproc
    local watch_pid=$WATCH_PID
    if ! IFS= read -r -t 30 -u "${WATCH[0]}" listed; then
        fail "videoports.exe --watch --json listed nothing"
        return
    fi
    [[ $listed == '{"time":"'*'","event":"listed","source":"system","ports":['* ]] ||
        fail "the first line is not the listing: ${listed:0:200}"
    [[ $(grep -o '"index":' <<<"$listed" | wc -l) -eq 2 ]] || fail "the listing has not 2 ports"

    echo "--- DUMMY1 off"
    start=$(date +%s%N)
    "$outputs" off 1
    if ! IFS= read -r -t 20 -u "${WATCH[0]}" change; then
        fail "no change line within 20 s of switching DUMMY1 off"
        return
    fi
    elapsed=$((($(date +%s%N) - start) / 1000000))
    echo "${change:0:200}..."
    echo "--- seen $elapsed ms after xrandr was started (polling every 200 ms)"
    [[ $change == *'"event":"portRemoved","index":1,'*'"displayId":"\\\\.\\DISPLAY2"'* ]] ||
        fail "the line does not say that port 1 (DISPLAY2) went: ${change:0:300}"
    wait "$watch_pid" || status=$?
    [[ $status -eq 0 ]] || fail "videoports.exe --watch --count 1 exited with $status"
    # The enumeration at the start logged one line per port; the refreshes
    # after it repeat that line, which --watch leaves out. A refresh that
    # meets Wine between the two halves of the switch fails (the query
    # answers 31): --watch tells that once, then that it recovered, and the
    # refresh after a failure logs its preferred-mode line anew.
    local transient=(
        'libVideoPortInfo WARNING 57 QueryDisplayConfig returns 31'
        'videoports: the display configuration could not be read; still watching'
        'videoports: the display configuration can be read again')
    local expected=2
    if tr -d '\r' <"$work/watch.err" | grep -qxF "${transient[1]}"; then
        echo "--- a refresh met the switch halfway, and recovered"
        tr -d '\r' <"$work/watch.err" | grep -qxF "${transient[2]}" ||
            fail "videoports.exe --watch did not say that it recovered"
        tr -d '\r' <"$work/watch.err" | grep -vxF -e "${transient[0]}" -e "${transient[1]}" \
            -e "${transient[2]}" >"$work/watch.err.steady" || true
        mv "$work/watch.err.steady" "$work/watch.err"
        expected=3
    fi
    check_log "$work/watch.err" "$expected" "videoports.exe --watch"
}

run_soak() {
    local host=$1 cycles=${VPI_SOAK_CYCLES:-100} cycle enumerations before after start seconds
    "$outputs" set 2
    start_host "$host"
    wait_for_outputs 2
    ask ports
    check_ports "$reply" 2 "start"
    ask steady
    steady_blocks "$reply" 2 "start"
    before=$blocks
    # factory(), then the steady's four refreshes, on 2 ports each.
    enumerations=$((2 + 4 * 2))
    start=$(date +%s.%N)
    for ((cycle = 1; cycle <= cycles; ++cycle)); do
        "$outputs" off 1
        wait_for_outputs 1 || break
        ask refresh
        grep -qx "refresh ok=1 ports=1" <<<"$reply" || fail "cycle $cycle, DUMMY1 off: $reply"
        ask ports
        check_ports "$reply" 1 "cycle $cycle, DUMMY1 off"
        "$outputs" on 1
        wait_for_outputs 2 || break
        ask refresh
        grep -qx "refresh ok=1 ports=2" <<<"$reply" || fail "cycle $cycle, DUMMY1 on: $reply"
        ask ports
        check_ports "$reply" 2 "cycle $cycle, DUMMY1 on"
        enumerations=$((enumerations + 1 + 2))
        if ((failures)); then
            break
        fi
        if ((cycle % 10 == 0)); then
            echo "cycle $cycle: consistent"
        fi
    done
    seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
    ask steady
    steady_blocks "$reply" 2 "end"
    after=$blocks
    enumerations=$((enumerations + 4 * 2))
    stop_host
    check_log "$work/host.err" "$enumerations" "soak"
    echo "soak under Wine: $((cycle - 1)) cycles in $seconds s," \
        "$(awk -v s="$seconds" -v n=$((cycle > 1 ? cycle - 1 : 1)) 'BEGIN { printf "%.2f", s / n }')" \
        "s per cycle (two xrandr changes, two refreshes, two port checks)"
    echo "live heap blocks of the host: $before before the cycles, $after after"
}

# Compares a videoports --json document with xrandr --query: the ports in
# use and the X outputs that show a mode, as (size, place relative to the
# primary, primary), must be the same sets, each rate within 1 Hz of the X
# mode's (Wine reads whole hertz), and exactly one port the primary. Prints
# the ports' keys, one per line, in index order.
same_layout() {
    python3 - "$1" "$2" <<'PYTHON'
import json, re, sys
document, query = (open(path, encoding="utf-8").read() for path in sys.argv[1:])
outputs, output = [], None
for line in query.splitlines():
    head = re.match(r"^(\S+) connected (primary )?(\d+)x(\d+)\+(\d+)\+(\d+)", line)
    if head:
        output = {"primary": bool(head[2]), "size": (int(head[3]), int(head[4])),
                  "at": (int(head[5]), int(head[6])), "rate": None}
        outputs.append(output)
    elif not line.startswith(" "):
        output = None
    elif output is not None and "*" in line:
        output["rate"] = float(re.search(r"([\d.]+)\*", line)[1])
x_primary = [o for o in outputs if o["primary"]]
assert len(x_primary) == 1, f"X has {len(x_primary)} primary outputs"
origin = x_primary[0]["at"]
ports = json.loads(document)["ports"]
in_use = [p for p in ports if p["current"] is not None]
def place(size, at, primary):
    return (size, (at[0] - origin[0], at[1] - origin[1]), primary)
want = sorted(place(o["size"], o["at"], o["primary"]) for o in outputs)
have = sorted(place((c["width"], c["height"]), (c["x"] + origin[0], c["y"] + origin[1]),
                    c["primary"]) for c in (p["current"] for p in in_use))
assert have == want, f"videoports.exe shows {have}, xrandr {want}"
assert sum(p["current"]["primary"] for p in in_use) == 1, "not exactly one primary"
for o in outputs:
    c = next(p["current"] for p in in_use
             if (p["current"]["width"], p["current"]["height"]) == o["size"]
             and (p["current"]["x"] + origin[0], p["current"]["y"] + origin[1]) == o["at"])
    assert abs(c["refreshHz"] - o["rate"]) < 1, f"rate {c['refreshHz']} for X's {o['rate']}"
for p in ports:
    print(p["key"])
PYTHON
}

# Runs a fresh videoports.exe --json (a running Wine process keeps the
# layout of its start) until it shows COUNT ports in use, and compares it
# with xrandr; the keys go to KEYS_FILE.
check_layout() {
    local videoports=$1 count=$2 what=$3 keys_file=$4 attempt
    for ((attempt = 0; attempt < 50; ++attempt)); do
        "$wine_run" --prefix "$prefix" "$videoports" --json >"$work/layout.json" 2>/dev/null || true
        [[ $(grep -c '"primary":' "$work/layout.json") -eq $count ]] && break
        sleep 0.2
    done
    xrandr --query >"$work/xrandr.txt"
    same_layout "$work/layout.json" "$work/xrandr.txt" >"$keys_file" ||
        fail "$what: videoports.exe --json does not show the X layout"
}

run_layout() {
    local videoports=$1
    "$outputs" set 3
    for mode in 1024x768 1280x720; do
        for output in DUMMY0 DUMMY2; do
            xrandr --addmode "$output" "$mode" 2>/dev/null || true
        done
    done
    xrandr --output DUMMY0 --mode 1024x768 --pos 0x0 \
        --output DUMMY1 --mode 1920x1080 --pos 1024x0 --primary \
        --output DUMMY2 --mode 1280x720 --pos 2944x100
    xrandr --query >/dev/null
    check_layout "$videoports" 3 "3 outputs" "$work/keys.before"
    echo "--- videoports.exe shows the X layout, relative to the X primary:"
    python3 -c 'import json, sys
for p in json.load(open(sys.argv[1]))["ports"]:
    print(" ", p["displayId"], p["current"])' "$work/layout.json"

    xrandr --output DUMMY2 --pos 2944x400
    xrandr --query >/dev/null
    # Wait for the move itself: the same count of ports shows before it.
    local attempt
    for ((attempt = 0; attempt < 50; ++attempt)); do
        "$wine_run" --prefix "$prefix" "$videoports" --json >"$work/layout.json" 2>/dev/null || true
        grep -q '"y": 400' "$work/layout.json" && break
        sleep 0.2
    done
    check_layout "$videoports" 3 "after the move" "$work/keys.after"
    cmp -s "$work/keys.before" "$work/keys.after" ||
        fail "the keys changed when an output moved: $(paste -d' ' "$work/keys.before" "$work/keys.after")"
    echo "--- moved DUMMY2: layout and keys as expected ($(head -n 1 "$work/keys.after"), ...)"
}

# Reads the watch host's lines until one matches PATTERN (a bash glob), for
# up to 20 s; the line goes to $line.
read_until() {
    local pattern=$1 what=$2
    while IFS= read -r -t 20 -u "${CWATCH[0]}" line; do
        echo "    $line"
        [[ $line == $pattern ]] && return 0
    done
    fail "$what: no line like '$pattern'"
    return 1
}

# Starts the C watch host polling every MS milliseconds.
start_watch_host() {
    coproc CWATCH { "$wine_run" --prefix "$prefix" "$1" watch_host "$2" 2>"$work/cwatch.err"; }
    # shellcheck disable=SC2153 # set by coproc
    cwatch_pid=$CWATCH_PID
    read_until watching "the watch host"
}

stop_watch_host() {
    local status=0
    echo stop >&"${CWATCH[1]}"
    read_until stopped "vpi_watch_stop"
    wait "$cwatch_pid" || status=$?
    [[ $status -eq 0 ]] || fail "the watch host exited with $status (its checks failed)"
}

run_vpi_watch() {
    local vpi_test=$1 line removed
    "$outputs" set 2
    echo "--- a mode set the Windows way wakes a watch that polls once a day"
    start_watch_host "$vpi_test" 86400000
    echo "mode 1024 768" >&"${CWATCH[1]}"
    read_until "change currentModeChanged * 0 0" "the mode change"
    echo "mode 2048 1536" >&"${CWATCH[1]}"
    read_until "change currentModeChanged * 0 0" "the mode change back"
    stop_watch_host

    echo "--- DUMMY1 off and on, found by polling (Wine sends no message for them)"
    start_watch_host "$vpi_test" 200
    "$outputs" off 1
    read_until "change portRemoved * 1 -1" "DUMMY1 off" || return
    removed=$(cut -d' ' -f3 <<<"$line")
    "$outputs" on 1
    read_until "change portAdded * -1 1" "DUMMY1 on" || return
    [[ $(cut -d' ' -f3 <<<"$line") == "$removed" ]] ||
        fail "the port came back with another key: $line, not $removed"
    stop_watch_host
}

run_edid() {
    local host=$1 recorder=$2 videoports=$3 corpus=$here/../edid/data output size edid expected line
    # Each output at a size of its own, by which its port is found.
    "$outputs" set 3
    xrandr --addmode DUMMY2 1280x720 2>/dev/null || true
    xrandr --output DUMMY2 --mode 1280x720
    declare -A sizes=([DUMMY0]=2048x1536 [DUMMY1]=1920x1080 [DUMMY2]=1280x720)
    declare -A edids=([DUMMY0]=Dell-U2719D [DUMMY1]=built-in-LGD05E5 [DUMMY2]="")
    # Before the session starts: Wine reads the property when it does.
    "$wine_run" --prefix "$prefix" --stop
    for output in DUMMY0 DUMMY1; do
        python3 "$here/set-output-edid.py" "$output" "$corpus/${edids[$output]}.bin" ||
            fail "could not set the EDID of $output"
    done
    xrandr --query >/dev/null
    start_host "$host"
    wait_for_outputs 3
    check_session_log
    ask edids
    echo -n "$reply"
    for output in DUMMY0 DUMMY1 DUMMY2; do
        size=${sizes[$output]} edid=${edids[$output]}
        expected=-
        [[ -z $edid ]] || expected=$(od -An -v -tx1 "$corpus/$edid.bin" | tr -d ' \n')
        line=$(grep -E "^edid [0-9]+ $size " <<<"$reply" || true)
        [[ $line == *" connected=1 bytes=$expected" ]] ||
            fail "$output ($size): expected the EDID ${edid:-(none)}, read: ${line:0:80}"
    done
    stop_host
    check_log "$work/host.err" 3 "edid"

    # videoports.exe decodes them as it decodes the files (whose decoding
    # agrees with edid-decode's: tests/edid).
    "$wine_run" --prefix "$prefix" "$videoports" --json >"$work/ports.json" 2>/dev/null ||
        fail "videoports.exe --json failed"
    for output in DUMMY0 DUMMY1; do
        cp "$corpus/${edids[$output]}.bin" "$work/$output.bin" # a bare name reads the same
        (cd "$work" && "$wine_run" --prefix "$prefix" "$videoports" --edid "$output.bin") \
            >"$work/$output.edid.json" 2>/dev/null || fail "videoports.exe --edid failed"
    done
    python3 - "$work/ports.json" "$work/DUMMY0.edid.json" "$work/DUMMY1.edid.json" <<'PYTHON' ||
import json, sys
monitors = [p["monitor"] for p in json.load(open(sys.argv[1]))["ports"] if p["monitor"]]
decoded = sorted((json.dumps(m["edid"]["decoded"]) for m in monitors if m["edid"]))
expected = sorted(json.dumps(json.load(open(path))) for path in sys.argv[2:])
assert len(monitors) == 3 and decoded == expected, decoded
PYTHON
        fail "videoports.exe --json does not show the EDIDs set, decoded"

    # The recorder reads them through the same operation.
    (cd "$work" && "$wine_run" --prefix "$prefix" "$recorder" -o recording.json) ||
        fail "the recorder failed"
    python3 - "$work/recording.json" "$corpus/${edids[DUMMY0]}.bin" \
        "$corpus/${edids[DUMMY1]}.bin" <<'PYTHON' || fail "the recording's EDIDs are not the two set"
import json, sys
recorded = sorted(e["edid"] for e in json.load(open(sys.argv[1])).get("edids", []))
expected = sorted(open(path, "rb").read().hex() for path in sys.argv[2:])
assert recorded == expected, f"{len(recorded)} EDIDs recorded"
PYTHON
}

run_record_replay() {
    local recorder=$1 videoports=$2 replayer=$3 host=$4 status=0
    "$outputs" set 2
    start_host "$host"
    wait_for_outputs 2
    stop_host
    (cd "$work" && "$wine_run" --prefix "$prefix" "$recorder" -o recording.json) ||
        fail "the recorder failed"
    "$wine_run" --prefix "$prefix" "$videoports" --json >"$work/live.json" 2>"$work/live.err" ||
        status=$?
    [[ $status -eq 0 ]] || fail "videoports.exe --json exited with $status"
    echo "--- videoports.exe --json: $(grep -c '"index":' "$work/live.json" || true) ports"
    grep -qF '"displayId": "\\\\.\\DISPLAY2"' "$work/live.json" ||
        fail "videoports.exe --json does not show DISPLAY2"
    # factory() found ports, so videoports enumerated once: 2 ports.
    check_log "$work/live.err" 2 "videoports.exe"
    "$here/replay-compare.sh" "$work/recording.json" "$work/live.json" \
        "$wine_run" --prefix "$prefix" "$replayer" ||
        fail "the replay check failed"
    if [[ -n ${VPI_E2E_KEEP:-} ]]; then
        cp "$work/recording.json" "$VPI_E2E_KEEP/xorg-dummy-2-outputs.json"
        cp "$work/live.json" "$VPI_E2E_KEEP/xorg-dummy-2-outputs.videoports.json"
    fi
}

case $mode in
null-driver) run_null_driver "$@" ;;
ports) run_ports "$@" ;;
refresh) run_refresh "$@" ;;
no-outputs) run_no_outputs "$@" ;;
watch) run_watch "$@" ;;
soak) run_soak "$@" ;;
layout) run_layout "$@" ;;
vpi-watch) run_vpi_watch "$@" ;;
edid) run_edid "$@" ;;
record-replay) run_record_replay "$@" ;;
*)
    echo "$0: unknown check $mode" >&2
    exit 2
    ;;
esac

if ((failures)); then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"

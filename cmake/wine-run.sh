#!/usr/bin/env bash
# Runs a Windows program under wine64 in the given prefix, creating the prefix
# on first use (concurrent callers wait for the one that creates it).
#
#   wine-run.sh --prefix DIR PROGRAM [ARGS...]
#   wine-run.sh --prefix DIR --init        # only create the prefix
#   wine-run.sh --prefix DIR --stop        # end the prefix's Wine processes
#   wine-run.sh --prefix DIR --session-processes  # PIDs of Wine's own services
#
# Wine never sees the caller's X display: DISPLAY is cleared, so Wine uses its
# null display driver, unless VPI_WINE_DISPLAY names a display (one that the
# caller started) to use instead. The first process of a wineserver session
# fixes the display driver for every later one until the server exits, so a
# prefix is either used with a display or without one, never both at once.
set -euo pipefail

if [[ $# -lt 3 || $1 != --prefix ]]; then
    echo "usage: $0 --prefix DIR (--init | --stop | PROGRAM [ARGS...])" >&2
    exit 2
fi
prefix=$2
shift 2

find_tool() {
    local name=$1 candidate
    for candidate in "/usr/lib/wine/$name" "$(command -v "$name" || true)"; do
        if [[ -n $candidate && -x $candidate ]]; then
            echo "$candidate"
            return 0
        fi
    done
    echo "wine-run: $name not found (scripts/setup.sh installs wine64)" >&2
    return 1
}
wine=${VPI_WINE64:-$(find_tool wine64)}
wineserver=${VPI_WINESERVER:-$(find_tool wineserver)}

mkdir -p "$(dirname "$prefix")"
prefix=$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")

export WINEPREFIX=$prefix
export WINEARCH=win64
export WINEDEBUG=${VPI_WINEDEBUG:--all}
# No Mono or Gecko: their installers would wait for a click.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY
if [[ -n ${VPI_WINE_DISPLAY:-} ]]; then
    export DISPLAY=$VPI_WINE_DISPLAY
else
    unset DISPLAY
fi

# The PIDs of the session's own Wine processes: services.exe and the
# winedevice.exe that run Wine's drivers.
session_processes() {
    local comm name pid
    for comm in /proc/[0-9]*/comm; do
        name=
        # Processes come and go while this reads.
        { read -r name <"$comm"; } 2>/dev/null || true
        if [[ $name == services.exe || $name == winedevice.exe ]] &&
            { tr '\0' '\n' <"${comm%/comm}/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$prefix"; then
            pid=${comm#/proc/}
            echo "${pid%/comm}"
        fi
    done
}

if [[ $1 == --session-processes ]]; then
    session_processes
    exit 0
fi

if [[ $1 == --stop ]]; then
    if [[ -d $prefix ]]; then
        "$wineserver" -k 2>/dev/null || true
        "$wineserver" -w
    fi
    exit 0
fi

ready=$prefix/.vpi-ready
if [[ ! -e $ready ]]; then
    exec 9>"$prefix.lock"
    flock 9
    if [[ ! -e $ready ]]; then
        rm -rf "$prefix"
        if ! env -u DISPLAY "$wine" wineboot --init >"$prefix.init.log" 2>&1; then
            echo "wine-run: creating the Wine prefix $prefix failed:" >&2
            cat "$prefix.init.log" >&2
            exit 1
        fi
        # Let the first wineserver write the registry out and exit, so that
        # the prefix on disk is complete before anyone else uses it.
        "$wineserver" -w
        touch "$ready"
    fi
    flock -u 9
    exec 9>&-
fi

if [[ $1 == --init ]]; then
    exit 0
fi
# Without X, the tests share this prefix and its wineserver. Wine ends an idle
# server after 3 s, and a program that starts just then fails to connect
# ("recvmsg: Connection reset by peer"); a server that waits 10 s idle makes
# that all but impossible during a test run. (With X, each test stops its
# server when it ends.) Starting one when one runs already does nothing.
if [[ -z ${VPI_WINE_DISPLAY:-} ]]; then
    "$wineserver" -p10 2>/dev/null || true
fi

# Wine's own processes (services.exe, the drivers in winedevice.exe) start with
# the first program of a session and keep its standard error for their whole
# life, so a message of theirs (a crash of one of Wine's drivers included)
# would read as that program's. A session is therefore started by a program of
# no interest, its standard error going to PREFIX.session.log, and every program
# run here writes only its own messages.
exec 9>"$prefix.lock"
flock 9
if [[ -z $(session_processes) ]]; then
    # 9>&-: the session's processes outlive this script and must not keep the lock.
    "$wine" cmd /c exit </dev/null >"$prefix.session.log" 2>&1 9>&- || true
fi
flock -u 9
exec 9>&-
exec "$wine" "$@"

#!/usr/bin/env bash
# Prints the benchmarks' figures, with the machine's load.
#
#   scripts/bench.sh [--seconds S] [ARGS...]
#       native build: library_vs_platform (the library against the raw
#       platform calls) on the built-in configuration, on generated
#       recordings of 16 targets x 4 sources with 50, 200, 1000 and 5000 raw
#       modes per source, and on one of 500 targets x 4 sources (2,000 paths)
#       with 40 raw modes per source (20,000 modes), S seconds each (default
#       2); the time of `videoports --json --modes` on that last one; then the
#       Google Benchmark programs, which get ARGS (for example
#       --benchmark_filter=refresh).
#   scripts/bench.sh --wine [--seconds S]
#       Windows build: library_vs_platform under Wine against Wine's own
#       calls, on an Xorg dummy server switched to 4 outputs with an EDID
#       each (as root), with and without reading the EDIDs; then
#       what an idle watch costs there (watch_idle, a minute each at the
#       default interval, at 100 ms, and never polling).
set -euo pipefail
cd "$(dirname "$0")/.."

wine=0
seconds=2
args=()
while (($#)); do
    case $1 in
    --wine) wine=1 ;;
    --seconds)
        seconds=${2:?seconds}
        shift
        ;;
    *) args+=("$1") ;;
    esac
    shift
done

# The machine has two cores shared with others: never more than two jobs.
jobs=$(nproc 2>/dev/null || echo 2)
((jobs > 2)) && jobs=2

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"

if ((wine)); then
    scripts/setup.sh all >&2
    cmake --preset windows -DVPI_BUILD_BENCHMARKS=ON >/dev/null
    cmake --build --preset windows -j "$jobs" --target library_vs_platform watch_idle >&2
    # A prefix of its own: a Wine server keeps the display driver of its first
    # process, and the tests' prefixes run with other displays or none.
    prefix=$PWD/build/windows/wine-prefix-bench
    tests/wine/with-xorg-dummy.sh bash -c '
        set -euo pipefail
        run=$1 prefix=$2 program=$3 seconds=$4 idle=$5
        trap "\"$run\" --prefix \"$prefix\" --stop" EXIT
        tests/wine/xrandr-outputs.sh set 4
        # Each output gets the EDID of a monitor (the RandR property), before the
        # Wine session starts, which is when Wine reads it.
        "$run" --prefix "$prefix" --stop
        i=0
        for edid in Dell-U2719D BenQ-GW2765 LG-TV-GSM0001 built-in-LGD05E5; do
            python3 tests/wine/set-output-edid.py "DUMMY$i" "tests/edid/data/$edid.bin"
            i=$((i + 1))
        done
        xrandr --query >/dev/null
        # The processes of a new Wine session keep the wineserver busy for some
        # seconds (an enumeration then takes 50-170 ms, not 8): a first run,
        # not shown, lets them settle.
        "$run" --prefix "$prefix" "$program" --seconds 3 --expect-ports 4 wine-settling \
            >/dev/null
        # With the EDIDs, then without: the difference is what reading them adds.
        "$run" --prefix "$prefix" "$program" --seconds "$seconds" --expect-ports 4 \
            wine-4-outputs
        "$run" --prefix "$prefix" "$program" --seconds "$seconds" --expect-ports 4 \
            --without-edids wine-4-outputs-no-edids
        # An idle watch: its own CPU time, and the wineserver'"'"'s (which
        # answers part of every call) over the same time, from /proc; at the
        # default interval, at 100 ms (twenty times the polls, which lifts
        # the watch'"'"'s part above the wineserver'"'"'s own noise), and never
        # polling, for what Wine costs anyway.
        out=$(mktemp)
        for interval in 2000 100 86400000; do
            "$run" --prefix "$prefix" "$idle" --seconds 60 --interval "$interval" >"$out" &
            watching=$!
            until grep -q "^watching" "$out"; do sleep 0.2; done
            server=$(pgrep -n -x wineserver64 || pgrep -n wineserver)
            ticks() { awk "{print \$14 + \$15}" "/proc/$server/stat"; }
            before=$(ticks)
            wait "$watching"
            grep -v "^watching" "$out"
            echo "  wineserver meanwhile: $(($(ticks) - before)) ticks of" \
                "$(getconf CLK_TCK) per second in about 60 s"
        done
        rm -f "$out"
    ' _ "$PWD/cmake/wine-run.sh" "$prefix" build/windows/bin/library_vs_platform.exe "$seconds" \
        build/windows/bin/watch_idle.exe
else
    scripts/setup.sh native >&2
    cmake --preset native >/dev/null
    cmake --build --preset native -j "$jobs" \
        --target array_bench enumeration_bench library_vs_platform watch_idle >&2
    # Generated, not committed: the largest is about 16 MB.
    recordings=build/native/bench-recordings
    mkdir -p "$recordings"
    cases=(builtin)
    # targets x sources per target, raw modes per source
    for shape in 16x4-n50 16x4-n200 16x4-n1000 16x4-n5000 500x4-n40; do
        targets=${shape%%x*} modes=${shape##*-n}
        file=$recordings/$shape.json
        if [[ ! -e $file || bench/generate-recording.py -nt $file ]]; then
            python3 bench/generate-recording.py --adapters $((targets / 4)) --modes "$modes" \
                -o "$file"
        fi
        cases+=("$file")
    done
    build/native/bin/library_vs_platform --seconds "$seconds" "${cases[@]}"
    # The whole program on the largest machine: reading the recording, the
    # enumeration and the JSON of every port's modes.
    TIMEFORMAT="videoports --json --modes, 2,000 paths x 20,000 modes: %R s (%U s user, %S s system)"
    { time VPI_DISPLAY_CONFIG=$recordings/500x4-n40.json build/native/bin/videoports --json --modes \
        >/dev/null; } 2>&1
    build/native/bin/watch_idle --seconds 20
    for bench in array_bench enumeration_bench; do
        build/native/bin/$bench "${args[@]}"
    done
fi

echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

#!/usr/bin/env bash
# Installs a build tree to a fresh prefix, moves the prefix elsewhere (an
# installed tree must work from any place), and builds and runs the example
# hosts installed with the docs against it the ways a user would: the CMake
# package and, natively, pkg-config. The host and the installed videoports
# must agree on the number of ports.
#
#   check-installed-tree.sh native  BUILD_DIR WORK_DIR
#   check-installed-tree.sh windows BUILD_DIR WORK_DIR TOOLCHAIN WINE_RUN WINE_PREFIX
#
# The windows form cross-builds the host with MinGW-w64, runs everything under
# Wine, and also unpacks the CPack ZIP and runs its videoports.exe.
# VPI_HOST_CXX_FLAGS are added to the host's compile and link flags: a
# sanitizer build's libraries need a host built with the same sanitizers.
set -euo pipefail

mode=$1 build=$2 work=$3
shift 3
fail() {
    echo "check-installed-tree: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/staging" >"$work/install.log"
mv "$work/staging" "$work/prefix"
prefix=$work/prefix
examples=$prefix/share/doc/dovAzaveVevoZoraVuz7/examples

for file in include/libVideoPortInfo/VideoPortFactoryWin7.h include/libVideoPortInfo/DisplayConfig.h \
    include/vpi/vpi.h lib/pkgconfig/dovAzaveVevoZoraVuz7-vpi.pc share/doc/dovAzaveVevoZoraVuz7/c-api.md \
    include/tkl/Array.h lib/cmake/dovAzaveVevoZoraVuz7/dovAzaveVevoZoraVuz7Config.cmake \
    lib/cmake/dovAzaveVevoZoraVuz7/dovAzaveVevoZoraVuz7ConfigVersion.cmake \
    lib/pkgconfig/dovAzaveVevoZoraVuz7.pc share/doc/dovAzaveVevoZoraVuz7/api.md \
    share/doc/dovAzaveVevoZoraVuz7/LICENSE; do
    [[ -f $prefix/$file ]] || fail "the installed tree lacks $file"
done
if [[ -d $prefix/include/standin ]]; then
    fail "the stand-in's private headers were installed"
fi

# The number of ports, from a --json document on standard input (each port
# has one "index" line).
port_count() {
    grep -c '^ *"index": '
}
# The number a list-ports run printed on its first line ("4 ports").
listed_count() {
    head -n 1 | sed -n 's/^\([0-9]*\) ports*$/\1/p'
}

# Fails unless two --json documents list the same ports (other top-level
# fields may differ).
same_ports() {
    local name=$1 first=$2 second=$3
    python3 - "$first" "$second" <<'PYTHON' || fail "$name lists other ports than videoports"
import json, sys
first, second = (json.load(open(path, encoding="utf-8"))["ports"] for path in sys.argv[1:])
sys.exit(0 if first == second and first else 1)
PYTHON
    echo "$name: the same ports and modes as videoports --json"
}

check_host_output() {
    local name=$1 output=$2 expected=$3
    local count
    count=$(listed_count <"$output")
    [[ $count == "$expected" ]] || fail "$name listed '$count' ports, videoports $expected"
    grep -q "^port 0: .*distinct mode" "$output" || fail "$name listed no modes of port 0"
    echo "$name: $count ports, as videoports says"
}

case $mode in
native)
    for library in libdovAzaveVevoZoraVuz7.so.2 libVideoPortInfo.so.0 libCommon.so.0 \
        libStandIn.so.0 libvpi.so.1; do
        [[ -f $prefix/lib/$library ]] || fail "the installed tree lacks lib/$library"
    done
    # No LD_LIBRARY_PATH anywhere below: RPATHs and the package must suffice.
    unset LD_LIBRARY_PATH
    expected=$("$prefix/bin/videoports" --json | port_count)
    "$prefix/bin/vpi-record-display-config" -o "$work/recorded.json"
    [[ $(VPI_DISPLAY_CONFIG=$work/recorded.json "$prefix/bin/videoports" --json | port_count) == \
        "$expected" ]] || fail "the installed recorder's recording does not replay"

    cmake -S "$examples/list-ports" -B "$work/example" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS="-Wall -Wextra -Wpedantic -Werror ${VPI_HOST_CXX_FLAGS:-}" \
        >"$work/example-configure.log"
    cmake --build "$work/example" >"$work/example-build.log"
    "$work/example/list-ports" >"$work/list-ports.out"
    check_host_output "list-ports (CMake package)" "$work/list-ports.out" "$expected"

    # shellcheck disable=SC2046,SC2086 # the flags are words
    c++ -std=c++17 -Wall -Wextra -Wpedantic -Werror ${VPI_HOST_CXX_FLAGS:-} "$examples/list-ports/main.cpp" \
        -o "$work/list-ports-pkg-config" \
        $(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs dovAzaveVevoZoraVuz7)
    "$work/list-ports-pkg-config" >"$work/list-ports-pkg-config.out"
    check_host_output "list-ports (pkg-config)" "$work/list-ports-pkg-config.out" "$expected"

    # The C interface from a C99 program.
    "$prefix/bin/videoports" --json >"$work/videoports.json"
    # shellcheck disable=SC2046,SC2086 # the flags are words
    gcc -std=c99 -Wall -Wextra -Wpedantic -Werror ${VPI_HOST_CXX_FLAGS:-} \
        "$examples/list-ports-c/list-ports.c" -o "$work/list-ports-c" \
        $(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs dovAzaveVevoZoraVuz7-vpi)
    "$work/list-ports-c" >"$work/list-ports-c.json"
    same_ports "list-ports-c (gcc -std=c99, pkg-config)" "$work/list-ports-c.json" \
        "$work/videoports.json"
    cmake -S "$examples/list-ports-c" -B "$work/example-c" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="-Wall -Wextra -Werror ${VPI_HOST_CXX_FLAGS:-}" \
        >"$work/example-c-configure.log"
    cmake --build "$work/example-c" >"$work/example-c-build.log"
    "$work/example-c/list-ports-c" >"$work/list-ports-c-cmake.json"
    same_ports "list-ports-c (CMake package)" "$work/list-ports-c-cmake.json" "$work/videoports.json"
    ;;
windows)
    toolchain=$1 wine_run=$2 wine_prefix=$3
    for file in bin/dovAzaveVevoZoraVuz7.dll bin/libVideoPortInfo.dll bin/Common.dll \
        bin/videoports.exe bin/vpi-record-display-config.exe lib/libdovAzaveVevoZoraVuz7.dll.a \
        lib/libVideoPortInfo.dll.a lib/libCommon.dll.a bin/vpi.dll lib/libvpi.dll.a lib/vpi.def; do
        [[ -f $prefix/$file ]] || fail "the installed tree lacks $file"
    done
    if compgen -G "$prefix/bin/*StandIn*" >/dev/null; then
        fail "a test-only DLL was installed"
    fi
    run() { "$wine_run" --prefix "$wine_prefix" "$@"; }
    expected=$(run "$prefix/bin/videoports.exe" --json | port_count)

    # The command the README gives for a cross build.
    cmake -S "$examples/list-ports" -B "$work/example" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="-Wall -Wextra -Wpedantic -Werror" \
        >"$work/example-configure.log"
    cmake --build "$work/example" >"$work/example-build.log"
    [[ -f $work/example/dovAzaveVevoZoraVuz7.dll ]] || fail "the DLLs were not copied beside list-ports.exe"
    run "$work/example/list-ports.exe" | tr -d '\r' >"$work/list-ports.out"
    check_host_output "list-ports.exe (CMake package)" "$work/list-ports.out" "$expected"

    # The C interface from a C99 program.
    cmake -S "$examples/list-ports-c" -B "$work/example-c" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" \
        >"$work/example-c-configure.log"
    cmake --build "$work/example-c" >"$work/example-c-build.log"
    run "$prefix/bin/videoports.exe" --json >"$work/videoports.json"
    run "$work/example-c/list-ports-c.exe" >"$work/list-ports-c.json"
    same_ports "list-ports-c.exe (CMake package)" "$work/list-ports-c.json" "$work/videoports.json"

    # The ZIP, unpacked elsewhere, runs as it is.
    (cd "$build" && cpack -G ZIP -B "$work/package" >"$work/cpack.log")
    zip=$(compgen -G "$work/package/*.zip" | head -n 1)
    [[ -n $zip ]] || fail "cpack made no ZIP"
    mkdir -p "$work/unpacked"
    (cd "$work/unpacked" && cmake -E tar xf "$zip")
    unpacked=$(compgen -G "$work/unpacked/*/bin/videoports.exe" | head -n 1)
    [[ -n $unpacked ]] || fail "the ZIP has no bin/videoports.exe"
    [[ $(run "$unpacked" --json | port_count) == "$expected" ]] ||
        fail "videoports.exe from the ZIP lists another number of ports"
    for file in lib/cmake/dovAzaveVevoZoraVuz7/dovAzaveVevoZoraVuz7Config.cmake \
        lib/pkgconfig/dovAzaveVevoZoraVuz7.pc include/libVideoPortInfo/VideoPortFactoryWin7.h \
        lib/libdovAzaveVevoZoraVuz7.dll.a bin/vpi-record-display-config.exe \
        share/doc/dovAzaveVevoZoraVuz7/api.md; do
        [[ -f $(dirname "$(dirname "$unpacked")")/$file ]] || fail "the ZIP lacks $file"
    done
    echo "$(basename "$zip"): videoports.exe runs from the unpacked folder"
    ;;
*)
    fail "unknown mode $mode"
    ;;
esac

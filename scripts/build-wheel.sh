#!/usr/bin/env bash
# Writes the wheel of the videoports Python package with the native libraries
# of a build inside, and checks it as a user gets it:
#   Linux: installed into a fresh virtual environment without a package index,
#     `python -m videoports ARGS` prints what the build's `videoports ARGS`
#     prints, and exits as it does, for every option, with no environment
#     variable set; VPI_LIBRARY still overrides the wheel's library.
#   Windows (a MinGW build; there is no Windows Python here): pip accepts it
#     for win_amd64 and installs it into a folder, which then holds the
#     package's modules and its DLLs, each importing only DLLs of the wheel
#     and Windows' own.
#
#   scripts/build-wheel.sh BUILD_DIR OUT_DIR [WORK_DIR]
#
# Prints the wheel's path. WORK_DIR (default: a temporary folder, removed at
# the end) holds the installed tree and the checks' files. VPI_PYTHON names
# the Python 3 to use (default python3).
set -euo pipefail

build=$(realpath "$1")
out=$2
python=${VPI_PYTHON:-python3}
source=$(realpath "$(dirname "$0")/..")
fail() {
    echo "build-wheel: $*" >&2
    exit 1
}

if [[ $# -ge 3 ]]; then
    work=$3
    rm -rf "$work"
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
fi
work=$(realpath "$work")

# The runtime part of the install: what a program needs to run, nothing to
# build against.
cmake --install "$build" --prefix "$work/prefix" --component runtime >"$work/install.log"
wheel=$("$python" "$source/python/build_backend.py" --libraries-from "$work/prefix" -o "$out")

if [[ -f $work/prefix/bin/vpi.dll ]]; then
    [[ $(basename "$wheel") == videoports-*-py3-none-win_amd64.whl ]] ||
        fail "$(basename "$wheel") is not tagged for 64-bit Windows"
    "$python" -m pip install --quiet --no-index --no-deps --target "$work/site" \
        --platform win_amd64 --only-binary=:all: "$wheel" >&2 ||
        fail "pip refuses $(basename "$wheel") for win_amd64"
    package=$work/site/videoports
    for file in __init__.py __main__.py _native.py vpi.dll dovAzaveVevoZoraVuz7.dll \
        libVideoPortInfo.dll Common.dll videoports.exe; do
        [[ -f $package/$file ]] || fail "the wheel lacks videoports/$file"
    done
    objdump=$(command -v "${VPI_MINGW_PREFIX:-x86_64-w64-mingw32-}objdump")
    for dll in "$package"/*.dll "$package"/videoports.exe; do
        while read -r import; do
            [[ -f $package/$import ]] && continue
            case ${import,,} in
            kernel32.dll | user32.dll | gdi32.dll | msvcrt.dll | advapi32.dll | setupapi.dll) ;;
            *) fail "$(basename "$dll") needs $import, which the wheel does not carry" ;;
            esac
        done < <("$objdump" -p "$dll" | sed -n 's/^\s*DLL Name: //p')
    done
else
    [[ $(basename "$wheel") == videoports-*-py3-none-linux_$(uname -m).whl ]] ||
        fail "$(basename "$wheel") is not tagged for this machine"
    "$python" -m venv --without-pip "$work/venv"
    "$python" -m pip --python "$work/venv/bin/python" install --quiet --no-index "$wheel" >&2
    # As a user runs it: nothing points at the build, and not from a folder
    # that holds the package's sources.
    clean=(env -u VPI_LIBRARY -u PYTHONPATH -u LD_LIBRARY_PATH -u VPI_DISPLAY_CONFIG)
    cd "$work"
    # Every option, the metrics file included: the same output, the same status.
    while read -r -a arguments; do
        expected=0 actual=0
        "${clean[@]}" "$work/prefix/bin/videoports" "${arguments[@]}" >expected.out 2>expected.err ||
            expected=$?
        [[ ! -f metrics.prom ]] || mv metrics.prom expected.prom
        "${clean[@]}" venv/bin/python -m videoports "${arguments[@]}" >actual.out 2>actual.err ||
            actual=$?
        [[ ! -f metrics.prom ]] || mv metrics.prom actual.prom
        [[ $expected == "$actual" ]] && cmp -s expected.out actual.out &&
            cmp -s expected.err actual.err ||
            fail "python -m videoports ${arguments[*]} differs from videoports (see $work)"
    done <<'ARGUMENTS'

--json
--modes
--port 1
--prometheus
--prometheus -o metrics.prom
--watch --count 0
--help
--version
--port 99
--frobnicate
ARGUMENTS
    cmp -s expected.prom actual.prom || fail "python -m videoports -o wrote another file"
    versions=$("${clean[@]}" venv/bin/python -c 'import importlib.metadata as m, videoports
print(m.version("videoports"), videoports.library_version())')
    read -r package library <<<"$versions"
    [[ $package == "$library" ]] || fail "the wheel is version $package, its library $library"
    if "${clean[@]}" VPI_LIBRARY="$work/none.so" venv/bin/python -c \
        'import videoports; videoports.snapshot()' >/dev/null 2>&1; then
        fail "VPI_LIBRARY does not override the wheel's library"
    fi
fi
echo "$wheel"

#!/usr/bin/env bash
# Builds the release packages: a .tar.gz of the Linux build and a ZIP of the
# Windows (MinGW-w64) build, in build/packages/. The ZIP is then unpacked in
# a scratch folder and its videoports.exe run under Wine, and the .tar.gz's
# videoports is run the same way, so that a package that cannot run from its
# own folder is never left behind. Beside them, the Python wheels with each
# build's libraries inside (scripts/build-wheel.sh, which checks them too).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh all >&2
jobs=$(nproc 2>/dev/null || echo 2)
out=$PWD/build/packages
mkdir -p "$out"

build() {
    local name=$1
    shift
    cmake -S . -B "build/package-$name" -DCMAKE_BUILD_TYPE=Release -DVPI_BUILD_TESTS=OFF \
        -DVPI_WERROR=ON "$@" >/dev/null
    cmake --build "build/package-$name" -j "$jobs" >&2
    (cd "build/package-$name" && cpack -B "$out" >&2)
}

build linux
build windows -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/mingw-w64-x86_64.cmake"
rm -rf "$out/_CPack_Packages"

version=$(sed -n 's/^  VERSION \([0-9.]*\)$/\1/p' CMakeLists.txt)
tarball=$out/dovAzaveVevoZoraVuz7-$version-linux-$(uname -m).tar.gz
zip=$out/dovAzaveVevoZoraVuz7-$version-windows-x86_64.zip
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

tar -xzf "$tarball" -C "$scratch"
env -u LD_LIBRARY_PATH "$scratch"/*/bin/videoports >/dev/null
(cd "$scratch" && unzip -q "$zip")
cmake/wine-run.sh --prefix "$PWD/build/package-windows/wine-prefix" \
    "$(compgen -G "$scratch/*windows*/bin/videoports.exe")" >/dev/null

wheels=()
for name in linux windows; do
    wheels+=("$(scripts/build-wheel.sh "build/package-$name" "$out")")
done

echo "packages (each runs from its unpacked folder; the Linux wheel from a fresh virtual environment):"
ls -l "$tarball" "$zip" "${wheels[@]}"

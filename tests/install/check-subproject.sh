#!/usr/bin/env bash
# Configures and builds tests/install/subproject (a parent project that adds
# the library with add_subdirectory) and runs its host.
#
#   check-subproject.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source=$1 work=$2
rm -rf "$work"
# No build type: without optimisation or debug information the parent's
# build is quickest, and what is checked is the build's structure.
cmake -S "$source/tests/install/subproject" -B "$work" -G Ninja -DVPI_SOURCE_DIR="$source" \
    -DCMAKE_BUILD_TYPE= >"$work.configure.log" 2>&1 || {
    cat "$work.configure.log" >&2
    exit 1
}
cmake --build "$work" -j 2 >"$work.build.log" 2>&1 || {
    cat "$work.build.log" >&2
    exit 1
}
"$work/list-ports" | head -n 1 | grep -Eq '^[0-9]+ ports?$'
echo "the parent project's host built and ran"

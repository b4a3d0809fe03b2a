#!/bin/sh
# Builds the shipped program, dist/win32/vxwipe.exe, in build/win32, or with an option what
# runs for the kind of machine the probe found (scripts/wine-session.sh decides):
#   --demo     the programs of the demonstration: the uninstaller, the sample installer and
#              the stand-in for the installer's own uninstaller, nothing of the tests
#   --bench    the uninstaller and the benchmark's tools
#   --tests    the shipped program, the tests and all their tools
# Where Wine cannot start 32-bit programs, those that run are the x86_64 twin's, in
# build/win64, and the demonstration and the benchmark build nothing else; elsewhere
# --tests adds the twin's end-to-end test, for the check of that fallback.
set -e
cd "$(dirname "$0")/.."
# shellcheck disable=SC1091
. scripts/wine-session.sh
what=${1:-}
case $what in
'' | --demo | --bench | --tests) ;;
*)
    echo "build.sh: --demo, --bench or --tests, not $what" >&2
    exit 2
    ;;
esac

DEMO_TARGETS="vxwipe vxsample is_standin"
BENCH_TARGETS="vxwipe vxsample bench_timer bench_baseline bench_regtree"
# The end-to-end test of the check of the fallback.
TWIN_CHECK_TARGETS="uninstall_test"

# build_kind FOLDER TOOLCHAIN TESTS(ON/OFF) [TARGET...]: every target where none is named.
build_kind() {
    folder=build/$1
    toolchain=$2
    tests=$3
    shift 3
    # The toolchain counts only when a build folder is made; CMake warns if given again.
    # A folder made with the tests keeps them: asking for less builds less, not anew.
    if [ -f "$folder/CMakeCache.txt" ]; then
        grep -q '^VXWIPE_TESTS:BOOL=ON' "$folder/CMakeCache.txt" && tests=ON
        cmake -S . -B "$folder" -DVXWIPE_TESTS="$tests" >/dev/null
    else
        cmake -S . -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$toolchain.cmake" \
            -DVXWIPE_TESTS="$tests" >/dev/null
    fi
    # shellcheck disable=SC2046 # one argument per target
    cmake --build "$folder" $(for target in "$@"; do printf ' --target %s' "$target"; done)
}

ship() {
    build_kind win32 i686 OFF vxwipe
    mkdir -p dist/win32
    cp build/win32/bin/vxwipe.exe dist/win32/vxwipe.exe
}

# build_to_run TARGET...: what runs on this machine, and nothing else. Where that is the
# twin, the shipped program does not run, and is not built.
build_to_run() {
    if [ "$kind" = win32 ]; then
        ship
        build_kind win32 i686 OFF "$@"
    else
        echo "Building the x86_64 twin: this machine's Wine cannot start 32-bit programs"
        build_kind win64 x86_64 OFF "$@"
    fi
}

kind=$(wine_session_machine_kind)
case $what in
'') ship ;;
# shellcheck disable=SC2086 # one argument per target
--demo) build_to_run $DEMO_TARGETS ;;
# shellcheck disable=SC2086
--bench) build_to_run $BENCH_TARGETS ;;
--tests)
    ship
    build_kind win32 i686 ON
    if [ "$kind" = twin ]; then
        echo "Building the x86_64 twin: this machine's Wine cannot start 32-bit programs"
        build_kind win64 x86_64 ON
    else
        echo "Building the x86_64 twin's end-to-end test, for the check of the fallback"
        # shellcheck disable=SC2086
        build_kind win64 x86_64 ON $TWIN_CHECK_TARGETS
    fi
    ;;
esac

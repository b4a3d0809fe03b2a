#!/bin/sh
# Builds the shipped program, dist/win32/vxwipe.exe, and the i686 tools in build/win32.
#   --tests  adds the tests. Where the probe (scripts/probe-wine32.sh, its answer in
#            build/wine32-probe) found that Wine cannot start 32-bit programs, it also
#            builds the x86_64 twin with its tests in build/win64, which the tests then run.
set -e
cd "$(dirname "$0")/.."
tests=OFF
[ "${1:-}" = "--tests" ] && tests=ON

configure_and_build() { # build folder, toolchain, tests ON/OFF
    # The toolchain counts only when a build folder is made; CMake warns if given again.
    toolchain=""
    [ -f "build/$1/CMakeCache.txt" ] || toolchain="-DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-$2.cmake"
    cmake -S . -B "build/$1" -G Ninja -DCMAKE_BUILD_TYPE=Release ${toolchain:+"$toolchain"} \
        -DVXWIPE_TESTS="$3" >/dev/null
    cmake --build "build/$1"
}

configure_and_build win32 i686 "$tests"
mkdir -p dist/win32
cp build/win32/bin/vxwipe.exe dist/win32/vxwipe.exe

if [ "$tests" = ON ] && [ -f build/wine32-probe ] && ! grep -q '^yes' build/wine32-probe; then
    echo "Building the x86_64 twin: this machine's Wine cannot start 32-bit programs"
    configure_and_build win64 x86_64 ON
fi

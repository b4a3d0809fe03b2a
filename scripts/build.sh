#!/bin/sh
# Configures and builds both targets; --tests adds the tests to the 64-bit build.
set -e
cd "$(dirname "$0")/.."
tests=OFF
[ "$1" = "--tests" ] && tests=ON
for target in win32:i686 win64:x86_64; do
    name=${target%%:*}
    arch=${target##*:}
    with_tests=OFF
    [ "$name" = win64 ] && with_tests=$tests
    cmake -S . -B "build/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$arch.cmake" -DVXWIPE_TESTS=$with_tests >/dev/null
    cmake --build "build/$name"
    mkdir -p "dist/$name"
    cp "build/$name/bin/vxwipe.exe" "dist/$name/vxwipe.exe"
done

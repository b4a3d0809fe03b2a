#!/bin/sh
# Static analysis of the product sources (app, discovery, removal, log, platform): the
# order of the rooms (scripts/check-rooms.py), cppcheck, then clang-tidy on the i686 build's
# compile commands with the MinGW headers. Prints every finding and exits non-zero if there
# is any.
set -u
cd "$(dirname "$0")/.."
SOURCES="app discovery removal log platform"
BUILD_DIR=build/analyse
status=0

echo "== rooms"
# No file includes a header of a room above its own: no circle among the rooms.
/usr/bin/python3 scripts/check-rooms.py || status=1

echo "== cppcheck"
# Accepted findings live in the suppressions file, each with its reason.
cppcheck --quiet --error-exitcode=1 --std=c++17 --language=c++ \
    --enable=warning,style,performance,portability --platform=win32A --library=windows \
    -I . -D_WIN32 -DWIN32_LEAN_AND_MEAN --suppressions-list=scripts/cppcheck-suppressions.txt \
    --template='{file}:{line}: {severity} ({id}): {message}' $SOURCES 2>&1 || status=1

echo "== clang-tidy"
# Configuring is enough: clang-tidy needs only the compile commands.
mkdir -p "$BUILD_DIR"
if ! cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    >"$BUILD_DIR/configure.log" 2>&1; then
    cat "$BUILD_DIR/configure.log"
    exit 1
fi
# bugprone-easily-swappable-parameters: plain C interfaces pass several texts side by side.
# insecureAPI.strcpy and DeprecatedOrUnsafeBufferHandling: fixed buffers are filled by
# strcpy, strcat and sprintf after their lengths are checked, and the bounded _s functions
# do not exist on Windows 95 or NT 4.0.
CHECKS="-*,
bugprone-*,
-bugprone-easily-swappable-parameters,
cert-dcl58-cpp,cert-env33-c,cert-err34-c,cert-flp30-c,cert-str34-c,
clang-analyzer-core.*,clang-analyzer-cplusplus.*,clang-analyzer-deadcode.*,
clang-analyzer-nullability.*,clang-analyzer-unix.*,clang-analyzer-valist.*,
clang-analyzer-security.*,
-clang-analyzer-security.insecureAPI.strcpy,
-clang-analyzer-security.insecureAPI.DeprecatedOrUnsafeBufferHandling,
misc-redundant-expression,
readability-misleading-indentation"
CHECKS=$(printf '%s' "$CHECKS" | tr -d ' \n')
files=$(find $SOURCES -name '*.cpp' | sort)
# shellcheck disable=SC2086
clang-tidy -p "$BUILD_DIR" --quiet --checks="$CHECKS" --warnings-as-errors='*' \
    --extra-arg=--target=i686-w64-mingw32 \
    --header-filter="^$(pwd)/(app|discovery|removal|log|platform)/" $files >"$BUILD_DIR/clang-tidy.log" 2>&1 ||
    status=1
# Drop the counts of what was found, and left alone, in the system headers.
grep -v 'warnings\{0,1\} \(and [0-9]* errors\{0,1\} \)\{0,1\}generated\.$' "$BUILD_DIR/clang-tidy.log"

if [ "$status" -eq 0 ]; then
    echo "static analysis: clean"
else
    echo "static analysis: findings above" >&2
fi
exit $status

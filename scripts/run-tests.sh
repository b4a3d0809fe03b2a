#!/bin/sh
# Runs the tests of BUILD_DIR (default build/win64) under Wine: a fresh private prefix
# in $BUILD_DIR/wineprefix, a private Xvfb display and the prefix's own wineserver, all
# shut down on the way out. Extra arguments go to ctest (e.g. -R log_test).
set -u
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build/win64}
if [ ! -f "$BUILD_DIR/CTestTestfile.cmake" ]; then
    echo "run-tests.sh: no tests in $BUILD_DIR (build with scripts/build.sh --tests)" >&2
    exit 2
fi

. scripts/wine-session.sh
started=$(date +%s)
wine_session_start "$BUILD_DIR" wineprefix || exit 2
echo "Wine prefix ready in $(($(date +%s) - started)) s ($WINEPREFIX, display $DISPLAY)"

(cd "$BUILD_DIR" && ctest --output-on-failure "$@")

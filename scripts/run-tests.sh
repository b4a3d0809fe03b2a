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
build=$(cd "$BUILD_DIR" && pwd)

export WINEPREFIX="$build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No offers to download Mono or Gecko, no menu entries written into the home folder.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINESERVER WINELOADER

xvfb_pid=""
display_file=$(mktemp "${TMPDIR:-/tmp}/xvfb-display.XXXXXX")
cleanup() {
    trap - EXIT INT TERM HUP
    wineserver -k >/dev/null 2>&1
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -f "$display_file"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# The display comes first: every Wine process of the run, wineboot included, uses it.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$display_file" \
    >"$build/xvfb.log" 2>&1 &
xvfb_pid=$!
waited=0
while [ ! -s "$display_file" ]; do
    if ! kill -0 "$xvfb_pid" 2>/dev/null || [ "$waited" -ge 100 ]; then
        echo "run-tests.sh: Xvfb did not start (see $build/xvfb.log)" >&2
        exit 2
    fi
    sleep 0.1
    waited=$((waited + 1))
done
export DISPLAY=":$(head -n 1 "$display_file")"

rm -rf "$WINEPREFIX"
started=$(date +%s)
# The server and the prefix's services outlive wineboot and keep the handles they were
# given: theirs go to a file, never to the caller's pipes.
wineserver -p >"$build/wineserver.log" 2>&1
if ! wine wineboot --init </dev/null >"$build/wineboot.log" 2>&1; then
    echo "run-tests.sh: wineboot failed (see $build/wineboot.log)" >&2
    exit 2
fi
# Without a window manager on the display, Wine waits 2 s for one whenever a managed
# window (every message box) closes: let Wine place the windows itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null \
    >>"$build/wineboot.log" 2>&1
echo "Wine prefix ready in $(($(date +%s) - started)) s ($WINEPREFIX, display $DISPLAY)"

(cd "$build" && ctest --output-on-failure "$@")
status=$?
exit $status

#!/bin/sh
# Runs the tests under Wine on a private Xvfb display, each test program in a prefix of its
# own: a fresh template prefix per run, and for every test program a clone of it
# (scripts/wine-run), with the clone's own wineserver; all shut down on the way out. Where
# Wine starts 32-bit programs (scripts/wine-session.sh decides, from the probe's answer):
#   win32     pure 32-bit prefixes (Windows 95 to XP): the whole suite of build/win32
#   wow64     64-bit prefixes, 32-bit programs through WoW64 (Vista to 10): the end-to-end
#             table (the tests labelled wow64)
#   fallback  the check of the fallback below: the end-to-end main paths of the x86_64
#             twin, through Wine's 64-bit loader alone
# and every test but the fallback's starts the shipped dist/win32/vxwipe.exe itself.
# Otherwise the one run is
#   win64     the whole suite of the x86_64 twin (build/win64) in 64-bit prefixes, through
#             Wine's 64-bit loader alone, starting its vxwipe.exe.
# PREFIXES picks runs ("win32 wow64 fallback" by default); extra arguments go to ctest in
# every run (e.g. -R log_test, --schedule-random). VXWIPE_TEST_TIME_SCALE (a whole number,
# 1 by default) multiplies every time limit of the tests. Ends with a summary: the program,
# each run, the version table.
set -u
cd "$(dirname "$0")/.." || exit 2
RESULTS=build/test-results
case ${VXWIPE_TEST_TIME_SCALE:-1} in
'' | *[!0-9]* | 0*)
    echo "run-tests.sh: VXWIPE_TEST_TIME_SCALE must be a whole number from 1 up" >&2
    exit 2
    ;;
esac
export VXWIPE_TEST_TIME_SCALE="${VXWIPE_TEST_TIME_SCALE:-1}"

# shellcheck disable=SC1091
. scripts/wine-session.sh
machine=$(wine_session_machine_kind)
wine_session_use "$machine"
main_program=$VXWIPE_PROGRAM
if [ "$machine" = win32 ]; then
    runs=${PREFIXES:-win32 wow64 fallback}
else
    runs=win64
    echo "Wine cannot start 32-bit programs here ($(cat "$WINE_SESSION_PROBE_ANSWER" 2>/dev/null ||
        echo 'not probed: run scripts/probe-wine32.sh')): running the x86_64 twin through" \
        "Wine's 64-bit loader alone."
fi
# The rows of the fallback's check: the main paths, as one 9x and one NT version.
FALLBACK_ROWS='Versions/Uninstall.*_win95_win64:Versions/Uninstall.*_win7_win64'

# ctest in the run's build folder: run_ctest LABEL ARGUMENT..., on the tests with that label
# only where LABEL is not empty.
run_ctest() {
    only=$1
    shift
    [ -z "$only" ] || set -- -L "$only" "$@"
    (cd "$build" && ctest "$@")
}

rm -rf "$RESULTS"
mkdir -p "$RESULTS"
status=0
for run in $runs; do
    filter=""
    case $run in
    win32) kind=win32 arch=win32 label="" ;;
    wow64) kind=win32 arch=win64 label="^wow64$" ;;
    win64) kind=twin arch=win64 label="" ;;
    fallback) kind=twin arch=win64 label="^fallback$" filter=$FALLBACK_ROWS ;;
    *)
        echo "run-tests.sh: unknown run $run (win32, wow64, fallback)" >&2
        exit 2
        ;;
    esac
    wine_session_use "$kind"
    build=$VXWIPE_BUILD
    program=$VXWIPE_PROGRAM
    if [ ! -f "$program" ]; then
        echo "run-tests.sh: $program is missing (make test builds it)" >&2
        exit 2
    fi
    if [ ! -f "$build/CTestTestfile.cmake" ]; then
        echo "run-tests.sh: no tests in $build (build with scripts/build.sh --tests)" >&2
        exit 2
    fi
    mkdir -p "$RESULTS/$run"
    # The programs selected, so that the summary can name any that left no report.
    run_ctest "$label" -N "$@" | sed -n 's/^ *Test *#[0-9]*: //p' >"$RESULTS/$run/selected"
    if [ ! -s "$RESULTS/$run/selected" ]; then
        echo "Run $run: no test selected"
        echo "0 0" >"$RESULTS/$run/ctest-status"
        continue
    fi
    started=$(date +%s)
    wine_session_prefix "$build" "prefix-$run" "$arch" || exit 2
    # The tests find the program under test and write their results through these.
    VXWIPE_UNDER_TEST=$("$VXWIPE_WINE" winepath -w "$(pwd)/$program" 2>/dev/null | tr -d '\r')
    GTEST_OUTPUT="xml:$("$VXWIPE_WINE" winepath -w "$(pwd)/$RESULTS/$run" 2>/dev/null | tr -d '\r')\\"
    export VXWIPE_UNDER_TEST GTEST_OUTPUT
    if [ -n "$filter" ]; then
        export GTEST_FILTER="$filter"
    else
        unset GTEST_FILTER
    fi
    wine_session_seal "$build/clones-$run" || exit 2
    echo "Run $run: template prefix ready in $(($(date +%s) - started)) s ($WINEPREFIX," \
        "display $DISPLAY); each test program runs in a clone of it in $WINE_CLONES"
    # ctest's own limit comes after that of scripts/wine-run, which names what overstayed.
    timeout=$(wine_session_time_limit 660)
    run_ctest "$label" --output-on-failure --timeout "$timeout" "$@"
    result=$?
    echo "$result $(($(date +%s) - started))" >"$RESULTS/$run/ctest-status"
    [ "$result" = 0 ] || status=1
done

# shellcheck disable=SC2086 # one argument per run
/usr/bin/python3 scripts/test-summary.py "$RESULTS" "$main_program" "$machine" $runs
exit $status

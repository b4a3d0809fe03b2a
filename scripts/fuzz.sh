#!/bin/sh
# The campaign of generated hostile worlds (tests/world_test.cpp, Worlds.DISABLED_Campaign):
# WORLDS worlds from seed SEED on (world i has the seed SEED + i), each laid, mutated, run
# and judged by a whole-machine diff; a failing world is printed with its seed and
# mutations, shrunk, and printed as a row for the tests.
#   scripts/fuzz.sh [WORLDS [SEED [LANES]]]      (make fuzz WORLDS=n SEED=s LANES=k)
# Each run's worlds go to LANES lanes (2 by default, one a core) that run at the same
# time, each in a fresh private prefix of its own with its own server and display; a
# world's verdict depends on nothing of another lane. Ends with the totals
# (scripts/fuzz-summary.py): the rate in worlds per minute, the share of each phase, and
# one line, "n worlds, k held". Exits with 0 only if every world held.
# SEED=s WORLDS=1 replays world s.
set -u
cd "$(dirname "$0")/.." || exit 2
WORLDS=${1:-${WORLDS:-100}}
SEED=${2:-${SEED:-1}}
LANES=${3:-${LANES:-2}}
case "$WORLDS$SEED$LANES" in
'' | *[!0-9]*)
    echo "fuzz.sh: WORLDS, SEED and LANES are whole numbers" >&2
    exit 2
    ;;
esac
[ "$LANES" -ge 1 ] || LANES=1
# One world needs one lane.
[ "$LANES" -le "$WORLDS" ] || LANES=$WORLDS
PER_WORLD_LIMIT=180 # seconds a world may take at most, its shrinking included

# shellcheck disable=SC1091
. scripts/wine-session.sh
# The runs of this kind of machine: every world belongs to the run of its Windows version;
# the x86_64 twin runs them all.
if [ "$(wine_session_machine_kind)" = win32 ]; then
    runs="win32:win32:win32 wow64:win64:win32"
else
    runs="win64:win64:twin"
fi
out_dir=build/fuzz
rm -rf "$out_dir"
mkdir -p "$out_dir"
started=$(date +%s.%N)

# One lane of a run, in a session of its own (prefix, server and display), which its
# subshell stops on the way out: run_lane RUN ARCH KIND LANE
run_lane() {
    (
        wine_session_use "$3"
        build=$VXWIPE_BUILD
        program=$build/bin/world_test.exe
        output=$out_dir/campaign-$1-$4.txt
        if [ ! -f "$program" ]; then
            echo "fuzz.sh: $program is missing (make fuzz builds it)" >&2
            exit 2
        fi
        wine_session_prefix "$build" "fuzz-prefix-$1-$4" "$2" >"$output.boot" 2>&1 || {
            cat "$output.boot" >&2
            exit 2
        }
        VXWIPE_UNDER_TEST=$("$VXWIPE_WINE" winepath -w "$(pwd)/$VXWIPE_PROGRAM" 2>/dev/null |
            tr -d '\r')
        VXWIPE_FUZZ_SEED=$SEED VXWIPE_FUZZ_WORLDS=$WORLDS
        VXWIPE_FUZZ_LANES=$LANES VXWIPE_FUZZ_LANE=$4
        export VXWIPE_UNDER_TEST VXWIPE_FUZZ_SEED VXWIPE_FUZZ_WORLDS VXWIPE_FUZZ_LANES \
            VXWIPE_FUZZ_LANE
        echo "Run $1, lane $4 of $LANES: against $VXWIPE_PROGRAM ($WINEPREFIX, display $DISPLAY)"
        limit=$(wine_session_time_limit $((PER_WORLD_LIMIT * WORLDS / LANES + 120)))
        # Through a file: Wine's background processes would hold a pipe open. It is there
        # before the program starts, for tail to follow.
        : >"$output"
        timeout -k 10 "$limit" "$VXWIPE_WINE" "$program" --gtest_also_run_disabled_tests \
            --gtest_filter=Worlds.DISABLED_Campaign </dev/null >"$output" 2>&1 &
        pid=$!
        # The worlds' own lines as they come; the program writes CR LF.
        tail -n +1 --pid=$pid -f "$output" | tr -d '\r' |
            grep --line-buffered -e '^world ' -e '^WORLD ' -e '^  '
        wait $pid
    )
}

status=0
for entry in $runs; do
    run=${entry%%:*}
    rest=${entry#*:}
    echo "Run $run: worlds $SEED to $((SEED + WORLDS - 1)) in $LANES lanes"
    pids=""
    lane=0
    while [ "$lane" -lt "$LANES" ]; do
        run_lane "$run" "${rest%%:*}" "${rest#*:}" "$lane" &
        pids="$pids $!"
        lane=$((lane + 1))
    done
    for pid in $pids; do
        wait "$pid" || status=1
    done
done
/usr/bin/python3 scripts/fuzz-summary.py "$started" "$out_dir"/campaign-*.txt || status=1
exit $status

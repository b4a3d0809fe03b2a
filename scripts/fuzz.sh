#!/bin/sh
# The campaign of generated hostile worlds (tests/world_test.cpp, Worlds.DISABLED_Campaign):
# WORLDS worlds from seed SEED on (world i has the seed SEED + i), each laid, mutated, run
# and judged by a whole-machine diff in a fresh private prefix of its run; a failing world
# is printed with its seed and mutations, shrunk, and printed as a row for the tests.
#   scripts/fuzz.sh [WORLDS [SEED]]      (make fuzz WORLDS=n SEED=s)
# Ends with one line, "n worlds, k held", and exits with 0 only if every world held.
# SEED=s WORLDS=1 replays world s.
set -u
cd "$(dirname "$0")/.." || exit 2
WORLDS=${1:-${WORLDS:-100}}
SEED=${2:-${SEED:-1}}
case "$WORLDS$SEED" in
'' | *[!0-9]*)
    echo "fuzz.sh: WORLDS and SEED are whole numbers" >&2
    exit 2
    ;;
esac
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
mkdir -p "$out_dir"
total=0
held=0
status=0
for entry in $runs; do
    run=${entry%%:*}
    rest=${entry#*:}
    arch=${rest%%:*}
    wine_session_use "${rest#*:}"
    build=$VXWIPE_BUILD
    program=$build/bin/world_test.exe
    if [ ! -f "$program" ]; then
        echo "fuzz.sh: $program is missing (make fuzz builds it)" >&2
        exit 2
    fi
    wine_session_prefix "$build" "fuzz-prefix-$run" "$arch" || exit 2
    under_test=$VXWIPE_PROGRAM
    VXWIPE_UNDER_TEST=$("$VXWIPE_WINE" winepath -w "$(pwd)/$under_test" 2>/dev/null | tr -d '\r')
    VXWIPE_FUZZ_SEED=$SEED
    VXWIPE_FUZZ_WORLDS=$WORLDS
    export VXWIPE_UNDER_TEST VXWIPE_FUZZ_SEED VXWIPE_FUZZ_WORLDS
    echo "Run $run: worlds $SEED to $((SEED + WORLDS - 1)) against $under_test ($WINEPREFIX)"
    output=$out_dir/campaign-$run.txt
    limit=$(wine_session_time_limit $((PER_WORLD_LIMIT * WORLDS + 120)))
    # Through a file: Wine's background processes would hold a pipe open. It is there
    # before the program starts, for tail to follow.
    : >"$output"
    timeout -k 10 "$limit" "$VXWIPE_WINE" "$program" --gtest_also_run_disabled_tests \
        --gtest_filter=Worlds.DISABLED_Campaign </dev/null >"$output" 2>&1 &
    pid=$!
    # The program writes CR LF.
    tail -n +1 --pid=$pid -f "$output" | tr -d '\r' | grep --line-buffered -v ' worlds, [0-9]* held$'
    wait $pid || status=1
    line=$(tr -d '\r' <"$output" | grep ' worlds, [0-9]* held$' | tail -n 1)
    if [ -z "$line" ]; then
        echo "fuzz.sh: the $run campaign ended without its count (see $output)"
        status=1
        continue
    fi
    total=$((total + ${line%% worlds*}))
    line=${line#* worlds, }
    held=$((held + ${line%% held}))
done
[ "$total" = "$held" ] || status=1
echo "$total worlds, $held held"
exit $status

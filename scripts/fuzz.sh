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

# The runs of this machine and their build, from the probe's answer (the one place that
# asks): every world belongs to the run of its Windows version; the x86_64 twin runs them
# all, through the 64-bit loader alone, since Debian's "wine" would take the 32-bit one.
fuzz_runs() {
    if grep -q '^yes' build/wine32-probe 2>/dev/null; then
        echo "win32:win32:build/win32 wow64:win64:build/win32"
        return
    fi
    mkdir -p build/fuzz/loader
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
        >build/fuzz/loader/wine
    chmod +x build/fuzz/loader/wine
    echo "win64:win64:build/win64"
}

# shellcheck disable=SC1091
. scripts/wine-session.sh
out_dir=build/fuzz
mkdir -p "$out_dir"
runs=$(fuzz_runs)
[ -x build/fuzz/loader/wine ] && ! grep -q '^yes' build/wine32-probe 2>/dev/null &&
    PATH=$(pwd)/build/fuzz/loader:$PATH
first=yes
total=0
held=0
status=0
for entry in $runs; do
    run=${entry%%:*}
    rest=${entry#*:}
    arch=${rest%%:*}
    build=${rest#*:}
    program=$build/bin/world_test.exe
    if [ ! -f "$program" ]; then
        echo "fuzz.sh: $program is missing (make fuzz builds it)" >&2
        exit 2
    fi
    if [ "$first" = yes ]; then
        export WINEARCH="$arch"
        wine_session_start "$build" "fuzz-prefix-$run" || exit 2
        first=no
    else
        wine_session_next_prefix "fuzz-prefix-$run" "$arch" || exit 2
    fi
    under_test=dist/win32/vxwipe.exe
    [ "$run" = win64 ] && under_test=$build/bin/vxwipe.exe
    VXWIPE_UNDER_TEST=$(wine winepath -w "$(pwd)/$under_test" 2>/dev/null | tr -d '\r')
    VXWIPE_FUZZ_SEED=$SEED
    VXWIPE_FUZZ_WORLDS=$WORLDS
    export VXWIPE_UNDER_TEST VXWIPE_FUZZ_SEED VXWIPE_FUZZ_WORLDS
    echo "Run $run: worlds $SEED to $((SEED + WORLDS - 1)) against $under_test ($WINEPREFIX)"
    output=$out_dir/campaign-$run.txt
    limit=$(wine_session_time_limit $((PER_WORLD_LIMIT * WORLDS + 120)))
    # Through a file: Wine's background processes would hold a pipe open. It is there
    # before the program starts, for tail to follow.
    : >"$output"
    timeout -k 10 "$limit" wine "$program" --gtest_also_run_disabled_tests \
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

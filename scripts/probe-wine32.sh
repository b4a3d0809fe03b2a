#!/bin/sh
# Can this machine's Wine start a 32-bit Windows program? Builds a tiny PE32 program and
# starts it in a throwaway pure 32-bit prefix (build/probe). Prints one plain line and
# leaves the answer in build/wine32-probe: "yes" or "no: <why>", which the build, the
# tests and the demonstration follow. WINE32=no answers "no" without asking Wine, to try
# the fallback on a machine that can.
set -u
cd "$(dirname "$0")/.." || exit 2
WORK=build/probe
PROBE_TIME_LIMIT=120 # seconds for starting the program, the prefix's creation included
mkdir -p "$WORK"
# shellcheck disable=SC1091
. scripts/wine-session.sh
ANSWER=$WINE_SESSION_PROBE_ANSWER
rm -f "$ANSWER"

answer_no() {
    echo "no: $1" >"$ANSWER"
    echo "This machine cannot start 32-bit Windows programs under Wine ($1):" \
        "the tests and the demonstration run the x86_64 twin through Wine's 64-bit loader" \
        "alone, instead of the shipped dist/win32/vxwipe.exe."
    exit 0
}

[ "${WINE32:-}" = no ] && answer_no "WINE32=no"
i686-w64-mingw32-gcc -Os -static -o "$WORK/wine32_probe.exe" tools/probe/wine32_probe.c \
    >"$WORK/compile.log" 2>&1 || answer_no "the probe did not compile, see $WORK/compile.log"

# The one start of the i386 loader that asks whether it works.
wine_session_use win32
export WINEARCH=win32
wine_session_start "$WORK" prefix >/dev/null 2>&1 ||
    answer_no "Wine made no pure 32-bit prefix, see $WORK/wineboot.log"
output=$(timeout -k 5 "$PROBE_TIME_LIMIT" "$VXWIPE_WINE" "$WORK/wine32_probe.exe" </dev/null \
    2>"$WORK/probe.err")
case "$output" in
*"PE32 program started, 32-bit"*) ;;
*) answer_no "a PE32 program did not start, see $WORK/probe.err" ;;
esac
echo "yes" >"$ANSWER"
echo "Wine starts 32-bit Windows programs here: the tests and the demonstration run the" \
    "shipped dist/win32/vxwipe.exe."

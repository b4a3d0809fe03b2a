#!/bin/bash
# Lays a sample VORTA-X installation in a fresh private Wine prefix, runs the real
# vxwipe.exe on it, and shows what was there before and after, then the log of the run.
# Settings (environment or make variables):
#   GENERATION=1|2|3      installer generation (3)
#   SCOPE=system|user     all users or the current user (system)
#   LANGUAGE=en|ja        English or Japanese system (en)
#   WINDOWS=nt|win98      the NT line or Windows 98 (nt)
#   MODE=normal|IS        normal mode, or the installer's own uninstall first (normal)
#   BOXES=0|1             1: no -silent, the real boxes on your display to answer (0)
set -u
cd "$(dirname "$0")/.."
GENERATION=${GENERATION:-3}
SCOPE=${SCOPE:-system}
LANGUAGE=${LANGUAGE:-en}
WINDOWS=${WINDOWS:-nt}
MODE=${MODE:-normal}
BOXES=${BOXES:-0}
BUILD_DIR=${BUILD_DIR:-build/win64}
BIN="$BUILD_DIR/bin"
INSTALL_DIR='C:\Program Files\VORTA\VORTA-X'

. scripts/wine-session.sh
display_mode=xvfb
if [ "$BOXES" = 1 ]; then
    if [ -z "${DISPLAY:-}" ]; then
        echo "demo: BOXES=1 needs a display (DISPLAY is not set)" >&2
        exit 2
    fi
    display_mode=user-display
fi
echo "Preparing a fresh Wine prefix in $BUILD_DIR/demo-prefix ..."
wine_session_start "$BUILD_DIR" demo-prefix "$display_mode" || exit 2

if [ "$LANGUAGE" = ja ]; then
    export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
    codepage=CP932
else
    export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
    codepage=CP1252
fi
if [ "$WINDOWS" = win98 ]; then
    for program in vxwipe.exe vxsample.exe; do
        wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$program" /v Version /d win98 /f \
            >/dev/null 2>&1
    done
fi

bin_windows=$(wine winepath -w "$BIN" 2>/dev/null | tr -d '\r')
sample_args=(-generation "$GENERATION" -scope "$SCOPE" -dir "$INSTALL_DIR")
if [ "$GENERATION" = 3 ]; then
    sample_args+=(-chained "$bin_windows\\is_standin.exe /uninst /s")
fi
if [ "$SCOPE" = user ]; then
    export IS_STANDIN_REMOVE=HKCU
else
    export IS_STANDIN_REMOVE=HKLM
fi

work="$BUILD_DIR/demo"
rm -rf "$work" && mkdir -p "$work"
work_windows=$(wine winepath -w "$work" 2>/dev/null | tr -d '\r')
sample() {
    wine "$BIN/vxsample.exe" "$@" </dev/null >>"$work/vxsample.out" 2>&1
}

echo "Laying the sample installation: generation $GENERATION, scope $SCOPE," \
    "$LANGUAGE, $WINDOWS ..."
sample lay "${sample_args[@]}" || { cat "$work/vxsample.out"; exit 1; }
sample inventory "${sample_args[@]}" -out "$work_windows\\before.txt"

arguments=()
[ "$MODE" = IS ] && arguments+=(-IS)
[ "$BOXES" = 1 ] || arguments+=(-silent)
echo "Running: vxwipe.exe ${arguments[*]}"
[ "$BOXES" = 1 ] && echo "(answer its boxes on your display)"
wine "$BIN/vxwipe.exe" "${arguments[@]}" </dev/null >"$work/vxwipe.out" 2>&1
exit_code=$?
sample inventory "${sample_args[@]}" -out "$work_windows\\after.txt"

iconv -f "$codepage" -t UTF-8 "$work/before.txt" | tr -d '\r' >"$work/before.utf8"
iconv -f "$codepage" -t UTF-8 "$work/after.txt" | tr -d '\r' >"$work/after.utf8"
echo
paste -d '\t' "$work/before.utf8" "$work/after.utf8" | awk -F '\t' '
    { what[NR] = $1; before[NR] = $2; after[NR] = $4; if (length($1) > width) width = length($1) }
    END {
        printf "%-" width "s  %-8s %s\n", "What", "Before", "After"
        for (i = 1; i <= NR; i++) printf "%-" width "s  %-8s %s\n", what[i], before[i], after[i]
    }'
echo
echo "vxwipe.exe exit code: $exit_code"
echo
log=$(find "$WINEPREFIX/drive_c/users" -name vxwipe.log 2>/dev/null | head -n 1)
if [ -n "$log" ]; then
    echo "The log of the run ($log):"
    iconv -f "$codepage" -t UTF-8 "$log" | tr -d '\r'
else
    echo "No log was written."
fi

#!/bin/bash
# Lays a sample VORTA-X installation in a fresh private Wine prefix, with a copy of the
# shipped dist/win32/vxwipe.exe where the product's Uninstall entry names it, starts that
# copy from the install folder as Programs and Features does, and shows what was there
# before and after, what waits for the next start, then the log of the run. Settings
# (environment or make variables):
#   GENERATION=1|2|3      installer generation (3)
#   SCOPE=system|user     all users or the current user (system)
#   LANGUAGE=en|ja        English or Japanese system (en); ja also puts the installation
#                         and the temporary folder into folders named in Japanese
#   PREFIX=win32|wow64    a pure 32-bit prefix (32-bit Windows) or a 64-bit one, where the
#                         programs run through WoW64 (64-bit Windows) (win32)
#   WINDOWS=win95|win98|winme|nt40|win2k|winxp|vista|win7|win10
#                         the version Wine poses as (winxp with PREFIX=win32, else win10)
#   MODE=normal|IS        normal mode, or the installer's own uninstall first (normal)
#   BOXES=0|1             1: no -silent, the real boxes on your display to answer (0)
# Where Wine cannot start 32-bit programs (scripts/wine-session.sh decides), the x86_64 twin
# runs, through Wine's 64-bit loader alone.
set -u
cd "$(dirname "$0")/.." || exit 2
GENERATION=${GENERATION:-3}
SCOPE=${SCOPE:-system}
LANGUAGE=${LANGUAGE:-en}
PREFIX=${PREFIX:-win32}
MODE=${MODE:-normal}
BOXES=${BOXES:-0}
VERSIONS="win95 win98 winme nt40 win2k winxp vista win7 win10"
# A folder name whose code page 932 bytes hold 0x5C as a trail byte (0x83 0x5C, 0x95 0x5C).
JAPANESE_FOLDER="ソフト表"

case $PREFIX in
win32) arch=win32 default_windows=winxp program_files='C:\Program Files' ;;
wow64) arch=win64 default_windows=win10 program_files='C:\Program Files (x86)' ;;
*)
    echo "demo: PREFIX is win32 or wow64, not $PREFIX" >&2
    exit 2
    ;;
esac
WINDOWS=${WINDOWS:-$default_windows}
case " $VERSIONS " in
*" $WINDOWS "*) ;;
*)
    echo "demo: WINDOWS is one of $VERSIONS, not $WINDOWS" >&2
    exit 2
    ;;
esac
# shellcheck disable=SC1091
. scripts/wine-session.sh
machine=$(wine_session_machine_kind)
wine_session_use "$machine"
if [ "$machine" = twin ]; then
    echo "Wine cannot start 32-bit programs here: the demonstration runs the x86_64 twin" \
        "through Wine's 64-bit loader alone."
    arch=win64
    PREFIX=win64
fi
BUILD_DIR=$VXWIPE_BUILD
PROGRAM=$VXWIPE_PROGRAM
BIN="$BUILD_DIR/bin"
for file in "$PROGRAM" "$BIN/vxsample.exe" "$BIN/is_standin.exe"; do
    if [ ! -f "$file" ]; then
        echo "demo: $file is missing (make demo builds it)" >&2
        exit 2
    fi
done

display_mode=xvfb
if [ "$BOXES" = 1 ]; then
    if [ -z "${DISPLAY:-}" ]; then
        echo "demo: BOXES=1 needs a display (DISPLAY is not set)" >&2
        exit 2
    fi
    display_mode=user-display
fi
echo "Preparing a fresh Wine prefix ($PREFIX) in $BUILD_DIR/demo-prefix ..."
export WINEARCH=$arch
wine_session_start "$BUILD_DIR" demo-prefix "$display_mode" || exit 2

if [ "$LANGUAGE" = ja ]; then
    export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
    codepage=CP932
    install_dir="$program_files\\VORTA\\$JAPANESE_FOLDER"
    # Wine takes a program's TEMP from the prefix's HKCU\Environment, not from Unix.
    temp_dir="C:\\$JAPANESE_FOLDER\\Temp"
    mkdir -p "$("$VXWIPE_WINE" winepath -u "$temp_dir" 2>/dev/null)"
    for name in TEMP TMP; do
        "$VXWIPE_WINE" reg add 'HKCU\Environment' /v "$name" /d "$temp_dir" /f >/dev/null 2>&1
    done
else
    export LANG=C.UTF-8 LC_ALL=C.UTF-8
    codepage=CP1252
    install_dir="$program_files\\VORTA\\VORTA-X"
fi
for program in vxwipe.exe vxsample.exe; do
    "$VXWIPE_WINE" reg add "HKCU\\Software\\Wine\\AppDefaults\\$program" /v Version /d "$WINDOWS" /f \
        >/dev/null 2>&1
done

bin_windows=$("$VXWIPE_WINE" winepath -w "$BIN" 2>/dev/null | tr -d '\r')
program_windows=$("$VXWIPE_WINE" winepath -w "$(pwd)/$PROGRAM" 2>/dev/null | tr -d '\r')
installed_program="$install_dir\\vxwipe.exe"
sample_args=(-generation "$GENERATION" -scope "$SCOPE" -dir "$install_dir"
    -uninstaller "$program_windows")
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
work_windows=$("$VXWIPE_WINE" winepath -w "$work" 2>/dev/null | tr -d '\r')
sample() {
    "$VXWIPE_WINE" "$BIN/vxsample.exe" "$@" </dev/null >>"$work/vxsample.out" 2>&1
}

echo "Laying the sample installation: generation $GENERATION, scope $SCOPE," \
    "$LANGUAGE, Wine posing as $WINDOWS ..."
sample lay "${sample_args[@]}" || {
    cat "$work/vxsample.out"
    exit 1
}
sample inventory "${sample_args[@]}" -out "$work_windows\\before.txt"

arguments=()
[ "$MODE" = IS ] && arguments+=(-IS)
[ "$BOXES" = 1 ] || arguments+=(-silent)
echo "Running: $installed_program ${arguments[*]}"
echo "  (the copy of $PROGRAM that the Uninstall entry names, started from the install" \
    "folder as Programs and Features starts it)"
[ "$BOXES" = 1 ] && echo "(answer its boxes on your display)"
"$VXWIPE_WINE" "$installed_program" "${arguments[@]}" </dev/null >"$work/vxwipe.out" 2>&1
exit_code=$?
sample inventory "${sample_args[@]}" -out "$work_windows\\after.txt"
sample pending -out "$work_windows\\pending.txt"

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
echo "Waiting for the next start (the move-on-reboot list; WININIT.INI on Windows 9x):"
if [ -s "$work/pending.txt" ]; then
    iconv -f "$codepage" -t UTF-8 "$work/pending.txt" | tr -d '\r' | sed 's/^/  /'
else
    echo "  nothing"
fi
echo
echo "$installed_program exit code: $exit_code"
echo
log=$(find "$WINEPREFIX/drive_c" -name vxwipe.log 2>/dev/null | head -n 1)
if [ -n "$log" ]; then
    echo "The log of the run ($log):"
    iconv -f "$codepage" -t UTF-8 "$log" | tr -d '\r'
else
    echo "No log was written."
fi

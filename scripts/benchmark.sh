#!/bin/bash
# Times the full silent uninstall of the sample installation against a baseline that
# makes only the bare deletions and against an NSIS uninstaller scripted to remove the
# same things; times the key-tree deletion on 1,000 and 10,000 keys; prints one table.
# Everything runs in one fresh private Wine prefix. The x86_64 twin is what runs: this
# Wine is 64-bit only.
# Settings (environment or make variables):
#   RUNS=7                timed runs of each uninstall, after one untimed warm-up round
#   TREE_RUNS=5           timed deletions of each key tree
#   BUILD_DIR=build/win64 where the programs are (bin/)
#   SHIPPED=dist/win32/vxwipe.exe   the shipped program, whose size is reported
set -u
cd "$(dirname "$0")/.." || exit 2
RUNS=${RUNS:-7}
TREE_RUNS=${TREE_RUNS:-5}
BUILD_DIR=${BUILD_DIR:-build/win64}
BIN="$BUILD_DIR/bin"
SHIPPED=${SHIPPED:-dist/win32/vxwipe.exe}
INSTALL_DIR='C:\Program Files\VORTA\VORTA-X'
# The generation whose keys are exactly those a normal-mode uninstall removes.
SAMPLE_ARGS=(-generation 1 -scope system -dir "$INSTALL_DIR")
TREE_SIZES=(1000 10000)
NSIS_STUBS=/usr/share/nsis/Stubs

for program in vxwipe vxsample bench_timer bench_baseline bench_regtree; do
    if [ ! -f "$BIN/$program.exe" ]; then
        echo "benchmark: $BIN/$program.exe is missing (make benchmark builds it)" >&2
        exit 2
    fi
done

# NSIS is needed here only, so it is installed here and not with the build's tools.
nsis_note=""
if ! command -v makensis >/dev/null 2>&1 && [ "$(id -u)" = 0 ]; then
    echo "Installing nsis for the peer uninstaller ..."
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends nsis >/dev/null
fi
if ! command -v makensis >/dev/null 2>&1; then
    nsis_note="makensis not available"
elif ! ls "$NSIS_STUBS"/zlib-amd64-unicode >/dev/null 2>&1; then
    nsis_note="no 64-bit NSIS stub"
fi

load_at_start=$(cut -d ' ' -f 1 /proc/loadavg)
. scripts/wine-session.sh
echo "Preparing a fresh Wine prefix in $BUILD_DIR/bench-prefix ..."
wine_session_start "$BUILD_DIR" bench-prefix || exit 2
export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8

work="$BUILD_DIR/bench"
rm -rf "$work" && mkdir -p "$work"
to_windows() {
    wine winepath -w "$1" 2>/dev/null | tr -d '\r'
}
work_windows=$(to_windows "$work")
bin_windows=$(to_windows "$BIN")

sample() {
    wine "$BIN/vxsample.exe" "$1" "${SAMPLE_ARGS[@]}" "${@:2}" </dev/null \
        >>"$work/vxsample.out" 2>&1
}

lay() {
    if ! sample lay; then
        echo "benchmark: the sample could not be laid:" >&2
        cat "$work/vxsample.out" >&2
        exit 1
    fi
}

# Everything of the installation gone, every neighbour still there.
check_removed() {
    sample inventory -out "$work_windows\\after.txt"
    tr -d '\r' <"$work/after.txt" | awk -F '\t' '
        /^neighbour: / { if ($2 != "present") wrong = wrong "\n  " $1 ": " $2; next }
        $2 != "absent" && $2 !~ /^0\// { wrong = wrong "\n  " $1 ": " $2 }
        END { if (wrong != "") { printf "%s", wrong; exit 1 } }'
}

# "<milliseconds> <exit code>" of one run of a Windows command line: the time from just
# before its process is created to its end, taken inside Wine.
time_run() {
    wine "$BIN/bench_timer.exe" "$1" </dev/null 2>>"$work/timer.err" | tr -d '\r'
}

median() {
    tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 }
        END { if (NR == 0) exit; m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
              printf "%.1f", m }'
}

echo "Laying the sample installation and reading what it is made of ..."
lay
sample manifest -out "$work_windows\\manifest.txt"
tr -d '\r' <"$work/manifest.txt" >"$work/manifest.tsv"
field() {
    awk -F '\t' -v kind="$1" '$1 == kind { print $2 }' "$work/manifest.tsv"
}
install_dir=$(field dir)
folder=$(field folder)
file_count=$(field file | wc -l)
subdir_count=$(field subdir | wc -l)
shortcut_count=$(field shortcut | wc -l)
key_count=$(field key | wc -l)
folder_name=${folder##*\\}
if [ "$file_count" -eq 0 ] || [ -z "$folder" ] || [ "$key_count" -eq 0 ]; then
    echo "benchmark: the manifest of the sample is incomplete ($work/manifest.tsv)" >&2
    exit 1
fi

baseline_command="\"$bin_windows\\bench_baseline.exe\" -dir \"$install_dir\" -folder \"$folder\""
while IFS= read -r name; do
    baseline_command+=" -shortcut \"$name\""
done < <(field shortcut)
while IFS=$'\t' read -r kind root path; do
    [ "$kind" = key ] && baseline_command+=" -key $root \"$path\""
done <"$work/manifest.tsv"

# The peer: an NSIS uninstaller written by an installer that does nothing else.
write_nsis_script() {
    echo 'Unicode true'
    echo 'Target amd64-unicode'
    echo 'Name "VORTA-X"'
    echo 'OutFile "vxnsis-writer.exe"'
    echo 'SilentInstall silent'
    echo 'RequestExecutionLevel admin'
    echo "InstallDir \"$install_dir\""
    echo 'Section'
    echo '  WriteUninstaller "$EXEDIR\vxnsis-uninstall.exe"'
    echo 'SectionEnd'
    echo 'Section "Uninstall"'
    echo '  SetShellVarContext all'
    while IFS= read -r name; do
        echo "  Delete \"\$SMPROGRAMS\\$folder_name\\$name.lnk\""
    done < <(field shortcut)
    echo "  RMDir \"\$SMPROGRAMS\\$folder_name\""
    while IFS= read -r path; do
        echo "  Delete \"\$INSTDIR\\$path\""
    done < <(field file)
    while IFS= read -r path; do
        echo "  RMDir \"\$INSTDIR\\$path\""
    done < <(field subdir)
    echo '  RMDir "$INSTDIR"'
    while IFS=$'\t' read -r kind root path; do
        [ "$kind" = key ] && echo "  DeleteRegKey $root \"$path\""
    done <"$work/manifest.tsv"
    echo 'SectionEnd'
}

if [ -z "$nsis_note" ]; then
    echo "Building the NSIS uninstaller ..."
    write_nsis_script >"$work/vxnsis.nsi"
    if (cd "$work" && makensis -V2 vxnsis.nsi >makensis.log 2>&1) &&
        wine "$work/vxnsis-writer.exe" </dev/null >/dev/null 2>&1 &&
        [ -f "$work/vxnsis-uninstall.exe" ]; then
        nsis_version=$(makensis -VERSION 2>/dev/null | sed 's/^v//; s/-.*//')
    else
        nsis_note="the NSIS uninstaller could not be built (see $work/makensis.log)"
    fi
fi

contenders=(vxwipe baseline)
declare -A command
command[vxwipe]="\"$bin_windows\\vxwipe.exe\" -silent"
command[baseline]=$baseline_command
# "_?=" keeps the uninstaller where it is (no copy to TMP, no second process) and must
# come last, unquoted.
if [ -z "$nsis_note" ]; then
    contenders+=(nsis)
    command[nsis]="\"$work_windows\\vxnsis-uninstall.exe\" /S _?=$install_dir"
fi
command[startup]="\"$bin_windows\\bench_baseline.exe\""
declare -A times failed
for contender in "${contenders[@]}" startup; do
    times[$contender]=""
    failed[$contender]=""
done

# Rounds take the contenders in turn, so that a change of load strikes them alike;
# round 0 only warms up. The sample is laid again before every uninstall.
echo "Timing $RUNS runs of each uninstall (and one warm-up round) ..."
for round in $(seq 0 "$RUNS"); do
    for contender in "${contenders[@]}" startup; do
        [ "$contender" = startup ] || lay
        result=$(time_run "${command[$contender]}")
        milliseconds=${result% *}
        exit_code=${result#* }
        if [ -z "$result" ] || [ "$exit_code" != 0 ]; then
            failed[$contender]="exit code ${exit_code:-none}"
            continue
        fi
        if [ "$contender" != startup ]; then
            if ! leftovers=$(check_removed); then
                failed[$contender]="left behind or wrongly removed:$leftovers"
                continue
            fi
        fi
        [ "$round" = 0 ] || times[$contender]+=" $milliseconds"
    done
    [ "$round" = 0 ] || printf '  round %d of %d done\n' "$round" "$RUNS"
done

echo "Timing the key-tree deletion ..."
wine "$BIN/bench_regtree.exe" -runs "$TREE_RUNS" "${TREE_SIZES[@]}" </dev/null \
    >"$work/regtree.out" 2>"$work/regtree.err"
tree_status=$?
tree_output=$(tr -d '\r' <"$work/regtree.out")
load_at_end=$(cut -d ' ' -f 1 /proc/loadavg)

status=0
for contender in "${contenders[@]}" startup; do
    if [ -n "${failed[$contender]}" ]; then
        echo "benchmark: $contender failed: ${failed[$contender]}" >&2
        status=1
    fi
done

row() {
    printf '%-42s %11s %17s  %s\n' "$1" "$2" "${3:-}" "${4:-}"
}
median_of() {
    [ -n "${failed[$1]}" ] && { echo failed; return; }
    echo "${times[$1]}" | median
}
spread_of() {
    [ -n "${failed[$1]}" ] && return
    echo "${times[$1]}" | tr ' ' '\n' | grep . | sort -g | sed -n '1p;$p' | paste -sd ' ' |
        awk '{ printf "%.1f-%.1f ms", $1, $2 }'
}
ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else print "-" }'
}
group() {
    printf "%'d" "$1"
}
bytes() {
    echo "$(group "$(stat -c %s "$1")") bytes"
}

for contender in "${contenders[@]}" startup; do
    echo "$contender:${times[$contender]}"
done >"$work/times.txt"
vxwipe_median=$(median_of vxwipe)
baseline_median=$(median_of baseline)
echo
echo "Benchmark: medians of $RUNS runs ($work/times.txt); $(wine --version 2>/dev/null)," \
    "x86_64 build; load average $load_at_start at start, $load_at_end at end"
echo "One uninstall removes $file_count files, $subdir_count subdirectories and the install" \
    "directory, $shortcut_count shortcuts and their folder, $key_count key trees"
echo
row "What" "Median" "Min-max" "Size / note"
row "vxwipe.exe -silent, full uninstall" "$vxwipe_median ms" "$(spread_of vxwipe)" \
    "$(bytes "$BIN/vxwipe.exe") (x86_64 twin)"
row "baseline, bare platform calls" "$baseline_median ms" "$(spread_of baseline)" \
    "$(bytes "$BIN/bench_baseline.exe")"
row "  ratio vxwipe / baseline" "$(ratio "$vxwipe_median" "$baseline_median")"
if [ -n "$nsis_note" ]; then
    row "NSIS uninstaller" "-" "" "$nsis_note"
else
    nsis_median=$(median_of nsis)
    row "NSIS $nsis_version uninstaller /S (amd64-unicode)" "$nsis_median ms" \
        "$(spread_of nsis)" "$(bytes "$work/vxnsis-uninstall.exe")"
    row "  ratio vxwipe / NSIS" "$(ratio "$vxwipe_median" "$nsis_median")"
fi
row "empty process, start-up only" "$(median_of startup) ms" "$(spread_of startup)"
first_per_key=""
last_per_key=""
while read -r keys milliseconds per_key; do
    [ -n "$keys" ] || continue
    row "MyRegDeleteKeySub, $(group "$keys") keys" "$(printf '%.1f' "$milliseconds") ms" "" \
        "$(printf '%.1f' "$per_key") us per key"
    [ -n "$first_per_key" ] || first_per_key=$per_key
    last_per_key=$per_key
done <<<"$tree_output"
if [ "$tree_status" != 0 ] || [ -z "$first_per_key" ]; then
    row "MyRegDeleteKeySub" "failed" "" "see $work/regtree.err"
    status=1
else
    row "  growth, per key $(group "${TREE_SIZES[-1]}") / $(group "${TREE_SIZES[0]}")" \
        "$(ratio "$last_per_key" "$first_per_key")"
fi
if [ -f "$SHIPPED" ]; then
    row "shipped program (i686)" "" "" "$(bytes "$SHIPPED"), $SHIPPED"
else
    row "shipped program (i686)" "" "" "$SHIPPED is missing (make builds it)"
fi
exit $status

#!/bin/bash
# Times the full silent uninstall of the sample installation by the shipped program
# against a baseline that makes only the bare deletions and against an NSIS uninstaller
# scripted to remove the same things; counts the platform calls each of them makes per
# file and per directory; times the key-tree deletion on 1,000 and 10,000 keys; prints
# one table. Everything runs in one fresh, pure 32-bit Wine prefix with the i686 programs,
# or, where Wine cannot start 32-bit programs (scripts/wine-session.sh decides), in a 64-bit
# prefix with the x86_64 twin, a baseline built the same way and an amd64-unicode NSIS
# uninstaller, through Wine's 64-bit loader alone.
# Settings (environment or make variables):
#   RUNS=7                 timed rounds, after one untimed warm-up round
#   TREE_RUNS=5            timed deletions of each key tree, the sizes taking turns
# Run as root, the session runs in a cpuacct cgroup of its own, so that each run's CPU
# time (the program's, the wineserver's and the X server's) is taken beside its wall time:
# on a busy machine the wall time grows with the waits for a processor, the CPU time not.
set -u
cd "$(dirname "$0")/.." || exit 2
RUNS=${RUNS:-7}
TREE_RUNS=${TREE_RUNS:-5}
# shellcheck disable=SC1091
. scripts/wine-session.sh
machine=$(wine_session_machine_kind)
wine_session_use "$machine"
BUILD_DIR=$VXWIPE_BUILD
BIN="$BUILD_DIR/bin"
SHIPPED=$VXWIPE_PROGRAM
INSTALL_DIR='C:\Program Files\VORTA\VORTA-X'
# The generation whose keys are exactly those a normal-mode uninstall removes.
SAMPLE_ARGS=(-generation 1 -scope system -dir "$INSTALL_DIR")
TREE_SIZES=(1000 10000)
# The stub nearly every NSIS uninstaller is built with, and its 64-bit kin beside the twin.
if [ "$machine" = win32 ]; then
    NSIS_TARGET=x86-unicode
    ARCH=win32
    KIND_NOTE="pure 32-bit prefix, i686 programs"
else
    NSIS_TARGET=amd64-unicode
    ARCH=win64
    KIND_NOTE="this machine cannot start 32-bit programs: 64-bit prefix, the x86_64 twin and baseline, through Wine's 64-bit loader alone"
fi
NSIS_STUBS=/usr/share/nsis/Stubs
NSIS_PROGRAM=vxnsis-uninstall.exe
BASELINE_PROGRAM=bench_baseline.exe

for program in vxsample bench_timer bench_baseline bench_regtree; do
    if [ ! -f "$BIN/$program.exe" ]; then
        echo "benchmark: $BIN/$program.exe is missing (make benchmark builds it)" >&2
        exit 2
    fi
done
if [ ! -f "$SHIPPED" ]; then
    echo "benchmark: $SHIPPED is missing (make benchmark builds it)" >&2
    exit 2
fi
shipped_name=$(basename "$SHIPPED")

# NSIS is needed here only, so it is installed here and not with the build's tools.
nsis_note=""
if ! command -v makensis >/dev/null 2>&1 && [ "$(id -u)" = 0 ]; then
    echo "Installing nsis for the peer uninstaller ..."
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends nsis >/dev/null
fi
if ! command -v makensis >/dev/null 2>&1; then
    nsis_note="makensis not available"
elif ! ls "$NSIS_STUBS/zlib-$NSIS_TARGET" >/dev/null 2>&1; then
    nsis_note="no NSIS $NSIS_TARGET stub"
fi

CPU_GROUPS=/sys/fs/cgroup/cpuacct
cpu_group=""
if [ -w "$CPU_GROUPS" ] && mkdir "$CPU_GROUPS/vxwipe-bench-$$" 2>/dev/null; then
    cpu_group="$CPU_GROUPS/vxwipe-bench-$$"
    echo $$ >"$cpu_group/cgroup.procs"
fi
# Back to the parent group, then the group goes once the session's processes have ended.
# shellcheck disable=SC2317 # called from the EXIT trap
leave_cpu_group() {
    [ -n "$cpu_group" ] || return 0
    echo $$ >"$CPU_GROUPS/cgroup.procs"
    for _ in $(seq 20); do
        rmdir "$cpu_group" 2>/dev/null && return 0
        sleep 0.5
    done
    echo "benchmark: $cpu_group could not be removed" >&2
}

load_at_start=$(cut -d ' ' -f 1 /proc/loadavg)
export WINEARCH=$ARCH
echo "Preparing a fresh Wine prefix ($ARCH) in $BUILD_DIR/bench-prefix ..."
wine_session_start "$BUILD_DIR" bench-prefix
started=$?
# The session's own way out, then the group's.
trap 'trap - EXIT INT TERM HUP; wine_session_stop; leave_cpu_group' EXIT
[ "$started" = 0 ] || exit 2
export LANG=C.UTF-8 LC_ALL=C.UTF-8

work="$BUILD_DIR/bench"
rm -rf "$work" && mkdir -p "$work"
to_windows() {
    "$VXWIPE_WINE" winepath -w "$1" 2>/dev/null | tr -d '\r'
}
work_windows=$(to_windows "$work")
bin_windows=$(to_windows "$BIN")
timer_options=()
[ -z "$cpu_group" ] || timer_options=(-cpu "$(to_windows "$cpu_group/cpuacct.usage")")
shipped_windows=$(to_windows "$SHIPPED")

sample() {
    "$VXWIPE_WINE" "$BIN/vxsample.exe" "$1" "${SAMPLE_ARGS[@]}" "${@:2}" </dev/null \
        >>"$work/vxsample.out" 2>&1
}

lay() {
    if ! sample lay; then
        echo "benchmark: the sample could not be laid:" >&2
        cat "$work/vxsample.out" >&2
        exit 1
    fi
}

# Everything of the installation gone, every neighbour still there, by an inventory
# taken afresh: a missing or failed one is a failure, never the last contender's.
check_removed() {
    rm -f "$work/after.txt"
    if ! sample inventory -out "$work_windows\\after.txt" || [ ! -s "$work/after.txt" ]; then
        printf '\n  no inventory (see %s)' "$work/vxsample.out"
        return 1
    fi
    tr -d '\r' <"$work/after.txt" | awk -F '\t' '
        /^neighbour: / { if ($2 != "present") wrong = wrong "\n  " $1 ": " $2; next }
        $1 == "manifest files" { files = 1 }
        $2 != "absent" && $2 !~ /^0\// { wrong = wrong "\n  " $1 ": " $2 }
        END { if (!files) wrong = wrong "\n  inventory without the manifest files"
              if (wrong != "") { printf "%s", wrong; exit 1 } }'
}

# "<milliseconds> <exit code> [<CPU milliseconds>]" of one run of a Windows command line:
# the time from just before its process is created to the end of the wait for it, taken
# inside Wine, and the session's CPU time meanwhile.
time_run() {
    "$VXWIPE_WINE" "$BIN/bench_timer.exe" "${timer_options[@]}" "$1" </dev/null 2>>"$work/timer.err" |
        tr -d '\r'
}

# Median, then the range, of numbers given one a line: "<median> <min> <max>".
summary() {
    grep . | sort -g | awk '{ v[NR] = $1 }
        END { if (NR == 0) exit; m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
              printf "%.3f %.3f %.3f\n", m, v[1], v[NR] }'
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

baseline_command="\"$bin_windows\\$BASELINE_PROGRAM\" -dir \"$install_dir\" -folder \"$folder\""
while IFS= read -r name; do
    baseline_command+=" -shortcut \"$name\""
done < <(field shortcut)
while IFS=$'\t' read -r kind root path; do
    [ "$kind" = key ] && baseline_command+=" -key $root \"$path\""
done <"$work/manifest.tsv"

# The peer: an NSIS uninstaller written by an installer that does nothing else.
write_nsis_script() {
    echo 'Unicode true'
    echo "Target $NSIS_TARGET"
    echo 'Name "VORTA-X"'
    echo 'OutFile "vxnsis-writer.exe"'
    echo 'SilentInstall silent'
    echo 'RequestExecutionLevel admin'
    echo "InstallDir \"$install_dir\""
    echo 'Section'
    echo "  WriteUninstaller \"\$EXEDIR\\$NSIS_PROGRAM\""
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
        "$VXWIPE_WINE" "$work/vxnsis-writer.exe" </dev/null >/dev/null 2>&1 &&
        [ -f "$work/$NSIS_PROGRAM" ]; then
        nsis_version=$(makensis -VERSION 2>/dev/null | sed 's/^v//; s/-.*//')
    else
        nsis_note="the NSIS uninstaller could not be built (see $work/makensis.log)"
    fi
fi

# The baseline makes the hidden window that the uninstaller makes; "bare" leaves it out.
contenders=(vxwipe baseline bare)
declare -A command
command[vxwipe]="\"$shipped_windows\" -silent"
command[baseline]=$baseline_command
command[bare]="${baseline_command/ -dir / -nowindow -dir }"
# "_?=" keeps the uninstaller where it is (no copy to TMP, no second process) and must
# come last, unquoted.
if [ -z "$nsis_note" ]; then
    contenders+=(nsis)
    command[nsis]="\"$work_windows\\$NSIS_PROGRAM\" /S _?=$install_dir"
fi
# Start-up only: the baseline without work, with and without the window.
contenders+=(startup startup_bare)
command[startup]="\"$bin_windows\\$BASELINE_PROGRAM\""
command[startup_bare]="${command[startup]} -nowindow"
is_startup() {
    [ "${1%_bare}" = startup ]
}
declare -A took cpu failed
for contender in "${contenders[@]}"; do
    failed[$contender]=""
done

# In each round every contender runs once, the first one changing from round to round,
# so that a change of load strikes them alike and the ratios can be taken per round;
# round 0 only warms up. The sample is laid again before every uninstall.
echo "Timing $RUNS rounds (and one warm-up round) ..."
for round in $(seq 0 "$RUNS"); do
    count=${#contenders[@]}
    for turn in $(seq 0 $((count - 1))); do
        contender=${contenders[$(((round + turn) % count))]}
        is_startup "$contender" || lay
        read -r milliseconds exit_code cpu_milliseconds < <(time_run "${command[$contender]}")
        if [ -z "${exit_code:-}" ] || [ "$exit_code" != 0 ]; then
            failed[$contender]="exit code ${exit_code:-none} in round $round"
            continue
        fi
        if ! is_startup "$contender" && ! leftovers=$(check_removed); then
            failed[$contender]="round $round left behind or wrongly removed:$leftovers"
            continue
        fi
        [ "$round" = 0 ] && continue
        took[$contender,$round]=$milliseconds
        [ "${cpu_milliseconds:--}" = - ] || cpu[$contender,$round]=$cpu_milliseconds
    done
    [ "$round" = 0 ] || printf '  round %d of %d done\n' "$round" "$RUNS"
done

# Platform calls that each program makes itself, from Wine's relay trace of one more
# run. Not counted: the C runtime, and the string and error-code helpers, which never
# leave the process. A call counts for the files when it falls between the first and the
# last call on a manifest file, for the directories when it comes after that up to the
# last call on a manifest directory or the install directory, else for the rest.
IN_PROCESS_HELPERS="msvcrt.*;CharNextA;CharNextW;CharPrevA;CharPrevW;lstrlenA;lstrlenW"
IN_PROCESS_HELPERS+=";lstrcpyA;lstrcpyW;lstrcpynA;lstrcpynW;lstrcatA;lstrcatW;lstrcmpA;lstrcmpW"
IN_PROCESS_HELPERS+=";lstrcmpiA;lstrcmpiW;wsprintfA;wsprintfW;wvsprintfA;wvsprintfW"
IN_PROCESS_HELPERS+=";GetLastError;SetLastError"
echo "Counting the platform calls of each contender ..."
debug_key='HKCU\Software\Wine\Debug'
"$VXWIPE_WINE" reg delete "$debug_key" /v RelayFromExclude /f </dev/null >/dev/null 2>&1
"$VXWIPE_WINE" reg add "$debug_key" /v RelayFromInclude /f \
    /d "$shipped_name;$BASELINE_PROGRAM;$NSIS_PROGRAM" </dev/null >/dev/null 2>&1
"$VXWIPE_WINE" reg add "$debug_key" /v RelayExclude /d "$IN_PROCESS_HELPERS" /f </dev/null >/dev/null 2>&1
classify_calls() {
    awk -v dir="$install_dir" -v manifest="$work/manifest.tsv" -v detail="$1" '
        function unquoted(line) {
            if (!match(line, /"([^"\\]|\\.)*"/)) return ""
            text = substr(line, RSTART + 1, RLENGTH - 2)
            gsub(/\\\\/, "\\", text)
            return tolower(text)
        }
        BEGIN {
            while ((getline entry < manifest) > 0) {
                split(entry, part, "\t")
                if (part[1] == "file") files[tolower(dir "\\" part[2])] = 1
                if (part[1] == "subdir") dirs[tolower(dir "\\" part[2])] = 1
            }
            dirs[tolower(dir)] = 1
        }
        /^[0-9a-f]+:Call [A-Za-z0-9_]+\.[A-Za-z0-9_]+\(/ {
            n++
            name[n] = $2

            sub(/\(.*/, "", name[n])
            path = unquoted($0)
            if (path in files) { if (!first) first = n; last = n }
            if (path in dirs) lastDir = n
        }
        END {
            for (i = 1; i <= n; i++) {
                kind = first && i >= first && i <= last ? "file" : \
                       last && i > last && i <= lastDir ? "dir" : "rest"
                total[kind]++
                byName[kind " " name[i]]++
            }
            for (key in byName) print key, byName[key] > detail
            printf "%d %d %d\n", total["file"], total["dir"], total["rest"]
        }' "$work/relay-$contender.txt"
}
declare -A calls
for contender in "${contenders[@]}"; do
    [ -z "${failed[$contender]}" ] || continue
    is_startup "$contender" || lay
    WINEDEBUG=-all,+relay "$VXWIPE_WINE" "$BIN/bench_timer.exe" "${command[$contender]}" </dev/null \
        >/dev/null 2>"$work/relay-$contender.txt"
    calls[$contender]=$(classify_calls "$work/calls-$contender.txt")
    sort -o "$work/calls-$contender.txt" "$work/calls-$contender.txt"
done
"$VXWIPE_WINE" reg delete "$debug_key" /v RelayFromInclude /f </dev/null >/dev/null 2>&1

echo "Timing the key-tree deletion ..."
"$VXWIPE_WINE" "$BIN/bench_regtree.exe" -runs "$TREE_RUNS" "${timer_options[@]}" "${TREE_SIZES[@]}" </dev/null \
    >"$work/regtree.out" 2>"$work/regtree.err"
tree_status=$?
tree_output=$(tr -d '\r' <"$work/regtree.out")
load_at_end=$(cut -d ' ' -f 1 /proc/loadavg)

status=0
for contender in "${contenders[@]}"; do
    if [ -n "${failed[$contender]}" ]; then
        echo "benchmark: $contender failed: ${failed[$contender]}" >&2
        status=1
    fi
done

# The values of one contender in the named table (took or cpu), or the ratios of two
# contenders' values, round by round.
value_of() {
    if [ "$1" = cpu ]; then echo "${cpu[$2,$3]:-}"; else echo "${took[$2,$3]:-}"; fi
}
series() {
    for round in $(seq 1 "$RUNS"); do
        local a b
        a=$(value_of "$1" "$2" "$round")
        if [ $# = 2 ]; then
            [ -z "$a" ] || echo "$a"
        else
            b=$(value_of "$1" "$3" "$round")
            [ -z "$a" ] || [ -z "$b" ] || awk -v a="$a" -v b="$b" 'BEGIN { if (b > 0) print a / b }'
        fi
    done
}
# "<median> <min-max>" of a series, numbers with the given decimals; "-" when empty.
spread() {
    local decimals=$1
    shift
    series "$@" | summary | awk -v d="$decimals" '{ printf "%.*f %.*f-%.*f\n", d, $1, d, $2, d, $3 }' |
        grep . || echo "- -"
}
row() {
    printf '%-40s %8s %15s %8s %15s %6s %6s %6s  %s\n' "$@"
}
group() {
    echo "$1" | sed -E ':a; s/([0-9])([0-9]{3})($|,)/\1,\2\3/; ta'
}
bytes() {
    echo "$(group "$(stat -c %s "$1")") bytes"
}
per_entry() {
    awk -v c="$1" -v n="$2" 'BEGIN { printf "%.2f", c / n }'
}
# A contender's row: its wall and CPU times, its calls, and a note.
time_row() {
    local label=$1 contender=$2 note=$3
    if [ -n "${failed[$contender]:-}" ]; then
        row "$label" failed "" "" "" "" "" "" "$note"
        return
    fi
    local perFile="" perDir="" rest="" fileCalls dirCalls
    if [ -n "${calls[$contender]:-}" ]; then
        read -r fileCalls dirCalls rest <<<"${calls[$contender]}"
        perFile=$(per_entry "$fileCalls" "$file_count")
        perDir=$(per_entry "$dirCalls" "$((subdir_count + 1))")
    fi
    # shellcheck disable=SC2046 # each spread is two columns
    row "$label" $(spread 1 took "$contender") $(spread 1 cpu "$contender") \
        "$perFile" "$perDir" "$rest" "$note"
}
ratio_row() {
    local label=$1
    shift
    for contender in "$@"; do
        if [ -n "${failed[$contender]:-}" ] || [ -z "${command[$contender]:-}" ]; then
            row "$label" - - - - "" "" "" ""
            return
        fi
    done
    # shellcheck disable=SC2046 # each spread is two columns
    row "$label" $(spread 2 took "$@") $(spread 2 cpu "$@") "" "" "" ""
}

for contender in "${contenders[@]}"; do
    echo "$contender wall:$(series took "$contender" | tr '\n' ' ')"
    echo "$contender cpu:$(series cpu "$contender" | tr '\n' ' ')"
done >"$work/times.txt"
echo
echo "Benchmark: $RUNS rounds ($work/times.txt; calls in $work/calls-*.txt, traces relay-*.txt);" \
    "$("$VXWIPE_WINE" --version 2>/dev/null), $KIND_NOTE;" \
    "load average $load_at_start at start, $load_at_end at end"
echo "One uninstall removes $file_count files, $subdir_count subdirectories and the install" \
    "directory, $shortcut_count shortcuts and their folder, $key_count key trees"
[ -n "$cpu_group" ] || echo "No CPU times: a cpuacct cgroup can be made only by root"
echo
row "" "wall" "wall" "CPU" "CPU" "calls" "calls" "other" ""
row "What (times in ms)" "median" "min-max" "median" "min-max" "/file" "/dir" "calls" "Size / note"
time_row "$shipped_name -silent, full uninstall" vxwipe "$(bytes "$SHIPPED"), $SHIPPED"
time_row "baseline, bare deletions" baseline "$(bytes "$BIN/$BASELINE_PROGRAM"), a hidden window"
time_row "  the same without the window" bare "-nowindow"
if [ -n "$nsis_note" ]; then
    row "NSIS uninstaller" - - - - "" "" "" "$nsis_note"
else
    time_row "NSIS $nsis_version uninstaller /S ($NSIS_TARGET)" nsis \
        "$(bytes "$work/$NSIS_PROGRAM")"
fi
time_row "empty GUI process, start-up only" startup "a hidden window"
time_row "  the same without the window" startup_bare "-nowindow"
echo
row "Paired ratios, one per round" "" "" "" "" "" "" "" ""
ratio_row "  $shipped_name / baseline" vxwipe baseline
ratio_row "  $shipped_name / baseline without window" vxwipe bare
ratio_row "  $shipped_name / NSIS" vxwipe nsis
echo
sizes_seen=0
growth=""
while read -r first second third fourth fifth sixth seventh; do
    if [ "$first" = growth ]; then
        growth=$(printf '%.2f %.2f-%.2f' "$second" "$third" "$fourth")
        [ -z "$fifth" ] || growth+=$(printf ' %.2f %.2f-%.2f' "$fifth" "$sixth" "$seventh")
    elif [ -n "$first" ]; then
        row "MyRegDeleteKeySub, $(group "$first") keys" "$(printf '%.1f' "$second")" "" \
            "${fourth:+$(printf '%.1f' "$fourth")}" "" "" "" "" "$(printf '%.1f' "$third") us per key"
        sizes_seen=$((sizes_seen + 1))
    fi
done <<<"$tree_output"
if [ "$tree_status" != 0 ] || [ "$sizes_seen" != "${#TREE_SIZES[@]}" ] || [ -z "$growth" ]; then
    row "MyRegDeleteKeySub" "failed" "" "" "" "" "" "" "see $work/regtree.err"
    status=1
else
    # shellcheck disable=SC2086 # the growth is two or four columns
    row "  growth, per key $(group "${TREE_SIZES[-1]}") / $(group "${TREE_SIZES[0]}"), per run" \
        $growth "" "" "" ""
fi
exit $status

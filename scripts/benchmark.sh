#!/bin/sh
# Times the full silent uninstall of the sample installation by the shipped program against
# a baseline that makes only the bare deletions and against an NSIS uninstaller scripted to
# remove the same things, counts the platform calls each of them makes, times the key-tree
# deletion, and prints one table (see README). Four steps of scripts/benchmark/, each
# deciding one thing and handing what it found to the next in the work folder
# (<build>/bench):
#   prepare.py      what runs: the sample installation, the NSIS peer, the command lines
#   time_runs.py    how long each takes, in rounds, and the key-tree deletion
#   count_calls.py  how many platform calls each makes, from Wine's relay trace
#   report.py       the table
# Which programs run, and through which Wine, scripts/wine-session.sh decides: the i686
# programs in one fresh, pure 32-bit prefix, or, where Wine cannot start 32-bit programs,
# the x86_64 twin in a 64-bit prefix through Wine's 64-bit loader alone.
# Settings (environment or make variables):
#   RUNS=7                 timed rounds, after one untimed warm-up round
#   TREE_RUNS=5            timed deletions of each key tree, the sizes taking turns
# Run as root, the session runs in a cpuacct cgroup of its own, so that each run's CPU
# time (the program's, the wineserver's and the X server's) is taken beside its wall time:
# on a busy machine the wall time grows with the waits for a processor, the CPU time not.
set -u
cd "$(dirname "$0")/.." || exit 2
# shellcheck disable=SC1091
. scripts/wine-session.sh
machine=$(wine_session_machine_kind)
wine_session_use "$machine"
if [ "$machine" = win32 ]; then
    WINEARCH=win32
else
    WINEARCH=win64
fi

CPU_GROUPS=/sys/fs/cgroup/cpuacct
BENCH_CPU_GROUP=""
if [ -w "$CPU_GROUPS" ] && mkdir "$CPU_GROUPS/vxwipe-bench-$$" 2>/dev/null; then
    BENCH_CPU_GROUP="$CPU_GROUPS/vxwipe-bench-$$"
    echo $$ >"$BENCH_CPU_GROUP/cgroup.procs"
fi
# Back to the parent group, then the group goes once the session's processes have ended.
# shellcheck disable=SC2317 # called from the EXIT trap
leave_cpu_group() {
    [ -n "$BENCH_CPU_GROUP" ] || return 0
    echo $$ >"$CPU_GROUPS/cgroup.procs"
    for _ in $(seq 20); do
        rmdir "$BENCH_CPU_GROUP" 2>/dev/null && return 0
        sleep 0.5
    done
    echo "benchmark: $BENCH_CPU_GROUP could not be removed" >&2
}

# Before the session's own start-up adds to it.
BENCH_LOAD_AT_START=$(cut -d ' ' -f 1 /proc/loadavg)
export WINEARCH BENCH_CPU_GROUP BENCH_LOAD_AT_START RUNS TREE_RUNS
echo "Preparing a fresh Wine prefix ($WINEARCH) in $VXWIPE_BUILD/bench-prefix ..."
wine_session_start "$VXWIPE_BUILD" bench-prefix
started=$?
# The session's own way out, then the group's.
trap 'trap - EXIT INT TERM HUP; wine_session_stop; leave_cpu_group' EXIT
[ "$started" = 0 ] || exit 2
export LANG=C.UTF-8 LC_ALL=C.UTF-8

# No compiled copies of the steps in the work tree.
export PYTHONDONTWRITEBYTECODE=1
step() {
    name=$1
    shift
    /usr/bin/python3 "scripts/benchmark/$name.py" "$@" || exit $?
}
step prepare "$machine"
step time_runs
step count_calls
step report

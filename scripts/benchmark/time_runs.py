#!/usr/bin/python3
"""The benchmark's second step decides how long each contender takes. In each of RUNS
rounds (after one untimed warm-up round) every contender of setup.json runs once, the
first one changing from round to round, so that a change of load strikes them alike and
the ratios can be taken per round; the sample is laid again before every uninstall, and
after it a fresh inventory must show it all gone and every neighbour kept. Then the
key-tree deletion is timed on trees of 1,000 and 10,000 keys, TREE_RUNS times. Writes
times.json and times.txt, and the key trees' regtree.out, to the work folder.
    RUNS=7 TREE_RUNS=5 time_runs.py"""

import os
import subprocess

from session import (BIN, WINE, WORK, lay, lines_of, load, read_text, sample, save, to_windows,
                     wine, work)

TREE_SIZES = [1000, 10000]


def timer_options():
    """With a cpuacct cgroup of the session's own, the timer reads its CPU time too."""
    group = os.environ.get("BENCH_CPU_GROUP", "")
    return ["-cpu", to_windows(group + "/cpuacct.usage")] if group else []


def time_run(command, options):
    """(milliseconds, exit code, CPU milliseconds) of one run of a Windows command line,
    each "" when the timer did not say: the time from just before its process is created
    to the end of the wait for it, taken inside Wine, and the session's CPU time meanwhile."""
    with open(work("timer.err"), "ab") as errors:
        result = subprocess.run([WINE, os.path.join(BIN, "bench_timer.exe")] + options + [command],
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=errors)
    text = result.stdout.decode("latin-1").replace("\r", "")
    words = text.split("\n", 1)[0].split(None, 2) + ["", "", ""]
    return words[0], words[1], words[2].strip()


def leftovers():
    """What the uninstall left behind or wrongly removed, by an inventory taken afresh, one
    "\\n  " line each; "" when all is gone and every neighbour kept. A missing or failed
    inventory is a failure, never the last contender's."""
    after = work("after.txt")
    if os.path.exists(after):
        os.remove(after)
    if sample("inventory", "-out", to_windows(WORK) + "\\after.txt") != 0 or \
            not os.path.exists(after) or os.path.getsize(after) == 0:
        return f"\n  no inventory (see {work('vxsample.out')})"
    wrong = ""
    files = False
    for line in lines_of(read_text("after.txt")):
        what, state = (line.split("\t") + [""])[:2]
        if what.startswith("neighbour: "):
            if state != "present":
                wrong += f"\n  {what}: {state}"
            continue
        if what == "manifest files":
            files = True
        if state != "absent" and not state.startswith("0/"):
            wrong += f"\n  {what}: {state}"
    if not files:
        wrong += "\n  inventory without the manifest files"
    return wrong


def time_rounds(contenders, runs, options):
    """took and cpu: the milliseconds of each contender in each round (by the round's number
    as text), as the timer printed them; failed: why a contender failed, its last failure."""
    took = {c["name"]: {} for c in contenders}
    cpu = {c["name"]: {} for c in contenders}
    failed = {}
    print(f"Timing {runs} rounds (and one warm-up round) ...", flush=True)
    for round_number in range(runs + 1):
        for turn in range(len(contenders)):
            contender = contenders[(round_number + turn) % len(contenders)]
            name = contender["name"]
            if not contender["startup_only"]:
                lay()
            milliseconds, exit_code, cpu_milliseconds = time_run(contender["command"], options)
            if exit_code != "0":
                failed[name] = f"exit code {exit_code or 'none'} in round {round_number}"
                continue
            if not contender["startup_only"]:
                left = leftovers()
                if left:
                    failed[name] = f"round {round_number} left behind or wrongly removed:{left}"
                    continue
            if round_number == 0:
                continue
            took[name][str(round_number)] = milliseconds
            if cpu_milliseconds not in ("", "-"):
                cpu[name][str(round_number)] = cpu_milliseconds
        if round_number > 0:
            print(f"  round {round_number} of {runs} done", flush=True)
    return took, cpu, failed


def time_key_trees(tree_runs, options):
    """The exit status of bench_regtree, whose lines go to regtree.out."""
    print("Timing the key-tree deletion ...", flush=True)
    with open(work("regtree.out"), "wb") as out, open(work("regtree.err"), "wb") as errors:
        return wine([os.path.join(BIN, "bench_regtree.exe"), "-runs", str(tree_runs)] + options
                    + [str(size) for size in TREE_SIZES], stdout=out, stderr=errors)


def write_times_txt(contenders, runs, took, cpu):
    """The series of each contender, round by round, for a reader."""
    with open(work("times.txt"), "w") as file:
        for contender in contenders:
            name = contender["name"]
            for label, table in (("wall", took), ("cpu", cpu)):
                values = [table[name][str(r)] for r in range(1, runs + 1) if str(r) in table[name]]
                file.write(f"{name} {label}:" + "".join(value + " " for value in values) + "\n")


def main():
    runs = int(os.environ.get("RUNS", "7"))
    tree_runs = int(os.environ.get("TREE_RUNS", "5"))
    contenders = load("setup.json")["contenders"]
    options = timer_options()
    took, cpu, failed = time_rounds(contenders, runs, options)
    tree_status = time_key_trees(tree_runs, options)
    write_times_txt(contenders, runs, took, cpu)
    save("times.json", {"runs": runs, "cpu_counted": bool(options), "took": took, "cpu": cpu,
                        "failed": failed, "tree_sizes": TREE_SIZES, "tree_status": tree_status})


if __name__ == "__main__":
    main()

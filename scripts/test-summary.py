#!/usr/bin/python3
"""Summary of a run of scripts/run-tests.sh: which program ran, each run's result, and the
end-to-end table per Windows version and prefix, read from GoogleTest's XML reports.

    test-summary.py RESULTS PROGRAM MACHINE(win32|twin) RUN...
PROGRAM is the uninstaller under test on this kind of machine.
RESULTS/<run>/ holds the XML reports, ctest-status ("<exit code> <seconds>") and selected
(the test programs ctest was to run, one a line).
"""
import collections
import glob
import os
import sys
import xml.etree.ElementTree as ElementTree

RUNS = {
    "win32": "pure 32-bit prefix (Windows 95 to XP)",
    "wow64": "64-bit prefix, WoW64 (Windows Vista to 10)",
    "win64": "64-bit prefix, x86_64 twin, 64-bit loader",
    "fallback": "64-bit prefix, x86_64 twin, 64-bit loader",
}
VERSION_ORDER = ["win95", "win98", "winme", "nt40", "win2k", "winxp", "vista", "win7", "win10"]
TABLE_SUITE = "Versions/Uninstall"


def test_cases(run_dir):
    """(program, suite, name, outcome) for every test case: "passed", "failed" or
    "skipped" (GoogleTest counts a skipped test as passed; here it is not)."""
    for report in sorted(glob.glob(os.path.join(run_dir, "*.xml"))):
        program = os.path.splitext(os.path.basename(report))[0]
        try:
            root = ElementTree.parse(report).getroot()
        except ElementTree.ParseError:
            continue
        for case in root.iter("testcase"):
            # A disabled test runs only when asked for by name (make fuzz): not one of the run's.
            if case.get("name", "").startswith("DISABLED_"):
                continue
            if case.find("failure") is not None or case.find("error") is not None:
                outcome = "failed"
            elif (case.get("result") in ("skipped", "suppressed") or case.get("status") == "notrun"
                  or case.find("skipped") is not None):
                outcome = "skipped"
            else:
                outcome = "passed"
            yield program, case.get("classname", ""), case.get("name", ""), outcome


def selected_programs(run_dir):
    """The test programs ctest was to run; None where that is not known."""
    try:
        with open(os.path.join(run_dir, "selected"), encoding="utf-8") as selected:
            return [line.strip() for line in selected if line.strip()]
    except OSError:
        return None


def silent_programs(run_dir):
    """The programs selected for the run that left no report: they crashed, were killed
    or did not start."""
    names = selected_programs(run_dir) or []
    return [name for name in names if not os.path.exists(os.path.join(run_dir, name + ".xml"))]


def ctest_status(run_dir):
    try:
        with open(os.path.join(run_dir, "ctest-status"), encoding="ascii") as status:
            code, seconds = status.read().split()
            return int(code), int(seconds)
    except (OSError, ValueError):
        return None, None


def main():
    results, program, machine, runs = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    print()
    print("Summary")
    if machine == "twin":
        print("  This machine cannot start 32-bit Windows programs under Wine: the x86_64 twin")
        print(f"  {program} ran instead of the shipped dist/win32/vxwipe.exe, through Wine's")
        print("  64-bit loader alone.")
    else:
        print(f"  Program under test: {program}, the shipped PE32 (i686), started by every test", end="")
        if "fallback" in runs:
            print(" but\n  those of the fallback run: they check the x86_64 twin, which machines that cannot")
            print("  start 32-bit programs run, through Wine's 64-bit loader alone.")
        else:
            print(".")
    print()
    header = ("run", "prefix", "programs", "tests", "failed", "skipped", "time")
    print("  {:8} {:43} {:>8} {:>6} {:>6} {:>7} {:>6}  result".format(*header))
    rows = collections.OrderedDict()
    skipped_cases = []
    silent = []
    selected_anywhere = False
    overall = 0
    for run in runs:
        run_dir = os.path.join(results, run)
        prefix = RUNS.get(run, run)
        programs = len(glob.glob(os.path.join(run_dir, "*.xml")))
        cases = list(test_cases(run_dir))
        failed = sum(1 for case in cases if case[3] == "failed")
        skipped = [case for case in cases if case[3] == "skipped"]
        skipped_cases += [(run,) + case for case in skipped]
        silent += [(run, name) for name in silent_programs(run_dir)]
        code, seconds = ctest_status(run_dir)
        result = "passed" if code == 0 else "FAILED" if code is not None else "not run"
        if code == 0 and skipped:
            result = "passed, some skipped"
        if code == 0 and selected_programs(run_dir) == []:
            result = "no test selected"
        else:
            selected_anywhere = True
        if code != 0:
            overall = 1
        time = f"{seconds} s" if seconds is not None else "-"
        print(f"  {run:8} {prefix:43} {programs:8} {len(cases):6} {failed:6} {len(skipped):7}"
              f" {time:>6}  {result}")
        for _, suite, name, outcome in cases:
            if suite != TABLE_SUITE:
                continue
            scenario, version, row_run = name.split("/", 1)[-1].rsplit("_", 2)
            row = rows.setdefault((version, row_run), {"passed": 0, "failed": [], "skipped": []})
            if outcome == "passed":
                row["passed"] += 1
            else:
                row[outcome].append(scenario)
    if silent:
        print()
        print("  No report from (crashed, killed or not started; see its output above):")
        for run, name in silent:
            print(f"    {run}: {name}")
    if skipped_cases:
        print()
        print("  Skipped (not passed):")
        for run, program, suite, name, _ in skipped_cases:
            print(f"    {run}: {program} {suite}.{name}")
    if rows:
        print()
        print("  End-to-end table by Windows version and prefix (one row each):")
        print(f"  {'version':8} {'prefix':6} {'scenarios':>9} {'passed':>6}  result")
        ordered = sorted(rows.items(), key=lambda item: (
            VERSION_ORDER.index(item[0][0]) if item[0][0] in VERSION_ORDER else 99, item[0][1]))
        for (version, row_run), row in ordered:
            total = row["passed"] + len(row["failed"]) + len(row["skipped"])
            verdict = "pass" if not row["failed"] else "FAIL: " + ", ".join(row["failed"])
            if row["skipped"]:
                verdict += "; skipped: " + ", ".join(row["skipped"])
            print(f"  {version:8} {row_run:6} {total:9} {row['passed']:6}  {verdict}")
    print()
    if overall != 0:
        print("Some tests FAILED (see above).")
    elif not selected_anywhere:
        print("No test was selected.")
    elif skipped_cases:
        print(f"No test failed, but {len(skipped_cases)} did not run (skipped, see above).")
    else:
        print("All tests passed.")


if __name__ == "__main__":
    main()

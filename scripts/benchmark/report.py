#!/usr/bin/python3
"""The benchmark's last step decides what the reader sees: one table of what the steps
before found (setup.json, times.json, calls.json and regtree.out in the work folder): each
contender's median and range of wall and CPU time and its calls per file, per directory
and the others; the paired ratios of the rounds; the key-tree deletion. Exits 1 when a
contender or the key-tree deletion failed.
    report.py"""

import os
import sys
from fractions import Fraction

from session import (BASELINE_PROGRAM, BIN, SHIPPED, WORK, lines_of, load, load_average,
                     read_text, wine_output, work)

COLUMNS = "%-40s %8s %15s %8s %15s %6s %6s %6s  %s"


def row(*cells):
    """A line of the table; missing cells are empty."""
    print(COLUMNS % (cells + ("",) * (9 - len(cells))))


def grouped(number):
    return f"{int(number):,}"


def size_note(path):
    return f"{grouped(os.path.getsize(path))} bytes"


def fixed(value, decimals):
    """A number with the given decimals, from a double, as C's printf rounds it."""
    return "%.*f" % (decimals, float(value))


def fixed_extended(text, decimals):
    """A number's text with the given decimals as the shell's printf gives it: read into
    the nearest value of 64 significant bits (x86's long double), then rounded half to even."""
    value = Fraction(text)
    if value:
        magnitude = abs(value)
        exponent = magnitude.numerator.bit_length() - magnitude.denominator.bit_length()
        if magnitude < Fraction(2) ** exponent:
            exponent -= 1
        scale = Fraction(2) ** (63 - exponent)
        value = Fraction(round(value * scale)) / scale
    units = round(value * 10**decimals)
    sign = "-" if units < 0 or (units == 0 and value < 0) else ""
    whole, part = divmod(abs(units), 10**decimals)
    return f"{sign}{whole}.{part:0{decimals}d}" if decimals else f"{sign}{whole}"


def median_and_range(values):
    """(median, lowest, highest) of numbers, or None for none."""
    values = sorted(values)
    if not values:
        return None
    count = len(values)
    middle = values[count // 2] if count % 2 else (values[count // 2 - 1] + values[count // 2]) / 2
    return middle, values[0], values[-1]


def spread(decimals, series):
    """The two cells "<median>" and "<lowest>-<highest>" of a series; "-" each when empty.
    The figures are taken to three decimals first, then to the given ones."""
    summary = median_and_range([float(value) for value in series])
    if summary is None:
        return ["-", "-"]
    median, lowest, highest = (fixed(fixed(value, 3), decimals) for value in summary)
    return [median, f"{lowest}-{highest}"]


class Results:
    """What the steps before found."""

    def __init__(self):
        self.setup = load("setup.json")
        self.times = load("times.json")
        self.calls = load("calls.json")
        self.counts = self.setup["counts"]
        self.names = [contender["name"] for contender in self.setup["contenders"]]
        self.failed = self.times["failed"]
        self.rounds = [str(number) for number in range(1, self.times["runs"] + 1)]

    def series(self, table, contender):
        """A contender's values, round by round, of table "took" (wall) or "cpu"."""
        values = self.times[table][contender]
        return [values[r] for r in self.rounds if r in values]

    def ratios(self, table, first, second):
        """The ratios of two contenders' values, one per round that has both, each with six
        significant digits."""
        mine, theirs = self.times[table][first], self.times[table][second]
        return ["%.6g" % (float(mine[r]) / float(theirs[r])) for r in self.rounds
                if r in mine and r in theirs and float(theirs[r]) > 0]


def time_row(results, label, contender, note):
    """A contender's row: its wall and CPU times, its calls, and a note."""
    if contender in results.failed:
        row(label, "failed", "", "", "", "", "", "", note)
        return
    per_file = per_dir = rest = ""
    if contender in results.calls:
        file_calls, dir_calls, rest_calls = results.calls[contender]
        per_file = fixed(file_calls / results.counts["file"], 2)
        per_dir = fixed(dir_calls / (results.counts["subdir"] + 1), 2)
        rest = str(rest_calls)
    row(label, *spread(1, results.series("took", contender)),
        *spread(1, results.series("cpu", contender)), per_file, per_dir, rest, note)


def ratio_row(results, label, first, second):
    if any(c in results.failed or c not in results.names for c in (first, second)):
        row(label, "-", "-", "-", "-")
        return
    row(label, *spread(2, results.ratios("took", first, second)),
        *spread(2, results.ratios("cpu", first, second)))


def contender_rows(results):
    shipped = os.path.basename(SHIPPED)
    nsis = results.setup["nsis"]
    row("", "wall", "wall", "CPU", "CPU", "calls", "calls", "other", "")
    row("What (times in ms)", "median", "min-max", "median", "min-max", "/file", "/dir", "calls",
        "Size / note")
    time_row(results, f"{shipped} -silent, full uninstall", "vxwipe",
             f"{size_note(SHIPPED)}, {SHIPPED}")
    time_row(results, "baseline, bare deletions", "baseline",
             f"{size_note(os.path.join(BIN, BASELINE_PROGRAM))}, a hidden window")
    time_row(results, "  the same without the window", "bare", "-nowindow")
    if nsis["note"]:
        row("NSIS uninstaller", "-", "-", "-", "-", "", "", "", nsis["note"])
    else:
        program = next(c["program"] for c in results.setup["contenders"] if c["name"] == "nsis")
        time_row(results, f"NSIS {nsis['version']} uninstaller /S ({nsis['target']})", "nsis",
                 size_note(program))
    time_row(results, "empty GUI process, start-up only", "startup", "a hidden window")
    time_row(results, "  the same without the window", "startup_bare", "-nowindow")
    print()
    row("Paired ratios, one per round")
    ratio_row(results, f"  {shipped} / baseline", "vxwipe", "baseline")
    ratio_row(results, f"  {shipped} / baseline without window", "vxwipe", "bare")
    ratio_row(results, f"  {shipped} / NSIS", "vxwipe", "nsis")


def size_row(figures):
    """The row of one tree size: "<keys> <median ms> <us per key> [<CPU median ms>]"."""
    cpu = fixed_extended(figures[3], 1) if len(figures) > 3 else ""
    figures = figures + ["0"] * (3 - len(figures))  # the shell's printf took none for 0
    row(f"MyRegDeleteKeySub, {grouped(figures[0])} keys", fixed_extended(figures[1], 1), "", cpu,
        "", "", "", "", fixed_extended(figures[2], 1) + " us per key")


def growth_cells(figures):
    """The cells of "<median> <min> <max> [<CPU median> <CPU min> <CPU max>]"."""
    count = 6 if len(figures) > 3 else 3
    figures = [fixed_extended(f, 2) for f in figures + ["0"] * (count - len(figures))]
    return [cell for at in range(0, count, 3)
            for cell in (figures[at], f"{figures[at + 1]}-{figures[at + 2]}")]


def key_tree_rows(results):
    """The rows of bench_regtree's lines, one per tree size, then the growth of the time per
    key, taken per run; False when it failed."""
    sizes = results.times["tree_sizes"]
    sizes_seen = 0
    growth = []
    for line in lines_of(read_text("regtree.out")):
        words = line.split()
        if words and words[0] == "growth":
            growth = growth_cells(words[1:])
        elif words:
            size_row(words)
            sizes_seen += 1
    if results.times["tree_status"] != 0 or sizes_seen != len(sizes) or not growth:
        row("MyRegDeleteKeySub", "failed", "", "", "", "", "", "", f"see {work('regtree.err')}")
        return False
    row(f"  growth, per key {grouped(sizes[-1])} / {grouped(sizes[0])}, per run", *growth)
    return True


def main():
    results = Results()
    load_at_end = load_average()
    status = 0
    for name in results.names:
        if name in results.failed:
            print(f"benchmark: {name} failed: {results.failed[name]}", file=sys.stderr)
            status = 1
    sys.stderr.flush()
    counts = results.counts
    print()
    print(f"Benchmark: {results.times['runs']} rounds ({WORK}/times.txt; calls in "
          f"{WORK}/calls-*.txt, traces relay-*.txt); {wine_output(['--version'])}, "
          f"{results.setup['kind_note']}; load average {results.setup['load_at_start']} at "
          f"start, {load_at_end} at end")
    print(f"One uninstall removes {counts['file']} files, {counts['subdir']} subdirectories and "
          f"the install directory, {counts['shortcut']} shortcuts and their folder, "
          f"{counts['key']} key trees")
    if not results.times["cpu_counted"]:
        print("No CPU times: a cpuacct cgroup can be made only by root")
    print()
    contender_rows(results)
    print()
    if not key_tree_rows(results):
        status = 1
    return status


if __name__ == "__main__":
    sys.exit(main())

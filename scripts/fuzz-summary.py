#!/usr/bin/python3
"""The totals of a campaign of worlds (scripts/fuzz.sh) from the output of its lanes:
what was drawn, the rate in worlds per minute since the campaign started, the share of a
world's time that each phase took, and last the line "n worlds, k held".

    fuzz-summary.py STARTED OUTPUT...
STARTED is the campaign's start in Unix seconds; each OUTPUT is one lane's output
(campaign-<run>-<lane>.txt). Exits with 1 unless every lane gave its count and every
world held.
"""
import collections
import os
import re
import sys
import time

SECTIONS = ("Mutations drawn:", "Started from:",
            "Behaviours kept on purpose that the worlds showed:")
COUNT = re.compile(r"^(\d+) worlds, (\d+) held$")
PHASES = re.compile(r"^phase seconds:((?: \w+=[\d.]+)+)$")
ROW = re.compile(r"^  (.*\S)\s+(\d+)$")


def read_lane(path):
    """(sections, phases, count, failed seeds) of one lane's output; count is None when
    the lane ended without it."""
    sections = {name: collections.Counter() for name in SECTIONS}
    phases = collections.Counter()
    count = None
    failed = []
    section = None
    with open(path, encoding="utf-8", errors="replace") as output:
        for line in output:
            line = line.rstrip("\r\n")
            if line in SECTIONS:
                section = line
                continue
            row = ROW.match(line)
            if section and row:
                sections[section][row.group(1)] += int(row.group(2))
                continue
            section = None
            if line.startswith("Seeds that failed:"):
                failed += line.split(":", 1)[1].split()
            match = PHASES.match(line)
            if match:
                for pair in match.group(1).split():
                    name, seconds = pair.split("=")
                    phases[name] += float(seconds)
            match = COUNT.match(line)
            if match:
                count = (int(match.group(1)), int(match.group(2)))
    return sections, phases, count, failed


def main():
    started = float(sys.argv[1])
    minutes = (time.time() - started) / 60
    totals = {name: collections.Counter() for name in SECTIONS}
    phases = collections.Counter()
    per_run = collections.Counter()
    worlds = held = 0
    failed = []
    status = 0
    for path in sys.argv[2:]:
        sections, lane_phases, count, lane_failed = read_lane(path)
        if count is None:
            print(f"fuzz: {os.path.basename(path)} ended without its count (see {path})")
            status = 1
            continue
        for name in SECTIONS:
            totals[name].update(sections[name])
        phases.update(lane_phases)
        run = os.path.basename(path).split("-")[1]
        per_run[run] += count[0]
        worlds += count[0]
        held += count[1]
        failed += lane_failed
    for name in SECTIONS:
        print(name)
        for row, number in sorted(totals[name].items()):
            print(f"  {row:<40} {number}")
    if failed:
        print("Seeds that failed: " + " ".join(sorted(failed, key=int)))
    runs = ", ".join(f"{number} {run}" for run, number in sorted(per_run.items()))
    rate = worlds / minutes if minutes > 0 else 0
    print(f"{worlds} worlds ({runs}) in {minutes:.1f} min: {rate:.1f} worlds per minute")
    total = sum(phases.values())
    if total > 0:
        shares = ", ".join(f"{name} {100 * seconds / total:.0f} %"
                           for name, seconds in phases.items())
        print(f"A world's time, {total / max(worlds, 1):.2f} s in a lane: {shares}")
    print(f"{worlds} worlds, {held} held")
    return 0 if status == 0 and worlds == held else 1


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/python3
"""The benchmark's third step decides how many platform calls each contender makes itself:
one more run of each that did not fail, under Wine's relay trace (relay-<name>.txt), whose
calls from the contender's own image into a system DLL are counted. Not counted: the C
runtime, and the string and error-code helpers, which never leave the process. A call
counts for the files when it falls between the first and the last call on a manifest file,
for the directories when it comes after that up to the last call on a manifest directory
or the install directory, else for the rest. Writes calls.json, and calls-<name>.txt, the
calls by function, to the work folder.
    count_calls.py [RELAY-TRACE MANIFEST]   prints the counts of one trace, for a check"""

import os
import re
import sys

from session import (BASELINE_PROGRAM, BIN, NSIS_PROGRAM, SHIPPED, lay, lines_of, load, save,
                     wine, work)

IN_PROCESS_HELPERS = ("msvcrt.*;CharNextA;CharNextW;CharPrevA;CharPrevW;lstrlenA;lstrlenW"
                      ";lstrcpyA;lstrcpyW;lstrcpynA;lstrcpynW;lstrcatA;lstrcatW;lstrcmpA;lstrcmpW"
                      ";lstrcmpiA;lstrcmpiW;wsprintfA;wsprintfW;wvsprintfA;wvsprintfW"
                      ";GetLastError;SetLastError")
DEBUG_KEY = "HKCU\\Software\\Wine\\Debug"
CALL = re.compile(r"[0-9a-f]+:Call [A-Za-z0-9_]+\.[A-Za-z0-9_]+\(")
QUOTED = re.compile(r'"((?:[^"\\]|\\.)*)"')
ASCII_LOWER = str.maketrans("ABCDEFGHIJKLMNOPQRSTUVWXYZ", "abcdefghijklmnopqrstuvwxyz")


def lower(text):
    return text.translate(ASCII_LOWER)


def quoted_path(line):
    """The first quoted text of a call, its doubled backslashes single, in lower case."""
    match = QUOTED.search(line)
    return lower(match.group(1).replace("\\\\", "\\")) if match else ""


def manifest_paths(manifest_text):
    """The manifest's files, and its directories with the install directory, in lower case."""
    entries = [line.split("\t") for line in lines_of(manifest_text)]
    install_dir = next(entry[1] for entry in entries if entry[0] == "dir")
    files = {lower(install_dir + "\\" + e[1]) for e in entries if e[0] == "file" and len(e) > 1}
    dirs = {lower(install_dir + "\\" + e[1]) for e in entries if e[0] == "subdir" and len(e) > 1}
    dirs.add(lower(install_dir))
    return files, dirs


def classify(trace_text, files, dirs):
    """(calls on files, calls on directories, other calls) of a trace, and the count of
    each (kind, function)."""
    names = []
    first = last = last_dir = 0
    for line in lines_of(trace_text):
        if not CALL.match(line):
            continue
        names.append(re.split(r"[ \t]+", line.strip(" \t"))[1].split("(", 1)[0])
        path = quoted_path(line)
        if path in files:
            first = first or len(names)
            last = len(names)
        if path in dirs:
            last_dir = len(names)
    totals = {"file": 0, "dir": 0, "rest": 0}
    by_name = {}
    for number, name in enumerate(names, 1):
        kind = ("file" if first and first <= number <= last else
                "dir" if last and last < number <= last_dir else "rest")
        totals[kind] += 1
        by_name[(kind, name)] = by_name.get((kind, name), 0) + 1
    return [totals["file"], totals["dir"], totals["rest"]], by_name


def read(path):
    with open(path, encoding="latin-1", newline="") as file:
        return file.read()


def trace(contender):
    """The relay trace of one run of the contender, after the sample is laid for it."""
    if not contender["startup_only"]:
        lay()
    with open(work(f"relay-{contender['name']}.txt"), "wb") as relay:
        wine([os.path.join(BIN, "bench_timer.exe"), contender["command"]], stderr=relay,
             env=dict(os.environ, WINEDEBUG="-all,+relay"))
    return read(work(f"relay-{contender['name']}.txt"))


def main():
    if len(sys.argv) == 3:
        files, dirs = manifest_paths(read(sys.argv[2]))
        print(*classify(read(sys.argv[1]), files, dirs)[0])
        return
    contenders = load("setup.json")["contenders"]
    failed = load("times.json")["failed"]
    files, dirs = manifest_paths(read(work("manifest.tsv")))
    print("Counting the platform calls of each contender ...", flush=True)
    programs = ";".join([os.path.basename(SHIPPED), BASELINE_PROGRAM, NSIS_PROGRAM])
    wine(["reg", "delete", DEBUG_KEY, "/v", "RelayFromExclude", "/f"])
    wine(["reg", "add", DEBUG_KEY, "/v", "RelayFromInclude", "/f", "/d", programs])
    wine(["reg", "add", DEBUG_KEY, "/v", "RelayExclude", "/d", IN_PROCESS_HELPERS, "/f"])
    calls = {}
    for contender in contenders:
        if contender["name"] in failed:
            continue
        calls[contender["name"]], by_name = classify(trace(contender), files, dirs)
        with open(work(f"calls-{contender['name']}.txt"), "w") as detail:
            detail.writelines(sorted(f"{kind} {name} {count}\n"
                                     for (kind, name), count in by_name.items()))
    wine(["reg", "delete", DEBUG_KEY, "/v", "RelayFromInclude", "/f"])
    save("calls.json", calls)


if __name__ == "__main__":
    main()

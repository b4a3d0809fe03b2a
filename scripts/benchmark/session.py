"""What the benchmark's steps share: the work folder, where they hand on what they found;
Windows programs started through the Wine that scripts/wine-session.sh chose for
scripts/benchmark.sh; and the sample installation that every uninstall removes."""

import json
import os
import subprocess
import sys

WINE = os.environ["VXWIPE_WINE"]
BUILD = os.environ["VXWIPE_BUILD"]
SHIPPED = os.environ["VXWIPE_PROGRAM"]
BIN = os.path.join(BUILD, "bin")
WORK = os.path.join(BUILD, "bench")
TOOLS = ("vxsample", "bench_timer", "bench_baseline", "bench_regtree")
BASELINE_PROGRAM = "bench_baseline.exe"
NSIS_PROGRAM = "vxnsis-uninstall.exe"
# The generation whose keys are exactly those a normal-mode uninstall removes.
INSTALL_DIR = "C:\\Program Files\\VORTA\\VORTA-X"
SAMPLE_ARGS = ["-generation", "1", "-scope", "system", "-dir", INSTALL_DIR]
# Every file is read and written as bytes one to one: the programs write the ANSI code page.
TEXT = {"encoding": "latin-1", "newline": ""}


def work(name):
    return os.path.join(WORK, name)


def fail(message, status=1):
    print("benchmark: " + message, file=sys.stderr)
    sys.exit(status)


def wine(arguments, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=None):
    """Runs a program through the session's Wine; returns its exit status."""
    return subprocess.run([WINE] + arguments, stdin=subprocess.DEVNULL, stdout=stdout,
                          stderr=stderr, env=env).returncode


def wine_output(arguments, stderr=subprocess.DEVNULL):
    """What a program printed, without carriage returns and final newlines."""
    result = subprocess.run([WINE] + arguments, stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=stderr)
    return result.stdout.decode("latin-1").replace("\r", "").rstrip("\n")


def to_windows(path):
    return wine_output(["winepath", "-w", path])


def read_text(name):
    """A file of the work folder, without carriage returns; "" when it is missing."""
    try:
        with open(work(name), **TEXT) as file:
            return file.read().replace("\r", "")
    except FileNotFoundError:
        return ""


def lines_of(text):
    """The lines of a text, as awk and read take them: a final newline ends the last."""
    lines = text.split("\n")
    return lines[:-1] if lines and lines[-1] == "" else lines


def sample(verb, *extra):
    """vxsample.exe VERB with the sample's settings; what it says is kept in vxsample.out."""
    with open(work("vxsample.out"), "ab") as out:
        return wine([os.path.join(BIN, "vxsample.exe"), verb] + SAMPLE_ARGS + list(extra),
                    stdout=out, stderr=subprocess.STDOUT)


def lay():
    """Lays the sample installation again, before every uninstall."""
    if sample("lay") != 0:
        print("benchmark: the sample could not be laid:", file=sys.stderr, flush=True)
        with open(work("vxsample.out"), "rb") as out:
            sys.stderr.buffer.write(out.read())
        sys.exit(1)


def load_average():
    with open("/proc/loadavg") as file:
        return file.read().split(" ")[0]


def save(name, value):
    with open(work(name), "w") as file:
        json.dump(value, file, indent=1)


def load(name):
    with open(work(name)) as file:
        return json.load(file)

#!/usr/bin/python3
"""The benchmark's first step decides what runs: it lays the sample installation, reads
what it is made of, builds the NSIS uninstaller that removes the same things, and writes
each contender's command line to setup.json in the work folder.
    prepare.py win32|twin"""

import os
import shutil
import subprocess
import sys

from session import (BASELINE_PROGRAM, BIN, INSTALL_DIR, NSIS_PROGRAM, SHIPPED, TOOLS, WORK,
                     fail, lay, read_text, sample, save, to_windows, wine, work)

# The stub nearly every NSIS uninstaller is built with, and its 64-bit kin beside the twin.
KINDS = {
    "win32": ("x86-unicode", "pure 32-bit prefix, i686 programs"),
    "twin": ("amd64-unicode", "this machine cannot start 32-bit programs: 64-bit prefix, "
             "the x86_64 twin and baseline, through Wine's 64-bit loader alone"),
}
NSIS_STUBS = "/usr/share/nsis/Stubs"


def check_programs():
    for program in TOOLS:
        path = os.path.join(BIN, program + ".exe")
        if not os.path.isfile(path):
            fail(f"{path} is missing (make benchmark builds it)", 2)
    if not os.path.isfile(SHIPPED):
        fail(f"{SHIPPED} is missing (make benchmark builds it)", 2)


def nsis_missing(target):
    """Why there is no NSIS peer, or "" when makensis and its stub are there. NSIS is needed
    here only, so it is installed here and not with the build's tools."""
    if shutil.which("makensis") is None and os.getuid() == 0:
        print("Installing nsis for the peer uninstaller ...", flush=True)
        environment = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
        if subprocess.run(["apt-get", "update", "-qq"]).returncode == 0:
            subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends", "nsis"],
                           stdout=subprocess.DEVNULL, env=environment)
    if shutil.which("makensis") is None:
        return "makensis not available"
    if not os.path.exists(os.path.join(NSIS_STUBS, "zlib-" + target)):
        return f"no NSIS {target} stub"
    return ""


def read_manifest():
    """The sample's manifest: (kind, fields) for each of its lines."""
    sample("manifest", "-out", to_windows(WORK) + "\\manifest.txt")
    text = read_text("manifest.txt")
    with open(work("manifest.tsv"), "w", encoding="latin-1", newline="") as file:
        file.write(text)
    return [tuple(line.split("\t")) for line in text.split("\n") if line != ""]


def fields(manifest, kind):
    return [entry[1] if len(entry) > 1 else "" for entry in manifest if entry[0] == kind]


def keys(manifest):
    """(root, path) of each key tree."""
    return [(entry[1], entry[2]) for entry in manifest if entry[0] == "key" and len(entry) > 2]


# The peer: an NSIS uninstaller written by an installer that does nothing else.
def nsis_script(target, manifest):
    folder_name = fields(manifest, "folder")[0].rsplit("\\", 1)[-1]
    lines = ["Unicode true", f"Target {target}", 'Name "VORTA-X"', 'OutFile "vxnsis-writer.exe"',
             "SilentInstall silent", "RequestExecutionLevel admin",
             f'InstallDir "{fields(manifest, "dir")[0]}"', "Section",
             f'  WriteUninstaller "$EXEDIR\\{NSIS_PROGRAM}"', "SectionEnd",
             'Section "Uninstall"', "  SetShellVarContext all"]
    lines += [f'  Delete "$SMPROGRAMS\\{folder_name}\\{name}.lnk"'
              for name in fields(manifest, "shortcut")]
    lines.append(f'  RMDir "$SMPROGRAMS\\{folder_name}"')
    lines += [f'  Delete "$INSTDIR\\{path}"' for path in fields(manifest, "file")]
    lines += [f'  RMDir "$INSTDIR\\{path}"' for path in fields(manifest, "subdir")]
    lines.append('  RMDir "$INSTDIR"')
    lines += [f'  DeleteRegKey {root} "{path}"' for root, path in keys(manifest)]
    lines.append("SectionEnd")
    return "".join(line + "\n" for line in lines)


def build_nsis(target, manifest):
    """The NSIS version, or None when the uninstaller could not be built."""
    print("Building the NSIS uninstaller ...", flush=True)
    with open(work("vxnsis.nsi"), "w", encoding="latin-1", newline="") as file:
        file.write(nsis_script(target, manifest))
    with open(work("makensis.log"), "wb") as log:
        built = subprocess.run(["makensis", "-V2", "vxnsis.nsi"], cwd=WORK, stdout=log,
                               stderr=subprocess.STDOUT).returncode == 0
    if not (built and wine([work("vxnsis-writer.exe")]) == 0 and
            os.path.isfile(work(NSIS_PROGRAM))):
        return None
    version = subprocess.run(["makensis", "-VERSION"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL).stdout.decode().strip()
    return version.removeprefix("v").split("-")[0]


def contenders(manifest, nsis):
    """Each contender's name, command line, program file and whether it is a start-up only:
    the shipped program, the baseline with bare calls with and without its hidden window,
    the NSIS peer, and the baseline without work."""
    bin_windows = to_windows(BIN)
    baseline = f'"{bin_windows}\\{BASELINE_PROGRAM}"'
    removal = f' -dir "{fields(manifest, "dir")[0]}" -folder "{fields(manifest, "folder")[0]}"'
    removal += "".join(f' -shortcut "{name}"' for name in fields(manifest, "shortcut"))
    removal += "".join(f' -key {root} "{path}"' for root, path in keys(manifest))
    baseline_file = os.path.join(BIN, BASELINE_PROGRAM)
    chosen = [
        ("vxwipe", f'"{to_windows(SHIPPED)}" -silent', SHIPPED),
        ("baseline", baseline + removal, baseline_file),
        ("bare", baseline + " -nowindow" + removal, baseline_file),
    ]
    # "_?=" keeps the uninstaller where it is (no copy to TMP, no second process) and must
    # come last, unquoted.
    if nsis:
        chosen.append(("nsis", f'"{to_windows(WORK)}\\{NSIS_PROGRAM}" /S _?={INSTALL_DIR}',
                       work(NSIS_PROGRAM)))
    chosen += [("startup", baseline, baseline_file),
               ("startup_bare", baseline + " -nowindow", baseline_file)]
    return [{"name": name, "command": command, "program": program,
             "startup_only": name.startswith("startup")} for name, command, program in chosen]


def main():
    machine = sys.argv[1]
    target, kind_note = KINDS[machine]
    check_programs()
    nsis_note = nsis_missing(target)
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    print("Laying the sample installation and reading what it is made of ...", flush=True)
    lay()
    manifest = read_manifest()
    if not fields(manifest, "file") or not fields(manifest, "folder") or not keys(manifest):
        fail(f"the manifest of the sample is incomplete ({work('manifest.tsv')})")
    nsis_version = None
    if not nsis_note:
        nsis_version = build_nsis(target, manifest)
        if nsis_version is None:
            nsis_note = f"the NSIS uninstaller could not be built (see {work('makensis.log')})"
    save("setup.json", {
        "kind_note": kind_note,
        "load_at_start": os.environ.get("BENCH_LOAD_AT_START", ""),
        "nsis": {"target": target, "version": nsis_version, "note": nsis_note},
        "counts": {kind: len(fields(manifest, kind))
                   for kind in ("file", "subdir", "shortcut", "key")},
        "contenders": contenders(manifest, nsis_version is not None),
    })


if __name__ == "__main__":
    main()

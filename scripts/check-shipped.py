#!/usr/bin/python3
"""Checks the shipped vxwipe.exe as a user's machine receives it.

Usage: check-shipped.py [path/to/vxwipe.exe] [path/to/allowed-imports.txt]

Prints a short report and exits non-zero when any check fails.
"""
import os
import struct
import sys
import xml.etree.ElementTree as ElementTree

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_EXE = os.path.join(HERE, "..", "dist", "win32", "vxwipe.exe")
DEFAULT_IMPORT_LIST = os.path.join(HERE, "win95-nt4-imports.txt")

# About a tenth above the 51 KB the program needs since it moves its own file out of the
# install folder and logs its boxes: room for small changes, none for a runtime library
# pulled in by accident (iostreams or exceptions add hundreds of KB).
SIZE_LIMIT = 56 * 1024
ALLOWED_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll"}
# The uninstall never calls COM: only the shortcut creation of the sample and the tests
# does, which loads it.
NOT_IMPORTED_DLLS = ["ole32.dll"]
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
NO_SEH = 0x0400
FLAG_NAMES = [(0x0020, "HIGH_ENTROPY_VA"), (DYNAMIC_BASE, "DYNAMIC_BASE"),
              (0x0080, "FORCE_INTEGRITY"), (NX_COMPAT, "NX_COMPAT"), (0x0200, "NO_ISOLATION"),
              (NO_SEH, "NO_SEH"), (0x0800, "NO_BIND"), (0x1000, "APPCONTAINER"),
              (0x2000, "WDM_DRIVER"), (0x4000, "GUARD_CF"), (0x8000, "TERMINAL_SERVER_AWARE")]
LANG_ENGLISH_US = 0x409
LANG_JAPANESE = 0x411
VERSION_BLOCKS = {
    "040904E4": "VORTA-X Uninstaller",
    "041103A4": "VORTA-X アンインストーラ",
}
VERSION_TEXT = "4.10"
VERSION_MS = (4 << 16) | 10
ICON_NAME = "WIPR_ICON"
ICON_SIDE = 32
ICON_BITS = 4  # 16 colours
MANIFEST_ID = 1
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPATIBILITY_V1 = "urn:schemas-microsoft-com:compatibility.v1"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10",
}


class Report:
    def __init__(self):
        self.failures = 0

    def check(self, ok, what, problem=""):
        """Prints one result line; the problem is shown only when the check fails."""
        if not ok:
            self.failures += 1
        line = "%-4s %s" % ("ok" if ok else "FAIL", what)
        print(line + (": " + problem if problem and not ok else ""))

    def note(self, text):
        print("     " + text)


def read_import_list(path):
    allowed = set()
    with open(path, encoding="utf-8") as listing:
        for number, line in enumerate(listing, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            fields = line.split()
            if len(fields) != 2:
                sys.exit("%s:%d: expected 'dll function'" % (path, number))
            allowed.add((fields[0].lower(), fields[1]))
    return allowed


def check_headers(pe, report):
    header = pe.OPTIONAL_HEADER
    report.check(header.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE, "PE32 image",
                 "optional header magic 0x%x" % header.Magic)
    machine = pe.FILE_HEADER.Machine
    report.check(machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"], "i686 machine",
                 "0x%x" % machine)
    gui = pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]
    report.check(header.Subsystem == gui, "GUI subsystem", "subsystem %d" % header.Subsystem)
    subsystem = (header.MajorSubsystemVersion, header.MinorSubsystemVersion)
    report.check(subsystem == (4, 0), "subsystem version 4.0", "%d.%d" % subsystem)
    os_version = (header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion)
    report.check(os_version == (4, 0), "OS version 4.0", "%d.%d" % os_version)


def check_imports(pe, allowed, report):
    imported = []
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        dll = entry.dll.decode("ascii").lower()
        for symbol in entry.imports:
            name = symbol.name.decode("ascii") if symbol.name else "#%d" % symbol.ordinal
            imported.append((dll, name))
    dlls = sorted({dll for dll, _ in imported})
    unexpected_dlls = [dll for dll in dlls if dll not in ALLOWED_DLLS]
    report.check(not unexpected_dlls, "imports only from " + ", ".join(dlls),
                 "not allowed: " + ", ".join(unexpected_dlls))
    delayed = [entry.dll.decode("ascii") for entry in getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", [])]
    report.check(not delayed, "no delay-loaded DLLs", ", ".join(delayed))

    forbidden = [dll for dll in NOT_IMPORTED_DLLS if dll in dlls]
    report.check(not forbidden, "no import of " + ", ".join(NOT_IMPORTED_DLLS),
                 "imports " + ", ".join(forbidden))

    unlisted = [item for item in imported if item not in allowed]
    report.check(not unlisted, "%d imported functions, each on the Windows 95 and NT 4.0 list"
                 % len(imported), "not listed: " + ", ".join("%s %s" % item for item in unlisted))
    for dll in dlls:
        names = sorted((name for owner, name in imported if owner == dll), key=str.lower)
        report.note("%s: %s" % (dll, " ".join(names)))


def check_hardening(pe, report):
    flags = pe.OPTIONAL_HEADER.DllCharacteristics
    names = [name for bit, name in FLAG_NAMES if flags & bit]
    report.note("DllCharacteristics 0x%04x: %s" % (flags, " ".join(names) or "none"))
    relocation_blocks = len(getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []))
    relocations = sum(len(block.entries) for block in getattr(pe, "DIRECTORY_ENTRY_BASERELOC", []))
    stripped = pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"]
    report.check(flags & DYNAMIC_BASE and relocations > 0 and not stripped,
                 "ASLR: DYNAMIC_BASE with its relocations kept (%d in %d blocks)"
                 % (relocations, relocation_blocks),
                 "DYNAMIC_BASE %s, %d relocations, relocations stripped %s"
                 % ("set" if flags & DYNAMIC_BASE else "not set", relocations, bool(stripped)))
    report.check(flags & NX_COMPAT, "DEP: NX_COMPAT", "not set")
    handlers = 0
    config = getattr(pe, "DIRECTORY_ENTRY_LOAD_CONFIG", None)
    if config is not None:
        handlers = getattr(config.struct, "SEHandlerCount", 0) or 0
    report.check(flags & NO_SEH or handlers > 0,
                 "SEH: " + ("NO_SEH, no exception handlers" if flags & NO_SEH
                            else "a SafeSEH table of %d handlers" % handlers),
                 "neither NO_SEH nor a SafeSEH table")


def resource_type(pe, type_id):
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return None
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id == type_id:
            return entry
    return None


def resource_data(pe, language_entry):
    data = language_entry.data.struct
    return pe.get_data(data.OffsetToData, data.Size)


def check_string_tables(pe, report):
    table = resource_type(pe, pefile.RESOURCE_TYPE["RT_STRING"])
    blocks = table.directory.entries if table else []
    missing = []
    for block in blocks:
        languages = {entry.id for entry in block.directory.entries}
        for language in (LANG_ENGLISH_US, LANG_JAPANESE):
            if language not in languages:
                missing.append("block %d lacks 0x%x" % (block.id, language))
    report.check(bool(blocks) and not missing,
                 "%d string table blocks, each in English (0x409) and Japanese (0x411)"
                 % len(blocks), "; ".join(missing) if missing else "no string table")


def check_version(pe, report):
    fixed = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
    fixed_ok = fixed is not None and (fixed.FileVersionMS, fixed.FileVersionLS,
                                      fixed.ProductVersionMS, fixed.ProductVersionLS) == (
                                          VERSION_MS, 0, VERSION_MS, 0)
    report.check(fixed_ok, "fixed file and product version 4.10")
    tables = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            tables[table.LangID.decode("ascii").upper()] = {
                key.decode("utf-8"): value.decode("utf-8") for key, value in table.entries.items()}
    for block, description in VERSION_BLOCKS.items():
        values = tables.get(block)
        problems = []
        if values is None:
            problems.append("missing")
        else:
            for key in ("FileVersion", "ProductVersion"):
                if values.get(key) != VERSION_TEXT:
                    problems.append("%s %r" % (key, values.get(key)))
            if values.get("FileDescription") != description:
                problems.append("FileDescription %r" % values.get("FileDescription"))
        report.check(not problems, 'version block "%s" (%s)' % (block, description),
                     ", ".join(problems))


def check_icon(pe, report):
    groups = resource_type(pe, pefile.RESOURCE_TYPE["RT_GROUP_ICON"])
    icons = resource_type(pe, pefile.RESOURCE_TYPE["RT_ICON"])
    named = [entry for entry in (groups.directory.entries if groups else [])
             if entry.name is not None and str(entry.name) == ICON_NAME]
    if len(named) != 1:
        report.check(False, 'group icon "%s"' % ICON_NAME, "not found")
        return
    directory = resource_data(pe, named[0].directory.entries[0])
    _, kind, count = struct.unpack_from("<HHH", directory, 0)
    if kind != 1 or count != 1:
        report.check(False, 'group icon "%s"' % ICON_NAME, "%d images, exactly one wanted" % count)
        return
    width, height, _, _, _, bits, _, image_id = struct.unpack_from("<BBBBHHIH", directory, 6)
    images = [entry for entry in (icons.directory.entries if icons else []) if entry.id == image_id]
    problems = []
    if (width, height, bits) != (ICON_SIDE, ICON_SIDE, ICON_BITS):
        problems.append("directory says %dx%d, %d bits" % (width, height, bits))
    if len(images) != 1:
        problems.append("image %d missing" % image_id)
    else:
        # The image itself starts with a BITMAPINFOHEADER whose height covers the mask too.
        image = resource_data(pe, images[0].directory.entries[0])
        _, bitmap_width, bitmap_height, _, bitmap_bits = struct.unpack_from("<IiiHH", image, 0)
        if (bitmap_width, bitmap_height, bitmap_bits) != (ICON_SIDE, 2 * ICON_SIDE, ICON_BITS):
            problems.append("image is %dx%d, %d bits" % (bitmap_width, bitmap_height // 2, bitmap_bits))
    report.check(not problems, 'group icon "%s": one 32x32 16-colour image' % ICON_NAME,
                 "; ".join(problems))


def check_manifest(pe, report):
    manifests = resource_type(pe, pefile.RESOURCE_TYPE["RT_MANIFEST"])
    entries = [entry for entry in (manifests.directory.entries if manifests else [])
               if entry.id == MANIFEST_ID]
    if len(entries) != 1:
        report.check(False, "application manifest (type 24, id 1)", "not found")
        return
    text = resource_data(pe, entries[0].directory.entries[0])
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        report.check(False, "application manifest (type 24, id 1)", "not well-formed: %s" % error)
        return
    levels = root.findall("{%s}trustInfo/{%s}security/{%s}requestedPrivileges/"
                          "{%s}requestedExecutionLevel" % (ASM_V3, ASM_V3, ASM_V3, ASM_V3))
    level = levels[0].get("level") if len(levels) == 1 else None
    ui_access = levels[0].get("uiAccess", "false") if len(levels) == 1 else None
    report.check(root.tag == "{%s}assembly" % ASM_V1 and level == "highestAvailable"
                 and ui_access == "false",
                 "application manifest requests highestAvailable without UI access",
                 "level %r, uiAccess %r" % (level, ui_access))
    declared = {element.get("Id", "").lower() for element in root.findall(
        "{%s}compatibility/{%s}application/{%s}supportedOS"
        % (COMPATIBILITY_V1, COMPATIBILITY_V1, COMPATIBILITY_V1))}
    missing = [name for guid, name in SUPPORTED_OS.items() if guid not in declared]
    report.check(not missing, "manifest declares Windows Vista, 7, 8, 8.1 and 10",
                 "missing " + ", ".join(missing))


def main():
    exe = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_EXE
    import_list = sys.argv[2] if len(sys.argv) > 2 else DEFAULT_IMPORT_LIST
    print("checking %s" % os.path.normpath(exe))
    report = Report()
    size = os.path.getsize(exe)
    report.check(size <= SIZE_LIMIT, "file size %d bytes, at most %d" % (size, SIZE_LIMIT))
    pe = pefile.PE(exe)
    check_headers(pe, report)
    check_hardening(pe, report)
    check_imports(pe, read_import_list(import_list), report)
    check_string_tables(pe, report)
    check_version(pe, report)
    check_icon(pe, report)
    check_manifest(pe, report)
    if report.failures:
        print("%d check(s) failed" % report.failures)
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())

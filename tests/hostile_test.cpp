// Hostile and broken input, end to end: every registry value the uninstaller reads set
// to a wrong type, a wrong length or a dangerous path, odd chained commands, and a
// temporary directory that takes no log. The real vxwipe.exe runs on each input in a
// fresh state; it must end with its exit code, leave a log line that says what it met,
// and delete nothing but the product's own.
#include "app/state.h"
#include "log/log.h"
#include "tests/support/boxes.h"
#include "tests/support/install.h"
#include "tests/support/logmatch.h"
#include "tests/support/product.h"
#include "tests/support/startmenu.h"
#include "tests/support/wintest.h"

#include <cstdio>
#include <cstring>

using namespace wintest;

namespace {

const char BASE[] = "C:\\hostile";
const char INSTALL_DIR[] = "C:\\hostile\\VORTA\\VORTA-X";
const char CURRENT_DIR[] = "C:\\hostile\\cwd";
// The scratch drive letter shows this folder; its root holds the user's files.
const char DRIVE_TARGET[] = "C:\\hostile-drive";
const char DRIVE_TARGET_UNIX[] = "../drive_c/hostile-drive"; // relative to dosdevices
// Where an empty Programs folder would send the shortcut removal: the root of the
// current directory's drive.
const char ROOT_FOLDER[] = "C:\\VORTA-X";

const Key ASSOCIATION_KEYS[] = {{HKEY_CLASSES_ROOT, FILE_EXTENSION},
                                {HKEY_CLASSES_ROOT, FILE_TYPE}};

// A few files of the manifest: enough to see what a run deletes.
const char* const MANIFEST_SAMPLE[] = {"readme.txt", "vortax.exe", "misc\\fonts.dir",
                                       "aliases\\dec\\fonts.ali", "type1\\cour.pfa"};
// The user's files, which every run must leave alone. "{B}" is BASE.
const char* const USER_FILES[] = {
    "{B}\\VORTA\\my notes.txt", // beside the install directory
    "{B}\\notes.txt",           // one input names it as the install directory
    "{B}\\cwd\\readme.txt",     // manifest names in the current directory
    "{B}\\cwd\\misc\\fonts.dir",
    "{B}\\tmpfile",          // one input names it as the temporary directory
    "{B}\\fonts\\fonts.dir", // one input links the install's "misc" to this folder
    "{B}\\fonts\\mine.pcf",
    "{B}\\vendor\\fonts.ali", // one input links the install's "aliases\dec" to this folder
};
const char* const DRIVE_USER_FILES[] = {"letter.txt", "misc\\mine.pcf", "docs\\plan.txt"};

// Where the hostile value goes.
enum Place {
    INSTALL_LOCATION,    // product Uninstall entry, normal mode
    IS_INSTALL_LOCATION, // InstallShield key, -IS mode
    INSTALL_DIRECTORY_4, // per-user settings; InstallLocation missing
    INSTALL_DIRECTORY,   // per-user settings; InstallLocation and InstallDirectory4 missing
    CHAINED_COMMAND,     // "UninstallString.ORIG", -IS mode
    COMMON_PROGRAMS,     // Shell Folders under HKLM, all-users installation
    USER_PROGRAMS,       // Shell Folders under HKCU, per-user installation
    TEMP_DIRECTORY,      // TMP and TEMP of the run
    LINKED_MISC,         // the install's "misc" is a symbolic link to the folder named
    LINKED_VENDOR,       // the install's "aliases\dec", below a plain "aliases", is one
};

// How the value is stored. BYTES_n: a REG_SZ of n bytes with its terminator.
enum Form {
    SZ,
    DWORD_ONE,
    BINARY, // the text's bytes, no terminator
    MULTI_SZ,
    EXPAND_SZ,
    EMPTY, // a REG_SZ of no bytes at all
    BYTES_520,
    BYTES_521,
    BYTES_1023,
    BYTES_1024,
    BYTES_1025,
    NO_TERMINATOR,
    NO_TERMINATOR_1024,
    EMBEDDED_NUL, // the text, a NUL, then "\..\.."
};

// LINK_STAYS: all goes but the linked subdirectory and, with it, the install directory.
enum Outcome { REMOVES_ALL, INSTALL_STAYS, SHORTCUTS_STAY, LINK_STAYS, FATAL };
// LOG_OF_ITS_OWN: vxwipe.log is refused, and the trace is in a file of the run's own
// beside it.
enum LogPlace { LOG_IN_TEMP, LOG_IN_CURRENT_DIR, LOG_OF_ITS_OWN, NO_LOG };

// One hostile input. text holds placeholders: {B} BASE, {D} the install directory,
// {X} the scratch drive ("R:"), {P} the Programs folder of the scope, {S} the stand-in
// for the installer's uninstaller; nullptr means the right value of the place. In the
// expected log lines, {V} is the value as the program reads it and {A} its text from
// the first "/" on; "*" stands for a handle.
struct Input {
    const char* name;
    Place place;
    Form form;
    const char* text;
    Outcome outcome;
    std::vector<const char*> lines;
    std::vector<ExpectedBox> boxes = {}; // none: the run is silent; "%s" is the value read
    LogPlace log = LOG_IN_TEMP;
};

const char LOCATION_REJECTED_0[] =
    "  fail get registry value(InstallLocation) or value is empty, rval:0";
const char LOCATION_REJECTED_EA[] =
    "  fail get registry value(InstallLocation) or value is empty, rval:ea";
const char LOCATION_MISSING[] =
    "  fail get registry value(InstallLocation) or value is empty, rval:2";
const char FOUND_REAL[] = "  InstallDir is {D}";
const char FOUND_VALUE[] = "  InstallDir is {V}";
const char LONG_DIR_FILE[] = "  cannot get attribute of file: {V}\\aliases.cfg, 206";
const char ALL_FILES_REMAIN[] = "  remain files: 616";
const char ALL_DIRS_REMAIN[] = "  remain dirs: 15";
const char NO_FILE_REMAINS[] = "  remain files: 0";
const char NO_DIR_REMAINS[] = "  remain dirs: 0";
const char DIR4_REJECTED_0[] = "  fail get registry value(InstallDirectory4), rval:0";
const char DIR4_REJECTED_EA[] = "  fail get registry value(InstallDirectory4), rval:ea";
const char DIR4_MISSING[] = "  fail get registry value(InstallDirectory4), rval:2";
const char DIR_REJECTED_0[] = "  fail get registry value(InstallDirectory), rval:0";
const char DIR_REJECTED_EA[] = "  fail get registry value(InstallDirectory), rval:ea";
const char CALLS_STANDIN[] = "UBIS: call process:[{S}], arg:[/uninst /s]";
const char CALLS_VALUE[] = "UBIS: call process:[{S}], arg:[{A}]";
const char CHAINED_REJECTED_EA[] = "  fail get registry value(UninstallString.ORIG), rval:ea";
const char FOLDER_STAYS[] = "  fail remove Folder(VORTA-X)";
const char NO_PROGRAMS_RPI[] = "RPI: fail to get application folder path";
const char NO_PROGRAMS_DPG[] = "DPG: fail to get application folder path";
const char SYSTEM_PROGRAMS_REAL[] = "gAFL: SYSTEM, loc: {P}";
const char SYSTEM_PROGRAMS_VALUE[] = "gAFL: SYSTEM, loc: {V}";
const char USER_PROGRAMS_REAL[] = "gAFL: USER,   loc: {P}";
const char USER_PROGRAMS_VALUE[] = "gAFL: USER,   loc: {V}";
const char COMMON_TOO_LONG[] = "234 = MyRegQueryValueEx(*, Common Programs, ..., ..., ...)";
const char USER_TOO_LONG[] = "234 = MyRegQueryValueEx(*, Programs, ..., ..., ...)";
const char FOLDER_PATH_TOO_LONG[] = "DPG: too long parameter";

// clang-format off
const Input INPUTS[] = {
    // The product's Uninstall entry; the per-user settings hold the right directory.
    // Only a string counts; an expandable one is expanded.
    {"LocationDword", INSTALL_LOCATION, DWORD_ONE, nullptr, REMOVES_ALL,
     {LOCATION_REJECTED_0, FOUND_REAL}},
    {"LocationBinary", INSTALL_LOCATION, BINARY, nullptr, REMOVES_ALL,
     {LOCATION_REJECTED_0, FOUND_REAL, NO_FILE_REMAINS, NO_DIR_REMAINS}},
    {"LocationMultiSz", INSTALL_LOCATION, MULTI_SZ, nullptr, REMOVES_ALL,
     {LOCATION_REJECTED_0, FOUND_REAL}},
    {"LocationExpandSz", INSTALL_LOCATION, EXPAND_SZ, nullptr, REMOVES_ALL, {FOUND_REAL}},
    {"LocationExpandVariable", INSTALL_LOCATION, EXPAND_SZ,
     "%SystemDrive%\\hostile\\VORTA\\VORTA-X", REMOVES_ALL,
     {FOUND_REAL, NO_FILE_REMAINS, NO_DIR_REMAINS}},
    {"LocationEmpty", INSTALL_LOCATION, EMPTY, nullptr, REMOVES_ALL,
     {LOCATION_REJECTED_0, FOUND_REAL}},
    {"Location1023Bytes", INSTALL_LOCATION, BYTES_1023, nullptr, INSTALL_STAYS,
     {FOUND_VALUE, LONG_DIR_FILE, ALL_FILES_REMAIN, ALL_DIRS_REMAIN},
     {CONFIRM, ASK_SETTINGS, WARN_DIR_UNFILLED, DONE_REMAINS}},
    {"Location1024Bytes", INSTALL_LOCATION, BYTES_1024, nullptr, INSTALL_STAYS,
     {FOUND_VALUE, LONG_DIR_FILE, ALL_FILES_REMAIN, ALL_DIRS_REMAIN}},
    {"Location1025Bytes", INSTALL_LOCATION, BYTES_1025, nullptr, REMOVES_ALL,
     {"234 = MyRegQueryValueEx(*, InstallLocation, ..., ..., ...)", LOCATION_REJECTED_EA,
      FOUND_REAL}},
    {"LocationNoTerminator", INSTALL_LOCATION, NO_TERMINATOR, nullptr, REMOVES_ALL, {FOUND_REAL}},
    {"Location1024NoTerminator", INSTALL_LOCATION, NO_TERMINATOR_1024, nullptr, REMOVES_ALL,
     {LOCATION_REJECTED_EA, FOUND_REAL}},
    {"LocationEmbeddedNul", INSTALL_LOCATION, EMBEDDED_NUL, nullptr, REMOVES_ALL, {FOUND_REAL}},

    // Paths that are no install directory of the product.
    {"LocationNamesFile", INSTALL_LOCATION, SZ, "{B}\\notes.txt", INSTALL_STAYS,
     {FOUND_VALUE, NO_FILE_REMAINS, NO_DIR_REMAINS}},
    {"LocationDriveRoot", INSTALL_LOCATION, SZ, "{X}\\", INSTALL_STAYS,
     {FOUND_VALUE, NO_FILE_REMAINS, "  cannot remove dir: {X}\\\\misc", "  remain dirs: 1"},
     {CONFIRM, ASK_SETTINGS, WARN_DIR_STAYS, DONE_REMAINS}},
    {"LocationDotDotInside", INSTALL_LOCATION, SZ, "{B}\\VORTA\\sub\\..\\VORTA-X", REMOVES_ALL,
     {FOUND_VALUE}},
    {"LocationDotDotAbove", INSTALL_LOCATION, SZ, "{D}\\..", INSTALL_STAYS,
     {FOUND_VALUE, NO_FILE_REMAINS, NO_DIR_REMAINS}},
    // A relative path would be joined to the current directory, which holds the user's
    // files of manifest names.
    {"LocationRelative", INSTALL_LOCATION, SZ, "..\\VORTA\\VORTA-X", REMOVES_ALL,
     {LOCATION_REJECTED_0, FOUND_REAL}},
    {"LocationCurrentDirectory", INSTALL_LOCATION, SZ, ".", REMOVES_ALL,
     {LOCATION_REJECTED_0, FOUND_REAL}},
    {"LocationRootOfTheDrive", INSTALL_LOCATION, SZ, "\\hostile\\cwd", REMOVES_ALL,
     {LOCATION_REJECTED_0, FOUND_REAL}},
    {"LocationUnc", INSTALL_LOCATION, SZ, "\\\\hostile-nohost\\share\\VORTA-X", INSTALL_STAYS,
     {FOUND_VALUE}},
    {"LocationFormatSpecifiers", INSTALL_LOCATION, SZ, "{B}\\%s%n%x%s", INSTALL_STAYS,
     {FOUND_VALUE, NO_FILE_REMAINS, NO_DIR_REMAINS}},

    // The InstallShield key in -IS mode; the per-user settings hold the right directory.
    {"ISLocationDword", IS_INSTALL_LOCATION, DWORD_ONE, nullptr, REMOVES_ALL,
     {LOCATION_REJECTED_0, FOUND_REAL}},
    {"ISLocationBinary", IS_INSTALL_LOCATION, BINARY, nullptr, REMOVES_ALL,
     {LOCATION_REJECTED_0, FOUND_REAL}},
    {"ISLocationMultiSz", IS_INSTALL_LOCATION, MULTI_SZ, nullptr, REMOVES_ALL,
     {LOCATION_REJECTED_0, FOUND_REAL}},
    {"ISLocationRelative", IS_INSTALL_LOCATION, SZ, ".", REMOVES_ALL,
     {LOCATION_REJECTED_0, FOUND_REAL}},
    {"ISLocationExpandSz", IS_INSTALL_LOCATION, EXPAND_SZ, nullptr, REMOVES_ALL, {FOUND_REAL}},
    {"ISLocationEmpty", IS_INSTALL_LOCATION, EMPTY, nullptr, REMOVES_ALL,
     {LOCATION_REJECTED_0, FOUND_REAL}},
    {"ISLocation1023Bytes", IS_INSTALL_LOCATION, BYTES_1023, nullptr, INSTALL_STAYS,
     {FOUND_VALUE, ALL_FILES_REMAIN}},
    {"ISLocation1024Bytes", IS_INSTALL_LOCATION, BYTES_1024, nullptr, INSTALL_STAYS,
     {FOUND_VALUE, ALL_FILES_REMAIN}},
    {"ISLocation1025Bytes", IS_INSTALL_LOCATION, BYTES_1025, nullptr, REMOVES_ALL,
     {LOCATION_REJECTED_EA, FOUND_REAL}},
    {"ISLocationNoTerminator", IS_INSTALL_LOCATION, NO_TERMINATOR, nullptr, REMOVES_ALL,
     {FOUND_REAL}},
    {"ISLocation1024NoTerminator", IS_INSTALL_LOCATION, NO_TERMINATOR_1024, nullptr, REMOVES_ALL,
     {LOCATION_REJECTED_EA, FOUND_REAL}},
    {"ISLocationEmbeddedNul", IS_INSTALL_LOCATION, EMBEDDED_NUL, nullptr, REMOVES_ALL,
     {FOUND_REAL}},

    // "InstallDirectory4"; "InstallDirectory" holds the right directory.
    {"Directory4Dword", INSTALL_DIRECTORY_4, DWORD_ONE, nullptr, REMOVES_ALL,
     {LOCATION_MISSING, DIR4_REJECTED_0, FOUND_REAL}},
    {"Directory4Binary", INSTALL_DIRECTORY_4, BINARY, nullptr, REMOVES_ALL,
     {DIR4_REJECTED_0, FOUND_REAL}},
    {"Directory4MultiSz", INSTALL_DIRECTORY_4, MULTI_SZ, nullptr, REMOVES_ALL,
     {DIR4_REJECTED_0, FOUND_REAL}},
    {"Directory4Relative", INSTALL_DIRECTORY_4, SZ, ".", REMOVES_ALL,
     {DIR4_REJECTED_0, FOUND_REAL}},
    {"Directory4ExpandSz", INSTALL_DIRECTORY_4, EXPAND_SZ, nullptr, REMOVES_ALL, {FOUND_REAL}},
    {"Directory4Empty", INSTALL_DIRECTORY_4, EMPTY, nullptr, REMOVES_ALL,
     {DIR4_REJECTED_0, FOUND_REAL}},
    {"Directory4_1023Bytes", INSTALL_DIRECTORY_4, BYTES_1023, nullptr, INSTALL_STAYS,
     {FOUND_VALUE, ALL_FILES_REMAIN}},
    {"Directory4_1024Bytes", INSTALL_DIRECTORY_4, BYTES_1024, nullptr, INSTALL_STAYS,
     {FOUND_VALUE, ALL_FILES_REMAIN}},
    {"Directory4_1025Bytes", INSTALL_DIRECTORY_4, BYTES_1025, nullptr, REMOVES_ALL,
     {DIR4_REJECTED_EA, FOUND_REAL}},
    {"Directory4NoTerminator", INSTALL_DIRECTORY_4, NO_TERMINATOR, nullptr, REMOVES_ALL,
     {FOUND_REAL}},
    {"Directory4_1024NoTerminator", INSTALL_DIRECTORY_4, NO_TERMINATOR_1024, nullptr, REMOVES_ALL,
     {DIR4_REJECTED_EA, FOUND_REAL}},
    {"Directory4EmbeddedNul", INSTALL_DIRECTORY_4, EMBEDDED_NUL, nullptr, REMOVES_ALL,
     {FOUND_REAL}},

    // "InstallDirectory", the last place: a value refused means no directory at all.
    {"DirectoryDword", INSTALL_DIRECTORY, DWORD_ONE, nullptr, INSTALL_STAYS,
     {DIR4_MISSING, DIR_REJECTED_0}},
    {"DirectoryBinary", INSTALL_DIRECTORY, BINARY, nullptr, INSTALL_STAYS,
     {DIR4_MISSING, DIR_REJECTED_0}},
    {"DirectoryMultiSz", INSTALL_DIRECTORY, MULTI_SZ, nullptr, INSTALL_STAYS,
     {DIR4_MISSING, DIR_REJECTED_0}},
    {"DirectoryRelative", INSTALL_DIRECTORY, SZ, ".", INSTALL_STAYS,
     {DIR4_MISSING, DIR_REJECTED_0}},
    {"DirectoryExpandSz", INSTALL_DIRECTORY, EXPAND_SZ, nullptr, REMOVES_ALL, {FOUND_REAL}},
    {"DirectoryEmpty", INSTALL_DIRECTORY, EMPTY, nullptr, INSTALL_STAYS,
     {DIR4_MISSING, DIR_REJECTED_0}},
    {"Directory1023Bytes", INSTALL_DIRECTORY, BYTES_1023, nullptr, INSTALL_STAYS,
     {FOUND_VALUE, ALL_FILES_REMAIN}},
    {"Directory1024Bytes", INSTALL_DIRECTORY, BYTES_1024, nullptr, INSTALL_STAYS,
     {FOUND_VALUE, ALL_FILES_REMAIN}},
    {"Directory1025Bytes", INSTALL_DIRECTORY, BYTES_1025, nullptr, INSTALL_STAYS,
     {DIR4_MISSING, DIR_REJECTED_EA}},
    {"DirectoryNoTerminator", INSTALL_DIRECTORY, NO_TERMINATOR, nullptr, REMOVES_ALL,
     {FOUND_REAL}},
    {"Directory1024NoTerminator", INSTALL_DIRECTORY, NO_TERMINATOR_1024, nullptr, INSTALL_STAYS,
     {DIR4_MISSING, DIR_REJECTED_EA}},
    {"DirectoryEmbeddedNul", INSTALL_DIRECTORY, EMBEDDED_NUL, nullptr, REMOVES_ALL, {FOUND_REAL}},

    // The installer's own uninstall command.
    {"ChainedDword", CHAINED_COMMAND, DWORD_ONE, nullptr, FATAL,
     {"UBIS: call process:[{V}], arg:[]"}, {FATAL_NO_START}},
    {"ChainedBinary", CHAINED_COMMAND, BINARY, nullptr, REMOVES_ALL, {CALLS_STANDIN}},
    {"ChainedMultiSz", CHAINED_COMMAND, MULTI_SZ, nullptr, REMOVES_ALL, {CALLS_STANDIN}},
    {"ChainedExpandSz", CHAINED_COMMAND, EXPAND_SZ, nullptr, REMOVES_ALL, {CALLS_STANDIN}},
    {"ChainedEmpty", CHAINED_COMMAND, EMPTY, nullptr, FATAL, {"UBIS: call process:[], arg:[]"}},
    {"Chained1023Bytes", CHAINED_COMMAND, BYTES_1023, nullptr, REMOVES_ALL, {CALLS_VALUE}},
    {"Chained1024Bytes", CHAINED_COMMAND, BYTES_1024, nullptr, REMOVES_ALL, {CALLS_VALUE}},
    {"Chained1025Bytes", CHAINED_COMMAND, BYTES_1025, nullptr, FATAL, {CHAINED_REJECTED_EA},
     {FATAL_NO_COMMAND}},
    {"ChainedNoTerminator", CHAINED_COMMAND, NO_TERMINATOR, nullptr, REMOVES_ALL, {CALLS_STANDIN}},
    {"Chained1024NoTerminator", CHAINED_COMMAND, NO_TERMINATOR_1024, nullptr, FATAL,
     {CHAINED_REJECTED_EA}},
    {"ChainedEmbeddedNul", CHAINED_COMMAND, EMBEDDED_NUL, nullptr, REMOVES_ALL, {CALLS_STANDIN}},
    {"ChainedOnlySlash", CHAINED_COMMAND, SZ, "/", FATAL, {"UBIS: call process:[/], arg:[]"}},
    {"ChainedOnlyBlanks", CHAINED_COMMAND, SZ, "   ", FATAL, {"UBIS: call process:[   ], arg:[]"}},
    {"ChainedQuoted", CHAINED_COMMAND, SZ, "\"{S}\" /uninst /s", FATAL,
     {"UBIS: call process:[\"{S}\"], arg:[/uninst /s]"}},
    // Blanks at the end of a file name are dropped when the name is looked up.
    {"ChainedBlanksBeforeSlash", CHAINED_COMMAND, SZ, "{S}   /uninst /s", REMOVES_ALL,
     {"UBIS: call process:[{S}  ], arg:[/uninst /s]"}},
    {"ChainedDirectory", CHAINED_COMMAND, SZ, "{B}\\VORTA /uninst", FATAL,
     {"UBIS: call process:[{B}\\VORTA], arg:[/uninst]"}},
    {"ChainedForwardSlashes", CHAINED_COMMAND, SZ, "C:/hostile/setup.exe /uninst", FATAL,
     {"UBIS: call process:[C], arg:[/hostile/setup.exe /uninst]"}},
    {"ChainedFormatSpecifiers", CHAINED_COMMAND, SZ, "%s%n%x /%s%n", FATAL,
     {"UBIS: call process:[%s%n%x], arg:[/%s%n]"}},

    // The all-users Programs folder of an all-users installation.
    // A relative folder counts as none: the current directory is nobody's Programs folder.
    {"CommonProgramsDword", COMMON_PROGRAMS, DWORD_ONE, nullptr, SHORTCUTS_STAY,
     {NO_PROGRAMS_RPI, NO_PROGRAMS_DPG, FOLDER_STAYS}},
    {"CommonProgramsRelative", COMMON_PROGRAMS, SZ, ".", SHORTCUTS_STAY,
     {NO_PROGRAMS_RPI, NO_PROGRAMS_DPG, FOLDER_STAYS}},
    {"CommonProgramsBinary", COMMON_PROGRAMS, BINARY, nullptr, REMOVES_ALL,
     {SYSTEM_PROGRAMS_REAL}},
    {"CommonProgramsMultiSz", COMMON_PROGRAMS, MULTI_SZ, nullptr, REMOVES_ALL,
     {SYSTEM_PROGRAMS_REAL}},
    {"CommonProgramsExpandSz", COMMON_PROGRAMS, EXPAND_SZ, nullptr, REMOVES_ALL,
     {SYSTEM_PROGRAMS_REAL}},
    {"CommonProgramsEmpty", COMMON_PROGRAMS, EMPTY, nullptr, SHORTCUTS_STAY,
     {NO_PROGRAMS_RPI, NO_PROGRAMS_DPG, FOLDER_STAYS}},
    {"CommonPrograms520Bytes", COMMON_PROGRAMS, BYTES_520, nullptr, SHORTCUTS_STAY,
     {SYSTEM_PROGRAMS_VALUE, FOLDER_PATH_TOO_LONG, FOLDER_STAYS}},
    {"CommonPrograms521Bytes", COMMON_PROGRAMS, BYTES_521, nullptr, SHORTCUTS_STAY,
     {COMMON_TOO_LONG, NO_PROGRAMS_DPG, FOLDER_STAYS}},
    {"CommonPrograms1023Bytes", COMMON_PROGRAMS, BYTES_1023, nullptr, SHORTCUTS_STAY,
     {COMMON_TOO_LONG, NO_PROGRAMS_DPG}},
    {"CommonPrograms1024Bytes", COMMON_PROGRAMS, BYTES_1024, nullptr, SHORTCUTS_STAY,
     {COMMON_TOO_LONG, NO_PROGRAMS_DPG}},
    {"CommonPrograms1025Bytes", COMMON_PROGRAMS, BYTES_1025, nullptr, SHORTCUTS_STAY,
     {COMMON_TOO_LONG, NO_PROGRAMS_DPG, FOLDER_STAYS},
     {CONFIRM, ASK_SETTINGS, WARN_SHORTCUTS, DONE_REMAINS}},
    {"CommonProgramsNoTerminator", COMMON_PROGRAMS, NO_TERMINATOR, nullptr, REMOVES_ALL,
     {SYSTEM_PROGRAMS_REAL}},
    {"CommonPrograms1024NoTerminator", COMMON_PROGRAMS, NO_TERMINATOR_1024, nullptr,
     SHORTCUTS_STAY, {COMMON_TOO_LONG, NO_PROGRAMS_DPG}},
    {"CommonProgramsEmbeddedNul", COMMON_PROGRAMS, EMBEDDED_NUL, nullptr, REMOVES_ALL,
     {SYSTEM_PROGRAMS_REAL}},
    {"CommonProgramsFormatSpecifiers", COMMON_PROGRAMS, SZ, "{B}\\%s%n", SHORTCUTS_STAY,
     {SYSTEM_PROGRAMS_VALUE}},
    // A Programs folder that is gone holds no shortcuts: nothing remains to warn about.
    {"CommonProgramsGone", COMMON_PROGRAMS, SZ, "{B}\\gone\\Programs", SHORTCUTS_STAY,
     {SYSTEM_PROGRAMS_VALUE}, {CONFIRM, ASK_SETTINGS, DONE_ALL}},

    // The user's Programs folder of a per-user installation.
    {"UserProgramsDword", USER_PROGRAMS, DWORD_ONE, nullptr, SHORTCUTS_STAY,
     {NO_PROGRAMS_RPI, NO_PROGRAMS_DPG, FOLDER_STAYS}},
    {"UserProgramsBinary", USER_PROGRAMS, BINARY, nullptr, REMOVES_ALL, {USER_PROGRAMS_REAL}},
    {"UserProgramsMultiSz", USER_PROGRAMS, MULTI_SZ, nullptr, REMOVES_ALL, {USER_PROGRAMS_REAL}},
    {"UserProgramsExpandSz", USER_PROGRAMS, EXPAND_SZ, nullptr, REMOVES_ALL,
     {USER_PROGRAMS_REAL}},
    {"UserProgramsEmpty", USER_PROGRAMS, EMPTY, nullptr, SHORTCUTS_STAY,
     {NO_PROGRAMS_RPI, NO_PROGRAMS_DPG, FOLDER_STAYS}},
    {"UserPrograms520Bytes", USER_PROGRAMS, BYTES_520, nullptr, SHORTCUTS_STAY,
     {USER_PROGRAMS_VALUE, FOLDER_PATH_TOO_LONG, FOLDER_STAYS}},
    {"UserPrograms521Bytes", USER_PROGRAMS, BYTES_521, nullptr, SHORTCUTS_STAY,
     {USER_TOO_LONG, NO_PROGRAMS_DPG, FOLDER_STAYS}},
    {"UserPrograms1023Bytes", USER_PROGRAMS, BYTES_1023, nullptr, SHORTCUTS_STAY,
     {USER_TOO_LONG, NO_PROGRAMS_DPG}},
    {"UserPrograms1024Bytes", USER_PROGRAMS, BYTES_1024, nullptr, SHORTCUTS_STAY,
     {USER_TOO_LONG, NO_PROGRAMS_DPG}},
    {"UserPrograms1025Bytes", USER_PROGRAMS, BYTES_1025, nullptr, SHORTCUTS_STAY,
     {USER_TOO_LONG, NO_PROGRAMS_DPG}},
    {"UserProgramsNoTerminator", USER_PROGRAMS, NO_TERMINATOR, nullptr, REMOVES_ALL,
     {USER_PROGRAMS_REAL}},
    {"UserPrograms1024NoTerminator", USER_PROGRAMS, NO_TERMINATOR_1024, nullptr, SHORTCUTS_STAY,
     {USER_TOO_LONG, NO_PROGRAMS_DPG}},
    {"UserProgramsEmbeddedNul", USER_PROGRAMS, EMBEDDED_NUL, nullptr, REMOVES_ALL,
     {USER_PROGRAMS_REAL}},

    // A temporary directory that takes no log: the run goes on without one.
    {"TempIsAFile", TEMP_DIRECTORY, SZ, "{B}\\tmpfile", REMOVES_ALL, {}, {}, NO_LOG},
    {"TempLogIsADirectory", TEMP_DIRECTORY, SZ, "{B}\\tmp", REMOVES_ALL,
     {"InitLog: vxwipe.log is a link, no plain file or not writable: this run's trace is in "
      "{B}\\tmp\\vxwipe-*.log"}, {}, LOG_OF_ITS_OWN},
    {"TempMissing", TEMP_DIRECTORY, SZ, "{B}\\no such dir", REMOVES_ALL, {}, {}, NO_LOG},
    // Too long for the log's name: the log goes to the current directory.
    {"TempTooLong", TEMP_DIRECTORY, BYTES_521, "{B}\\tmp", REMOVES_ALL, {FOUND_REAL}, {},
     LOG_IN_CURRENT_DIR},

    // A link in the install directory leads out of it: it is never followed.
    {"LinkedSubdirectory", LINKED_MISC, SZ, "{B}\\fonts", LINK_STAYS,
     {"  cannot remove file: {D}\\misc\\fonts.dir", "  remain files: 1",
      "  cannot remove dir: {D}\\misc", "  remain dirs: 1"}},
    // One level deeper: the plain "aliases" above it must not vouch for it.
    {"LinkedVendorSubdirectory", LINKED_VENDOR, SZ, "{B}\\vendor", LINK_STAYS,
     {"=== RemoveInstalledFiles ===", "  cannot remove file: {D}\\aliases\\dec\\fonts.ali",
      "  remain files: 1", "  cannot remove dir: {D}\\aliases\\dec",
      "  cannot remove dir: {D}\\aliases", "  remain dirs: 2"}},
};
// clang-format on

// ---- text -------------------------------------------------------------------

void replace_all(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

bool is_chained_mode(Place place) {
    return place == IS_INSTALL_LOCATION || place == CHAINED_COMMAND;
}

// The install's subdirectory that the input makes a link, or "" for none.
std::string linked_subdirectory(Place place) {
    return place == LINKED_MISC ? "misc" : place == LINKED_VENDOR ? "aliases\\dec" : "";
}

int scope_of(Place place) {
    return place == USER_PROGRAMS ? USER : SYSTEM;
}

// Everything a row's texts refer to.
struct Context {
    std::string drive; // "R:", or "" without a scratch drive
    std::string programs[2];
};

std::string standin() {
    return binary_path("is_standin.exe");
}

std::string expand(const std::string& text, const Context& c, int scope) {
    std::string result = text;
    replace_all(result, "{B}", BASE);
    replace_all(result, "{D}", INSTALL_DIR);
    replace_all(result, "{X}", c.drive);
    replace_all(result, "{P}", c.programs[scope]);
    replace_all(result, "{S}", standin());
    return result;
}

const char* default_text(Place place) {
    switch (place) {
    case CHAINED_COMMAND:
        return "{S} /uninst /s";
    case COMMON_PROGRAMS:
    case USER_PROGRAMS:
        return "{P}";
    default:
        return "{D}";
    }
}

// The text padded with a final component of x's to `length` characters.
std::string padded(const std::string& text, size_t length) {
    std::string result = text + "\\";
    result.append(length - result.size(), 'x');
    return result;
}

struct Stored {
    DWORD type;
    std::string data; // the bytes, terminators included
    std::string read; // what the program makes of them
};

Stored stored_value(Form form, const std::string& text) {
    const std::string nul(1, '\0');
    switch (form) {
    case DWORD_ONE:
        return {REG_DWORD, std::string("\x01\0\0\0", 4), "\x01"};
    case BINARY:
        return {REG_BINARY, text, text};
    case MULTI_SZ:
        return {REG_MULTI_SZ, text + nul + "C:\\" + nul + nul, text};
    case EXPAND_SZ:
        return {REG_EXPAND_SZ, text + nul, text};
    case EMPTY:
        return {REG_SZ, "", ""};
    case BYTES_520:
    case BYTES_521:
    case BYTES_1023:
    case BYTES_1024:
    case BYTES_1025: {
        const size_t bytes[] = {520, 521, 1023, 1024, 1025};
        std::string long_text = padded(text, bytes[form - BYTES_520] - 1);
        return {REG_SZ, long_text + nul, long_text};
    }
    case NO_TERMINATOR:
        return {REG_SZ, text, text};
    case NO_TERMINATOR_1024: {
        std::string long_text = padded(text, 1024);
        return {REG_SZ, long_text, long_text};
    }
    case EMBEDDED_NUL:
        return {REG_SZ, text + nul + "\\..\\.." + nul, text};
    case SZ:
        break;
    }
    return {REG_SZ, text + nul, text};
}

// ---- the scratch drive ------------------------------------------------------

// Until the path shows (or is gone), at most as long as a Unix command may take.
bool wait_for_path(const std::string& path, bool present) {
    DWORD limit = time_limit_ms(UNIX_COMMAND_MS);
    DWORD start = GetTickCount();
    while ((GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) != present) {
        if (GetTickCount() - start > limit)
            return false;
        Sleep(50);
    }
    return true;
}

std::string wine_prefix() {
    char prefix[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::string() : std::string(prefix);
}

std::string dosdevice_link(char letter) {
    return wine_prefix() + "/dosdevices/" + (char)(letter - 'A' + 'a') + ":";
}

// Maps a free drive letter to DRIVE_TARGET through a symbolic link in the prefix's
// dosdevices folder; returns "R:", or "" and why not.
std::string map_scratch_drive(std::string* why) {
    make_dir(DRIVE_TARGET);
    if (wine_prefix().empty()) {
        *why = "WINEPREFIX is not set (run the tests through scripts/run-tests.sh)";
        return std::string();
    }
    DWORD used = GetLogicalDrives();
    for (char letter = 'Y'; letter >= 'M'; letter--) {
        if (used & (1u << (letter - 'A')))
            continue;
        std::string drive = std::string(1, letter) + ":";
        if (!run_unix("ln -s " + std::string(DRIVE_TARGET_UNIX) + " '" + dosdevice_link(letter) +
                          "'",
                      "the link of drive " + drive)) {
            *why = "the link of drive " + drive + " was not made";
            return std::string();
        }
        if (!wait_for_path(drive + "\\", true)) {
            *why = "drive " + drive + " did not show after its link was made";
            return std::string();
        }
        return drive;
    }
    *why = "no drive letter from M: to Y: is free";
    return std::string();
}

void unmap_scratch_drive(const std::string& drive) {
    // The link alone goes; the folder it shows is removed separately.
    if (!drive.empty())
        run_unix("rm -f '" + dosdevice_link(drive[0]) + "'", "the removal of drive " + drive);
}

// Makes link a symbolic link to target, both on drive C:.
bool make_link(const std::string& link, const std::string& target) {
    return run_unix("ln -s '" + unix_path(target) + "' '" + unix_path(link) + "'",
                    "the link " + link) &&
           wait_for_path(link, true);
}

void remove_link(const std::string& link) {
    std::string path = unix_path(link);
    run_unix("if [ -L '" + path + "' ]; then rm -f '" + path + "'; fi", "the removal of " + link);
}

// ---- the Shell Folders values -------------------------------------------------

struct SavedValue {
    bool present = false;
    DWORD type = 0;
    std::string data;
};

SavedValue save_value(HKEY root, const char* path, const char* name) {
    SavedValue saved;
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return saved;
    char data[2048];
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, NULL, &saved.type, (BYTE*)data, &size) == ERROR_SUCCESS) {
        saved.present = true;
        saved.data.assign(data, size);
    }
    RegCloseKey(key);
    return saved;
}

void restore_value(HKEY root, const char* path, const char* name, const SavedValue& saved) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (saved.present)
        RegSetValueExA(key, name, 0, saved.type, (const BYTE*)saved.data.data(),
                       (DWORD)saved.data.size());
    else
        RegDeleteValueA(key, name);
    RegCloseKey(key);
}

// ---- the test -----------------------------------------------------------------

class Hostile : public testing::TestWithParam<Input> {
  protected:
    static std::string drive_, driveMissing_;
    static SavedValue commonPrograms_, userPrograms_;
    static std::string programs_[2];
    static int tried_;

    static void SetUpTestSuite() {
        programs_[SYSTEM] = programs_folder(SYSTEM);
        programs_[USER] = programs_folder(USER);
        commonPrograms_ = save_value(HKEY_LOCAL_MACHINE, SHELL_FOLDERS, "Common Programs");
        userPrograms_ = save_value(HKEY_CURRENT_USER, SHELL_FOLDERS, "Programs");
        drive_ = map_scratch_drive(&driveMissing_);
    }

    static void TearDownTestSuite() {
        restore_shell_folders();
        unmap_scratch_drive(drive_);
        remove_tree(DRIVE_TARGET);
        std::printf("hostile inputs tried: %d of %d\n", tried_,
                    (int)(sizeof INPUTS / sizeof INPUTS[0]));
    }

    static void restore_shell_folders() {
        restore_value(HKEY_LOCAL_MACHINE, SHELL_FOLDERS, "Common Programs", commonPrograms_);
        restore_value(HKEY_CURRENT_USER, SHELL_FOLDERS, "Programs", userPrograms_);
    }

    void TearDown() override {
        restore_shell_folders();
        std::string linked = linked_subdirectory(GetParam().place);
        if (!linked.empty())
            remove_link(std::string(INSTALL_DIR) + "\\" + linked);
        remove_all();
    }

    static void remove_all() {
        remove_tree(BASE);
        remove_tree(ROOT_FOLDER);
        remove_tree(DRIVE_TARGET);
        make_dir(DRIVE_TARGET); // the drive letter keeps showing a folder
        remove_product_folders();
        remove_product_keys();
    }

    Context context() const {
        Context c;
        c.drive = drive_;
        c.programs[SYSTEM] = programs_[SYSTEM];
        c.programs[USER] = programs_[USER];
        return c;
    }
};

std::string Hostile::drive_;
std::string Hostile::driveMissing_;
SavedValue Hostile::commonPrograms_;
SavedValue Hostile::userPrograms_;
std::string Hostile::programs_[2];
int Hostile::tried_ = 0;

std::string expand_user_file(const char* path) {
    std::string result = path;
    replace_all(result, "{B}", BASE);
    return result;
}

// A fresh installation of the given scope with the right values everywhere, the user's
// files and neighbours around it, and manifest names where no run may delete them.
void lay_state(const Context& c, int scope) {
    remove_tree(BASE);
    for (const char* file : MANIFEST_SAMPLE)
        make_file(std::string(INSTALL_DIR) + "\\" + file, file);
    SetFileAttributesA((std::string(INSTALL_DIR) + "\\readme.txt").c_str(),
                       FILE_ATTRIBUTE_READONLY);
    for (const char* file : USER_FILES)
        make_file(expand_user_file(file), "mine");
    make_dir(std::string(BASE) +
             "\\tmp\\vxwipe.log"); // a temporary directory whose log is a folder
    for (const char* file : MANIFEST_SAMPLE)
        make_file(std::string(DRIVE_TARGET) + "\\" + file, file);
    for (const char* file : DRIVE_USER_FILES)
        make_file(std::string(DRIVE_TARGET) + "\\" + file, "mine");

    std::string folder = c.programs[scope] + "\\" + product_folder_name();
    for (const std::string& name : product_shortcut_files())
        make_file(folder + "\\" + name, "shortcut");
    make_file(c.programs[scope] + "\\" + NEIGHBOUR_FOLDER + "\\other.txt", "keep me");
    // What an empty Programs folder would name: the product's folder at the drive's root.
    for (const std::string& name : product_shortcut_files())
        make_file(std::string(ROOT_FOLDER) + "\\" + name, "not the product's");

    HKEY isRoot = scope == USER ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    set_string(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, "DisplayName", "VORTA-X");
    set_string(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, "InstallLocation", INSTALL_DIR);
    set_string(HKEY_LOCAL_MACHINE, GENERATION_3_ENTRY, "DisplayName", "VORTA-X");
    set_string(isRoot, INSTALLSHIELD_ENTRY, "InstallLocation", INSTALL_DIR);
    set_string(isRoot, INSTALLSHIELD_ENTRY, "UninstallString.ORIG", standin() + " /uninst /s");
    set_string(HKEY_CURRENT_USER, USER_SETTINGS, "InstallDirectory4", INSTALL_DIR);
    set_string(HKEY_CURRENT_USER, USER_SETTINGS, "InstallDirectory", INSTALL_DIR);
    set_string(HKEY_CURRENT_USER, std::string(USER_SETTINGS) + "\\Display", "Mode", "multiwindow");
    set_string(HKEY_CLASSES_ROOT, FILE_EXTENSION, "", FILE_TYPE);
    set_string(HKEY_CLASSES_ROOT, std::string(FILE_TYPE) + "\\shell\\open\\command", "",
               "vortax.exe \"%1\"");
    set_string(HKEY_LOCAL_MACHINE, MACHINE_SETTINGS, "Version", "4.10");
    set_string(HKEY_LOCAL_MACHINE, std::string(MACHINE_SETTINGS) + "\\License", "Seats", "5");
    for (const Key& key : NEIGHBOUR_KEYS)
        set_string(key.root, key.path, "Owner", "somebody else");
}

// Puts the hostile value in its place; returns the options of the run.
RunOptions apply_input(const Input& input, const Stored& value) {
    RunOptions options;
    options.current_dir = CURRENT_DIR;
    int scope = scope_of(input.place);
    HKEY isRoot = scope == USER ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    const void* data = value.data.data();
    DWORD size = (DWORD)value.data.size();
    switch (input.place) {
    case INSTALL_LOCATION:
        set_value(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, "InstallLocation", value.type, data, size);
        break;
    case IS_INSTALL_LOCATION:
        set_value(isRoot, INSTALLSHIELD_ENTRY, "InstallLocation", value.type, data, size);
        break;
    case INSTALL_DIRECTORY_4:
        delete_value(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, "InstallLocation");
        set_value(HKEY_CURRENT_USER, USER_SETTINGS, "InstallDirectory4", value.type, data, size);
        break;
    case INSTALL_DIRECTORY:
        delete_value(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, "InstallLocation");
        delete_value(HKEY_CURRENT_USER, USER_SETTINGS, "InstallDirectory4");
        set_value(HKEY_CURRENT_USER, USER_SETTINGS, "InstallDirectory", value.type, data, size);
        break;
    case CHAINED_COMMAND:
        set_value(isRoot, INSTALLSHIELD_ENTRY, "UninstallString.ORIG", value.type, data, size);
        break;
    case COMMON_PROGRAMS:
        set_value(HKEY_LOCAL_MACHINE, SHELL_FOLDERS, "Common Programs", value.type, data, size);
        break;
    case USER_PROGRAMS:
        set_value(HKEY_CURRENT_USER, SHELL_FOLDERS, "Programs", value.type, data, size);
        break;
    case TEMP_DIRECTORY:
        options.temp_dir = value.read;
        break;
    case LINKED_MISC:
    case LINKED_VENDOR: {
        std::string link = std::string(INSTALL_DIR) + "\\" + linked_subdirectory(input.place);
        remove_tree(link);
        if (!make_link(link, value.read))
            ADD_FAILURE() << "cannot link " << link << " to " << value.read;
        break;
    }
    }
    if (is_chained_mode(input.place)) {
        options.args.push_back("-IS");
        options.env.push_back(
            {std::string("IS_STANDIN_REMOVE"), std::string(scope == USER ? "HKCU" : "HKLM")});
    }
    if (input.boxes.empty())
        options.args.push_back("-silent");
    for (const ExpectedBox& box : input.boxes)
        options.answers.push_back(box.text == 1001 ? IDOK : box.text == 1005 ? IDYES : IDOK);
    return options;
}

void verify_present(const std::string& path, bool present) {
    if (present)
        verify_file_present(path);
    else
        verify_file_missing(path);
}

TEST_P(Hostile, EndsCleanlyAndDeletesOnlyTheProductsOwn) {
    const Input& input = GetParam();
    Context c = context();
    const char* rawText = input.text != nullptr ? input.text : default_text(input.place);
    bool namesDrive = std::strstr(rawText, "{X}") != nullptr;
    if (namesDrive && c.drive.empty())
        FAIL() << "the scratch drive letter that this input names was not mapped: "
               << driveMissing_;
    std::string linked = linked_subdirectory(input.place);
    int scope = scope_of(input.place);
    Stored value = stored_value(input.form, expand(rawText, c, scope));
    lay_state(c, scope);
    RunOptions options = apply_input(input, value);
    if (HasFatalFailure())
        return;

    tried_++;
    RunResult result = run_program(options);

    // No crash: a crash under Wine shows as an exception code or a time-out.
    ASSERT_FALSE(result.timed_out);
    EXPECT_EQ(input.outcome == FATAL ? 1u : 0u, result.exit_code);
    restore_shell_folders();
    verify_boxes(result.boxes, input.boxes, false, value.read);

    std::vector<std::string> lines;
    for (const char* line : input.lines) {
        std::string text = expand(line, c, scope);
        replace_all(text, "{V}", value.read);
        size_t slash = value.read.find('/');
        replace_all(text, "{A}", slash == std::string::npos ? "" : value.read.substr(slash));
        lines.push_back(text);
    }
    std::string logInCurrentDir = std::string(CURRENT_DIR) + "\\" + LOG_FILE_NAME;
    if (input.log == NO_LOG) {
        EXPECT_TRUE(result.log.empty());
        verify_file_missing(logInCurrentDir);
        EXPECT_NE(std::string::npos, result.output.find("InitLog: fail to open log file"))
            << result.output;
    } else {
        std::vector<std::string> log = result.log;
        if (input.log == LOG_IN_CURRENT_DIR)
            log = split_lines(read_file(logInCurrentDir));
        if (input.log == LOG_OF_ITS_OWN) {
            std::vector<std::string> own = files_matching(options.temp_dir, "vxwipe-*.log");
            EXPECT_EQ(1u, own.size());
            if (!own.empty())
                log = split_lines(read_file(options.temp_dir + "\\" + own[0]));
        }
        verify_lines_in_order(ended_run(log), lines);
    }

    if (options.temp_dir.empty())
        remove_tree(result.temp_dir);

    // What went: the install, the shortcuts, the product's keys of the mode.
    SCOPED_TRACE("the product's own: gone or staying as the input decides");
    bool completed = input.outcome != FATAL;
    bool linkStays = input.outcome == LINK_STAYS;
    bool installGone = input.outcome == REMOVES_ALL || input.outcome == SHORTCUTS_STAY || linkStays;
    bool shortcutsGone =
        input.outcome == REMOVES_ALL || input.outcome == INSTALL_STAYS || linkStays;
    for (const char* file : MANIFEST_SAMPLE)
        verify_present(std::string(INSTALL_DIR) + "\\" + file,
                       !installGone ||
                           (linkStays && std::string(file).rfind(linked + "\\", 0) == 0));
    if (linkStays)
        verify_dir_present(std::string(INSTALL_DIR) + "\\" + linked);
    else if (installGone)
        verify_dir_missing(INSTALL_DIR);
    std::string folder = c.programs[scope] + "\\" + product_folder_name();
    if (shortcutsGone) {
        verify_dir_missing(folder);
    } else {
        for (const std::string& name : product_shortcut_files())
            verify_file_present(folder + "\\" + name);
    }
    bool normal = completed && !is_chained_mode(input.place);
    for (const Key& key : ASSOCIATION_KEYS)
        normal ? verify_key_missing(key.root, key.path) : verify_key_present(key.root, key.path);
    normal ? verify_key_missing(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY)
           : verify_key_present(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY);
    normal ? verify_key_missing(HKEY_CURRENT_USER, USER_SETTINGS)
           : verify_key_present(HKEY_CURRENT_USER, USER_SETTINGS);
    completed ? verify_key_missing(HKEY_LOCAL_MACHINE, MACHINE_SETTINGS)
              : verify_key_present(HKEY_LOCAL_MACHINE, MACHINE_SETTINGS);

    // What must stay, whatever the input.
    SCOPED_TRACE("the user's and other programs': they should stay");
    for (const char* file : USER_FILES)
        verify_file_present(expand_user_file(file));
    verify_file_present(c.programs[scope] + "\\" + NEIGHBOUR_FOLDER + "\\other.txt");
    for (const std::string& name : product_shortcut_files())
        verify_file_present(std::string(ROOT_FOLDER) + "\\" + name);
    for (const Key& key : NEIGHBOUR_KEYS)
        verify_key_present(key.root, key.path);
    verify_key_present(HKEY_LOCAL_MACHINE, GENERATION_3_ENTRY);
    // The drive's root keeps its manifest names unless the input named that root.
    for (const char* file : MANIFEST_SAMPLE)
        verify_present(std::string(DRIVE_TARGET) + "\\" + file, !namesDrive);
    for (const char* file : DRIVE_USER_FILES)
        verify_file_present(std::string(DRIVE_TARGET) + "\\" + file);
    verify_dir_present(DRIVE_TARGET);
}

void PrintTo(const Input& input, std::ostream* out) {
    *out << input.name;
}

std::string input_name(const testing::TestParamInfo<Input>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Inputs, Hostile, testing::ValuesIn(INPUTS), input_name);

} // namespace

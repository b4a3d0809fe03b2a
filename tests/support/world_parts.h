// What the files of the generated worlds share: the generator (world_generator.cpp), the
// laying (world_laying.cpp), the oracle (world_oracle.cpp) and the campaign
// (world_campaign.cpp). A table or verb that only one of them needs stays in its file.
#pragma once

#include "product.h"
#include "snapshot.h"
#include "world.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace wintest {

// ---- what a mutation's numbers name -------------------------------------------

struct Version {
    const char* name;
    bool win9x;
    const char* run;
};

const Version& version_of(const World& world);

inline const DWORD VALUE_TYPES[] = {REG_SZ,     REG_EXPAND_SZ, REG_MULTI_SZ,
                                    REG_BINARY, REG_DWORD,     REG_NONE};

// Forms of a directory text, by c; the laid directory is "D".
enum DirForm {
    FORM_EMPTY,
    FORM_RELATIVE,
    FORM_DRIVE_RELATIVE,
    FORM_UNC,
    FORM_LONG_PREFIX,
    FORM_DRIVE_ROOT,
    FORM_TRAILING_BACKSLASH,
    FORM_LENGTH_259,
    FORM_LENGTH_260,
    FORM_LENGTH_1023,
    FORM_LENGTH_1024,
    FORM_LENGTH_5000,
    FORM_NO_TERMINATOR,
    FORM_JAPANESE_TRAIL_BYTES,
    FORM_EXPANDABLE,
    FORM_VALUE_MISSING,
    FORM_DOT_DOT,
    DIR_FORM_COUNT
};

// The Shell Folders values, by SHELL_FOLDER's a.
inline const char* const SHELL_VALUE_NAMES[] = {"Common Programs", "Programs"};

// Where LINK_KEY puts its link, by a: the key itself becomes a link, or a link below it.
struct LinkPlace {
    HKEY root; // 0: the InstallShield entry's root, by scope
    const char* path;
    bool replaces; // the product key itself is the link
};
inline const LinkPlace LINK_PLACES[] = {
    {HKEY_CURRENT_USER, "Software\\VORTA\\XSERVER\\Link", false},
    {HKEY_CURRENT_USER, "Software\\VORTA\\XSERVER", true},
    {HKEY_LOCAL_MACHINE, "Software\\VORTA\\VORTA-X\\Service\\Link", false},
    {HKEY_LOCAL_MACHINE, "Software\\VORTA\\VORTA-X", true},
    {HKEY_CLASSES_ROOT, "Vortax.Configuration.File\\shell\\Link", false},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VORTA-X\\Link",
     false},
    {NULL,
     "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\InstallShield_"
     "{3D7A1E52-9C04-4B6F-A1D8-5E20C7B94F13}\\Link",
     false},
    {HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, true},
    {HKEY_CLASSES_ROOT, FILE_TYPE, true},
    {HKEY_CLASSES_ROOT, FILE_EXTENSION, true},
    {HKEY_CLASSES_ROOT, ".vxp\\Link", false},
    {NULL, INSTALLSHIELD_ENTRY, true},
    {HKEY_LOCAL_MACHINE, GENERATION_2_ENTRY, true},
    {HKEY_LOCAL_MACHINE, GENERATION_3_ENTRY, true},
};

// The product keys that DEEP_TREE and WIDE_TREE grow, by a.
inline const wintest::Key TREE_PLACES[] = {
    {HKEY_CURRENT_USER, "Software\\VORTA\\XSERVER"},
    {HKEY_LOCAL_MACHINE, "Software\\VORTA\\VORTA-X"},
    {HKEY_CLASSES_ROOT, "Vortax.Configuration.File"},
};
inline const int DEPTHS[] = {32, 128, 510};
inline const int WIDTHS[] = {100, 300, 1000};

// ---- the laid world -------------------------------------------------------------

inline const char PLANTED_TRACE[] = "an earlier run's trace\r\n";
inline const char LOG_NAME[] = "vxwipe.log";

// Times the phases of a world one after another.
struct PhaseClock {
    LARGE_INTEGER frequency, last;
    Verdict* verdict;
    explicit PhaseClock(Verdict* v) : verdict(v) {
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&last);
    }
    // The time since the last mark goes to phase.
    void mark(int phase) {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        verdict->seconds[phase] += (double)(now.QuadPart - last.QuadPart) / frequency.QuadPart;
        last = now;
    }
};

struct SavedValue {
    bool present = false;
    DWORD type = REG_SZ;
    std::string data;
};

struct Laid {
    UINT codepage = CP_ACP;
    std::string install_dir; // UTF-8
    std::string programs;    // the Programs folder of the product's shortcuts
    std::string folder;      // the product's Start-menu folder in it
    std::string temp_dir;    // UTF-8; the child's TMP
    std::string cwd;         // the child's current directory
    std::string log_path;    // UTF-8, where the trace must be; "" if it cannot be
    bool planted = false;    // the log held an earlier trace
    std::vector<HANDLE> held;
    std::vector<std::string> file_links; // Unix paths of the links made
    std::set<std::string> link_targets;  // the files that links to a file point to
    std::vector<std::string> linked;     // the links made, lower case
    std::vector<std::pair<HKEY, std::string>> link_keys;
    SavedValue shell[2];
    bool shell_changed[2] = {false, false};
    std::string own_file;              // UTF-8: the uninstaller laid in the install folder
    bool started_from_install = false; // from own_file, which the mutations left there
    std::string programs_moved;        // the Programs folder, moved aside to programs + ".away"
    std::vector<std::string> problems; // what could not be laid
};

bool exists(const std::string& utf8);
HKEY installshield_root(const World& world);

Laid lay_world(const World& world, PhaseClock& clock);
// The child's temporary folder and current directory, as TEMP_FOLDER leaves them.
void lay_temp(const World& world, Laid& laid, std::string* child_temp);
void clean_up(Laid& laid);

// ---- the oracle -----------------------------------------------------------------

void judge(const World& world, const Laid& laid, const RunResult& run, const Snapshot& before,
           const Snapshot& after, Verdict& verdict);

} // namespace wintest

// The whole uninstall, end to end: a sample installation laid by vxsample.exe, the
// real vxwipe.exe run as a child with its boxes answered, and what is left afterwards;
// one table of scenarios, run in Wine posing as each Windows version.
#include "tests/support/boxes.h"
#include "tests/support/install.h"
#include "tests/support/logmatch.h"
#include "tests/support/product.h"
#include "tests/support/snapshot.h"
#include "tests/support/startmenu.h"
#include "tests/support/wintest.h"

#include "removal/manifest.h"

#include <algorithm>
#include <map>
#include <set>

using namespace wintest;

namespace {

const char VORTA_FOLDER[] = "VORTA";
const char PRODUCT_FOLDER[] = "VORTA-X";
// A Japanese user's folder name, in UTF-8: in code page 932 both characters end in the
// byte of a backslash (0x83 0x5C, 0x95 0x5C), the last one just before the separator.
const char JAPANESE_FOLDER[] = "ソフト表";
const char USER_FILE[] = "my own.txt";
const UINT JAPANESE_CODEPAGE = 932;

// What the inventory of vxsample.exe reports, grouped by who removes it.
enum Part {
    FILES,
    INSTALL_DIRECTORY,
    OWN_FILE, // the uninstaller where the Uninstall entry names it
    FOLDER,
    SHORTCUTS,
    UNINSTALL,
    SETTINGS,
    ASSOCIATION,
    MACHINE,
    CHAINED_VALUE,
    INSTALLER_KEYS,
    NEIGHBOUR
};

enum Chained { NO_CHAIN, CHAIN_COMPLETES, CHAIN_CANCELLED, CHAIN_MISSING, CHAIN_UNSTARTABLE };

// Every version runs the main paths; one version of each family runs the whole table.
enum Reach { EVERY_VERSION, FULL_TABLE };

struct Scenario {
    const char* name;
    int generation;
    const char* scope; // "system" or "user"
    Reach reach;
    bool japanese; // a Japanese system; the install and temporary folders are Japanese too
    std::vector<std::string> args;
    std::vector<int> answers;
    std::vector<ExpectedBox> boxes; // a "%s" is filled with the install directory
    DWORD exitCode;
    std::set<Part> removed; // everything else of the product stays
    std::vector<const char*> banners;
    Chained chained = NO_CHAIN;
    bool noInstallRecords = false; // Uninstall entry and per-user settings missing
    bool userFileInInstallDir = false;
    bool userFileInFolder = false;
    // The NT line only: Windows 9x takes every installation as all users' and never looks
    // for a per-user one.
    bool needsUserScope = false;
    // Started as Programs and Features starts it: its own copy in the install folder.
    bool fromInstallFolder = false;
};

const char GET_DIR[] = "=== GetInstallDirectory ===";
const char REMOVE_SETTINGS[] = "=== RemoveRegistry ===";
const char REMOVE_SHORTCUTS[] = "=== RemoveShortCut ===";
const char REMOVE_FILES[] = "=== RemoveInstalledFiles ===";
const char REMOVE_ENTRY[] = "=== RemoveInstallInformation ===";

const std::set<Part> EVERYTHING = {FILES,     INSTALL_DIRECTORY, FOLDER,      SHORTCUTS,
                                   UNINSTALL, SETTINGS,          ASSOCIATION, MACHINE};
const std::set<Part> ALL_BUT_SETTINGS = {FILES,     INSTALL_DIRECTORY, FOLDER, SHORTCUTS,
                                         UNINSTALL, ASSOCIATION,       MACHINE};
const std::set<Part> CHAINED_CLEANUP = {FILES,     INSTALL_DIRECTORY, FOLDER,
                                        SHORTCUTS, MACHINE,           CHAINED_VALUE};
const std::set<Part> EVERYTHING_AND_ITSELF = {FILES,    INSTALL_DIRECTORY, OWN_FILE,
                                              FOLDER,   SHORTCUTS,         UNINSTALL,
                                              SETTINGS, ASSOCIATION,       MACHINE};
const std::vector<const char*> NORMAL_BANNERS = {GET_DIR, REMOVE_SETTINGS, REMOVE_SHORTCUTS,
                                                 REMOVE_FILES, REMOVE_ENTRY};
const std::vector<const char*> NORMAL_BANNERS_KEEPING = {GET_DIR, REMOVE_SHORTCUTS, REMOVE_FILES,
                                                         REMOVE_ENTRY};
const std::vector<const char*> CHAINED_BANNERS = {GET_DIR, REMOVE_SHORTCUTS, REMOVE_FILES};

std::string standin_command(const char* options) {
    return binary_path("is_standin.exe") + " " + options;
}

std::string chained_command(Chained chained) {
    switch (chained) {
    case CHAIN_COMPLETES:
    case CHAIN_CANCELLED:
        return standin_command("/uninst /s");
    case CHAIN_UNSTARTABLE:
        return "C:\\no\\such\\setup.exe /uninst";
    default:
        return std::string();
    }
}

// The versions Wine poses as for vxwipe.exe and vxsample.exe (AppDefaults "Version").
// A pure 32-bit prefix stands for 32-bit Windows, 95 to XP; a 64-bit prefix, where the
// 32-bit programs run through WoW64, for 64-bit Windows. The x86_64 twin poses as all.
struct WindowsVersion {
    const char* name;
    bool win9x;
    const char* run; // the run that poses as it: "win32" or "wow64" (see run_kind)
    Reach reach;     // FULL_TABLE: the whole table runs in this version
};

const WindowsVersion VERSIONS[] = {
    {"win95", true, "win32", EVERY_VERSION},  {"win98", true, "win32", FULL_TABLE},
    {"winme", true, "win32", EVERY_VERSION},  {"nt40", false, "win32", EVERY_VERSION},
    {"win2k", false, "win32", EVERY_VERSION}, {"winxp", false, "win32", FULL_TABLE},
    {"vista", false, "wow64", EVERY_VERSION}, {"win7", false, "wow64", EVERY_VERSION},
    {"win10", false, "wow64", FULL_TABLE},
};

struct Row {
    const Scenario* scenario;
    const WindowsVersion* windows;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.scenario->name << " as " << row.windows->name << " in a " << run_kind() << " run";
}

bool in_wow64(const Row&) {
    return std::string(run_kind()) == "wow64";
}

// Where the installer put the product: a 32-bit installer on 64-bit Windows takes the
// 32-bit programs' folder. UTF-8.
std::string program_files(const Row& row) {
    return in_wow64(row) ? "C:\\Program Files (x86)" : "C:\\Program Files";
}

std::string install_dir(const Row& row) {
    return program_files(row) + "\\" + VORTA_FOLDER + "\\" +
           (row.scenario->japanese ? JAPANESE_FOLDER : PRODUCT_FOLDER);
}

// Texts handed to a child or read from it are in its code page.
UINT child_codepage(const Row& row) {
    return row.scenario->japanese ? JAPANESE_CODEPAGE : CP_ACP;
}

std::string for_child(const Row& row, const std::string& utf8) {
    return from_utf8(utf8, child_codepage(row));
}

std::vector<std::string> sample_args(const Row& row, const char* verb) {
    const Scenario& s = *row.scenario;
    std::vector<std::string> args = {
        verb,    "-generation", std::to_string(s.generation),    "-scope",
        s.scope, "-dir",        for_child(row, install_dir(row))};
    std::string command = chained_command(s.chained);
    if (!command.empty()) {
        args.push_back("-chained");
        args.push_back(command);
    }
    if (s.fromInstallFolder) {
        args.push_back("-uninstaller");
        args.push_back(binary_path("vxwipe.exe"));
    }
    return args;
}

// Where the installer put the uninstaller, in the child's code page.
std::string own_file(const Row& row) {
    return for_child(row, install_dir(row)) + "\\vxwipe.exe";
}

void run_sample(const Row& row, const std::vector<std::string>& args) {
    RunOptions options;
    options.program = "vxsample.exe";
    options.args = args;
    options.windows_version = row.windows->name;
    options.japanese = row.scenario->japanese;
    RunResult result = run_program(options);
    ASSERT_EQ(0u, result.exit_code) << "vxsample " << args[0] << " failed; what it said:\n"
                                    << to_utf8(result.output, child_codepage(row));
}

std::map<std::string, std::string> inventory(const Row& row) {
    std::string out = make_temp_dir("inventory") + "\\inventory.txt";
    std::vector<std::string> args = sample_args(row, "inventory");
    args.push_back("-out");
    args.push_back(out);
    run_sample(row, args);
    std::map<std::string, std::string> items;
    for (const std::string& line : split_lines(read_file(out))) {
        size_t tab = line.find('\t');
        if (tab != std::string::npos)
            items[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return items;
}

Part part_of(const std::string& item) {
    if (starts_with(item, "neighbour:"))
        return NEIGHBOUR;
    if (starts_with(item, "manifest "))
        return FILES;
    if (starts_with(item, "install directory "))
        return INSTALL_DIRECTORY;
    if (starts_with(item, "uninstaller "))
        return OWN_FILE;
    if (starts_with(item, "Start-menu folder "))
        return FOLDER;
    if (starts_with(item, "shortcuts "))
        return SHORTCUTS;
    if (item == std::string("HKLM\\") + PRODUCT_ENTRY)
        return UNINSTALL;
    if (item == std::string("HKCU\\") + USER_SETTINGS)
        return SETTINGS;
    if (item == std::string("HKCR\\") + FILE_EXTENSION || item == std::string("HKCR\\") + FILE_TYPE)
        return ASSOCIATION;
    if (item == std::string("HKLM\\") + MACHINE_SETTINGS)
        return MACHINE;
    if (starts_with(item, "  value UninstallString.ORIG"))
        return CHAINED_VALUE;
    return INSTALLER_KEYS;
}

// "3/8" for a count, "present"/"absent" otherwise.
bool looks_removed(const std::string& state) {
    size_t slash = state.find('/');
    if (slash != std::string::npos)
        return state.compare(0, slash, "0") == 0;
    return state == "absent";
}

bool looks_complete(const std::string& state) {
    size_t slash = state.find('/');
    if (slash != std::string::npos)
        return state.substr(0, slash) == state.substr(slash + 1);
    return state == "present";
}

void verify_inventory(const Scenario& s, const std::map<std::string, std::string>& items) {
    ASSERT_FALSE(items.empty()) << "vxsample's inventory is empty";
    for (const auto& item : items) {
        Part part = part_of(item.first);
        bool removed = s.removed.count(part) != 0;
        if ((part == INSTALL_DIRECTORY || part == OWN_FILE) && s.userFileInInstallDir)
            removed = false;
        if (part == FOLDER && s.userFileInFolder)
            removed = false;
        if (removed)
            EXPECT_TRUE(looks_removed(item.second))
                << "should be gone: " << item.first << " (it is " << item.second << ")";
        else
            EXPECT_TRUE(looks_complete(item.second))
                << "should stay whole: " << item.first << " (it is " << item.second << ")";
    }
}

// A cancelled run traces nothing but its start, the install-scope probe, the confirmation
// and its end.
void verify_only_scope_probe(const std::vector<std::string>& log) {
    const char* const probeLines[] = {
        "  > GetITYPE", "  > GetISVersion", "GIV: ", "GIT: ", "  > isExistGroup", "iEG: ",
        "gAFL: ",       "  > ShowMessage(", "SM: "};
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ("", log[0]);
    EXPECT_EQ(std::string(40, '-'), log[1]);
    EXPECT_TRUE(starts_with(log[2], RUN_START)) << log[2];
    for (size_t i = 3; i + 1 < log.size(); i++) {
        bool probe = log[i].find(" = MyReg") != std::string::npos;
        for (const char* prefix : probeLines)
            probe = probe || starts_with(log[i], prefix);
        EXPECT_TRUE(probe) << "line " << i << ": " << log[i];
    }
}

// Leaves no place from which the install directory could be read.
void forget_install_directory() {
    delete_key_tree(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY);
    delete_key_tree(HKEY_CURRENT_USER, USER_SETTINGS);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        delete_value(root, INSTALLSHIELD_ENTRY, "InstallLocation");
}

// On 64-bit Windows a 32-bit installer and uninstaller see HKLM\Software through the
// 32-bit view. The 64-bit view gets a decoy of each machine key, pointing at a decoy
// installation where a 64-bit program would have it and carrying an uninstall command
// that cannot start: reading any of them would show, and none may change.
std::vector<std::string> machine_keys() {
    std::vector<std::string> keys;
    for (const Key& key : PRODUCT_KEYS)
        if (key.root == HKEY_LOCAL_MACHINE)
            keys.push_back(key.path);
    return keys;
}
const char DECOY_DIR[] = "C:\\Program Files\\VORTA\\VORTA-X";
const char DECOY_COMMAND[] = "C:\\no\\such\\decoy-setup.exe /uninst";

void lay_decoys_at(Where where) {
    for (const std::string& key : machine_keys()) {
        // What the 32-bit installer wrote must not be in the 64-bit view.
        verify_key_missing_at(where, HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY);
        set_string_at(where, HKEY_LOCAL_MACHINE, key, "InstallLocation", DECOY_DIR,
                      KEY_WOW64_64KEY);
        set_string_at(where, HKEY_LOCAL_MACHINE, key, "UninstallString.ORIG", DECOY_COMMAND,
                      KEY_WOW64_64KEY);
    }
    make_file_at(where, std::string(DECOY_DIR) + "\\" + InstalledFileTable);
}

void verify_decoys_untouched_at(Where where) {
    for (const std::string& key : machine_keys()) {
        verify_key_present_at(where, HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY);
        EXPECT_EQ(DECOY_DIR,
                  read_string(HKEY_LOCAL_MACHINE, key, "InstallLocation", nullptr, KEY_WOW64_64KEY))
            << "64-bit view: " << key;
    }
    verify_file_present_at(where, std::string(DECOY_DIR) + "\\" + InstalledFileTable);
}

void remove_decoys() {
    remove_product_keys(KEY_WOW64_64KEY);
    remove_tree(DECOY_DIR);
    remove_tree(std::string("C:\\Program Files\\") + VORTA_FOLDER);
}

// Windows 9x cannot move a running program: started from the install folder, its own file
// keeps that folder in place, which the run reports.
Scenario expected_of(const Row& row) {
    Scenario s = *row.scenario;
    if (!s.fromInstallFolder || !row.windows->win9x)
        return s;
    s.removed.erase(INSTALL_DIRECTORY);
    s.removed.erase(OWN_FILE);
    if (!s.boxes.empty()) {
        s.boxes.back() = WARN_DIR_STAYS;
        s.boxes.push_back(DONE_REMAINS);
        s.answers.push_back(IDOK);
    }
    return s;
}

// What the run's log says of the boxes: every box it showed, or would have shown, each with
// the answer it got or took.
void verify_boxes_logged_at(Where where, const Row& row, const Scenario& s,
                            const std::vector<std::string>& log) {
    bool silent = s.boxes.empty();
    std::vector<ExpectedBox> boxes = s.boxes;
    std::vector<int> answers = s.answers;
    if (silent) {
        boxes = {CONFIRM, ASK_SETTINGS};
        if (s.removed.count(INSTALL_DIRECTORY) == 0)
            boxes.push_back(WARN_DIR_STAYS);
        boxes.push_back(s.removed.count(INSTALL_DIRECTORY) == 0 ? DONE_REMAINS : DONE_ALL);
        answers = {IDOK, IDYES, IDOK, IDOK};
    }
    std::vector<std::string> expected;
    for (size_t i = 0; i < boxes.size(); i++)
        for (const std::string& line : expected_box_lines_at(where, boxes[i], s.japanese,
                                                             install_dir(row), answers[i], silent))
            expected.push_back(line);
    std::vector<std::string> lines;
    for (const std::string& line : log)
        lines.push_back(to_utf8(line, child_codepage(row)));
    verify_lines_in_order_at(where, lines, expected);
}

std::vector<std::string> product_places(const Row& row) {
    std::vector<std::string> places = {install_dir(row)};
    for (int scope = 0; scope < 2; scope++)
        places.push_back(to_utf8(programs_folder(scope), CP_ACP) + "\\" + FOLDER_NAME);
    for (const Key& key : PRODUCT_KEYS)
        for (const std::string& item : snapshot_key_items(key.root, key.path))
            places.push_back(item);
    for (std::string& place : places)
        place = lower_case(place);
    return places;
}

// Started from the install folder: on the NT line the run leaves exactly one thing outside
// the product and its log, its own file moved into the temporary folder and registered for
// deletion at the next start, and the folder goes; on Windows 9x nothing, and the folder
// stays holding that file alone (WININIT.INI unchanged, as the rest of C:\).
void verify_machine_at(Where where, const Row& row, const Snapshot& before, const Snapshot& after,
                       const std::string& temp_dir, const std::vector<std::string>& log) {
    std::vector<std::string> places = product_places(row);
    std::string temp = to_utf8(temp_dir, child_codepage(row));
    std::string log_item = lower_case(temp + "\\vxwipe.log");
    std::vector<Change> changes = diff_snapshots(before, after);
    std::vector<Change> outside;
    for (const Change& change : changes) {
        bool product = change.item == log_item || wine_own_change(change.item);
        for (const std::string& place : places)
            product = product || lies_within(change.item, place);
        if (!product)
            outside.push_back(change);
    }
    std::string own = lower_case(install_dir(row) + "\\vxwipe.exe");
    if (row.windows->win9x) {
        for (const Change& change : outside)
            ADD_FAILURE_AT(where.file, where.line)
                << "outside the product and the log: " << describe_change(change);
        std::string dir = lower_case(install_dir(row));
        for (const auto& item : after.items)
            if (lies_within(item.first, dir) && item.first != dir && item.first != own)
                ADD_FAILURE_AT(where.file, where.line)
                    << "the install folder should hold only the uninstaller, but holds "
                    << item.first;
        return;
    }
    MovedImage moved = find_moved_image(changes, temp);
    if (moved.file.empty() || moved.registration.empty()) {
        ADD_FAILURE_AT(where.file, where.line)
            << "the uninstaller's own file should be in " << temp
            << " and registered for deletion at the next start: file [" << moved.file
            << "], registration [" << moved.registration << "]";
        return;
    }
    EXPECT_EQ("", moved.problem) << "the registration of " << moved.file;
    for (const Change& change : outside)
        if (change.item != moved.file && change.item != moved.registration)
            ADD_FAILURE_AT(where.file, where.line)
                << "outside the product, the log and the moved file: " << describe_change(change);
    // The very file that was laid: its size, and that it went from the install folder.
    auto laid = before.items.find(own);
    auto found = after.items.find(moved.file);
    ASSERT_TRUE(laid != before.items.end()) << own << " was not laid";
    ASSERT_TRUE(found != after.items.end());
    std::string size = " s=";
    EXPECT_EQ(laid->second.substr(laid->second.find(size)).substr(0, 16),
              found->second.substr(found->second.find(size)).substr(0, 16))
        << "the moved file and the uninstaller laid differ in size";
    // The log names the file as the platform spells it; the picture in lower case.
    const std::string moved_line = "MOIA: moved to ";
    std::vector<std::string> moves = lines_starting(log, moved_line);
    ASSERT_EQ(1u, moves.size()) << "the log should say once where the file went";
    std::string moved_path = moves[0].substr(moved_line.size());
    EXPECT_EQ(moved.file, lower_case(to_utf8(moved_path, child_codepage(row))));
    verify_lines_in_order_at(where, log,
                             {"  > MoveOwnImageAside(" + own_file(row) + ")", moves[0],
                              "    next boot, remove file (" + moved_path + ")."});
}

#define lay_decoys() lay_decoys_at(WT_HERE)
#define verify_decoys_untouched() verify_decoys_untouched_at(WT_HERE)

class Uninstall : public testing::TestWithParam<Row> {
  protected:
    void TearDown() override {
        const Row& row = GetParam();
        remove_tree(for_child(row, install_dir(row)), child_codepage(row));
        remove_tree(program_files(row) + "\\" + VORTA_FOLDER);
        if (in_wow64(row))
            remove_decoys();
        delete_value(HKEY_LOCAL_MACHINE, PENDING_RENAMES_KEY, PENDING_RENAMES_VALUE);
        remove_product_keys();
        remove_product_folders();
    }
};

TEST_P(Uninstall, RemovesWhatItMustAndNothingElse) {
    const Row& row = GetParam();
    const Scenario s = expected_of(row);
    run_sample(row, sample_args(row, "lay"));
    if (HasFatalFailure())
        return;
    if (in_wow64(row))
        lay_decoys();
    if (s.noInstallRecords)
        forget_install_directory();
    std::string installDir = for_child(row, install_dir(row));
    if (s.userFileInInstallDir)
        make_file(installDir + "\\" + USER_FILE, "mine");
    // Windows 9x keeps every shortcut in the user's Programs folder.
    int shortcutScope = std::string(s.scope) == "user" || row.windows->win9x ? 1 : 0;
    std::string productFolder = programs_folder(shortcutScope) + "\\" + FOLDER_NAME;
    if (s.userFileInFolder)
        make_file(productFolder + "\\" + USER_FILE, "mine");

    RunOptions options;
    options.args = s.args;
    options.windows_version = row.windows->name;
    options.japanese = s.japanese;
    options.temp_dir =
        s.japanese ? make_temp_dir(JAPANESE_FOLDER, JAPANESE_CODEPAGE) : make_temp_dir("run");
    options.answers = s.answers;
    if (s.chained == CHAIN_COMPLETES)
        options.env.push_back(
            {"IS_STANDIN_REMOVE", std::string(s.scope) == "user" ? "HKCU" : "HKLM"});
    Snapshot before;
    if (s.fromInstallFolder) {
        options.program_path = own_file(row);
        before = take_snapshot();
    }
    RunResult result = run_program(options);
    if (s.fromInstallFolder) {
        verify_machine_at(WT_HERE, row, before, take_snapshot(), result.temp_dir, result.log);
        verify_boxes_logged_at(WT_HERE, row, s, result.log);
        if (row.windows->win9x)
            verify_lines_in_order(result.log,
                                  {"  > MoveOwnImageAside(" + own_file(row) + ")",
                                   "MOIA: Windows 9x cannot move a running program: it stays, "
                                   "and with it the install directory"});
    }

    EXPECT_EQ(s.exitCode, result.exit_code);
    verify_boxes(result.boxes, s.boxes, s.japanese, install_dir(row));
    std::map<std::string, std::string> after = inventory(row);
    verify_inventory(s, after);
    if (in_wow64(row))
        verify_decoys_untouched();
    if (s.noInstallRecords) {
        verify_key_missing(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY);
        verify_key_missing(HKEY_CURRENT_USER, USER_SETTINGS);
    }
    if (s.userFileInInstallDir)
        verify_file_present(installDir + "\\" + USER_FILE);
    if (s.userFileInFolder)
        verify_file_present(productFolder + "\\" + USER_FILE);

    ASSERT_TRUE(result.log_exists) << "no log in " << to_utf8(result.temp_dir, child_codepage(row));
    if (s.answers == std::vector<int>{IDCANCEL})
        verify_only_scope_probe(result.log);
    std::vector<std::string> expectedBanners(s.banners.begin(), s.banners.end());
    EXPECT_EQ(expectedBanners, banners(result.log));
    // The folder as the installer wrote it, byte for byte.
    if (!s.noInstallRecords && !expectedBanners.empty()) {
        std::string found = "  InstallDir is " + installDir;
        EXPECT_NE(result.log.end(), std::find(result.log.begin(), result.log.end(), found))
            << "no line \"" << to_utf8(found, child_codepage(row)) << "\"";
    }
    ended_run(result.log);
}

// clang-format off
const Scenario SCENARIOS[] = {
    // name, generation, scope, reach, japanese, arguments, answers, boxes, exit code,
    // what is removed, step banners, chained uninstall, no install records,
    // a user's file in the install directory, a user's file in the Start-menu folder,
    // the NT line only

    // Normal mode with its questions.
    {"CancelChangesNothing", 3, "system", FULL_TABLE, false, {}, {IDCANCEL}, {CONFIRM}, 0, {},
     {}},
    {"OkYesRemovesAll", 3, "system", EVERY_VERSION, false, {}, {IDOK, IDYES, IDOK},
     {CONFIRM, ASK_SETTINGS, DONE_ALL}, 0, EVERYTHING, NORMAL_BANNERS},
    {"OkNoKeepsSettings", 3, "system", FULL_TABLE, false, {}, {IDOK, IDNO, IDOK},
     {CONFIRM, ASK_SETTINGS, DONE_ALL}, 0, ALL_BUT_SETTINGS, NORMAL_BANNERS_KEEPING},
    {"Silent", 3, "system", EVERY_VERSION, false, {"-silent"}, {}, {}, 0, EVERYTHING,
     NORMAL_BANNERS},
    {"SilentSave", 3, "system", FULL_TABLE, false, {"-silent", "-save"}, {}, {}, 0,
     ALL_BUT_SETTINGS, NORMAL_BANNERS_KEEPING},
    {"NosaveThenSaveAsksNothing", 3, "system", FULL_TABLE, false, {"-nosave", "-save"},
     {IDOK, IDOK}, {CONFIRM, DONE_ALL}, 0, ALL_BUT_SETTINGS, NORMAL_BANNERS_KEEPING},
    {"SilentThenNosilentAsks", 3, "system", FULL_TABLE, false, {"-silent", "-nosilent"},
     {IDOK, IDYES, IDOK}, {CONFIRM, ASK_SETTINGS, DONE_ALL}, 0, EVERYTHING, NORMAL_BANNERS},
    {"JapaneseOkYes", 3, "system", EVERY_VERSION, true, {}, {IDOK, IDYES, IDOK},
     {CONFIRM, ASK_SETTINGS, DONE_ALL}, 0, EVERYTHING, NORMAL_BANNERS},

    // Every installer generation and scope.
    {"Gen1System", 1, "system", FULL_TABLE, false, {"-silent"}, {}, {}, 0, EVERYTHING,
     NORMAL_BANNERS},
    {"Gen1User", 1, "user", FULL_TABLE, false, {"-silent"}, {}, {}, 0, EVERYTHING,
     NORMAL_BANNERS},
    {"Gen2System", 2, "system", FULL_TABLE, false, {"-silent"}, {}, {}, 0, EVERYTHING,
     NORMAL_BANNERS},
    {"Gen2User", 2, "user", FULL_TABLE, false, {"-silent"}, {}, {}, 0, EVERYTHING,
     NORMAL_BANNERS},
    {"Gen3User", 3, "user", FULL_TABLE, false, {"-silent"}, {}, {}, 0, EVERYTHING,
     NORMAL_BANNERS},

    // What cannot be removed is reported.
    {"NoInstallRecords", 1, "system", FULL_TABLE, false, {}, {IDOK, IDYES, IDOK, IDOK},
     {CONFIRM, ASK_SETTINGS, WARN_NO_DIR, DONE_REMAINS}, 0,
     {FOLDER, SHORTCUTS, ASSOCIATION, MACHINE, UNINSTALL, SETTINGS},
     {GET_DIR, REMOVE_SETTINGS, REMOVE_SHORTCUTS, REMOVE_ENTRY}, NO_CHAIN, true},
    {"UserFilesStay", 1, "system", FULL_TABLE, false, {}, {IDOK, IDYES, IDOK, IDOK, IDOK},
     {CONFIRM, ASK_SETTINGS, WARN_SHORTCUTS, WARN_DIR_STAYS, DONE_REMAINS}, 0, EVERYTHING,
     NORMAL_BANNERS, NO_CHAIN, false, true, true},

    // The installer's own uninstall first.
    {"ChainedCompletesSilently", 3, "system", EVERY_VERSION, false, {"-IS"}, {}, {}, 0,
     CHAINED_CLEANUP, CHAINED_BANNERS, CHAIN_COMPLETES},
    {"ChainedCompletesForUser", 3, "user", FULL_TABLE, false, {"-IS"}, {}, {}, 0,
     CHAINED_CLEANUP, CHAINED_BANNERS, CHAIN_COMPLETES, false, false, false, true},
    {"ChainedWithoutInstallDir", 3, "system", FULL_TABLE, false, {"-IS"}, {IDOK},
     {DONE_REMAINS}, 0, {FOLDER, SHORTCUTS, MACHINE, CHAINED_VALUE, UNINSTALL, SETTINGS},
     {GET_DIR, REMOVE_SHORTCUTS}, CHAIN_COMPLETES, true},
    {"ChainedCancelled", 3, "system", FULL_TABLE, false, {"-IS"}, {}, {}, 0, {}, {GET_DIR},
     CHAIN_CANCELLED},
    {"ChainedCommandMissing", 3, "system", FULL_TABLE, false, {"-IS"}, {IDOK},
     {FATAL_NO_COMMAND}, 1, {}, {GET_DIR}, CHAIN_MISSING},
    {"ChainedCommandMissingSilent", 3, "system", FULL_TABLE, false, {"-IS", "-silent"}, {}, {},
     1, {}, {GET_DIR}, CHAIN_MISSING},
    {"ChainedCommandUnstartable", 3, "system", FULL_TABLE, false, {"-IS"}, {IDOK},
     {FATAL_NO_START}, 1, {}, {GET_DIR}, CHAIN_UNSTARTABLE},

    // Started from the install folder, as Programs and Features starts it: the folder goes
    // with its own file, which waits in the temporary folder for the next start (Windows 9x
    // keeps both, see expected_of).
    {"FromInstallFolderSilent", 3, "system", EVERY_VERSION, false, {"-silent"}, {}, {}, 0,
     EVERYTHING_AND_ITSELF, NORMAL_BANNERS, NO_CHAIN, false, false, false, false, true},
    {"FromInstallFolderBoxes", 1, "system", EVERY_VERSION, false, {}, {IDOK, IDYES, IDOK},
     {CONFIRM, ASK_SETTINGS, DONE_ALL}, 0, EVERYTHING_AND_ITSELF, NORMAL_BANNERS, NO_CHAIN, false,
     false, false, false, true},
    {"FromInstallFolderJapanese", 3, "user", FULL_TABLE, true, {}, {IDOK, IDYES, IDOK},
     {CONFIRM, ASK_SETTINGS, DONE_ALL}, 0, EVERYTHING_AND_ITSELF, NORMAL_BANNERS, NO_CHAIN, false,
     false, false, false, true},
};
// clang-format on

// The rows of this run: each scenario in each version posed here, the main paths in
// every version and the whole table in one version of each family.
std::vector<Row> rows_of_this_run() {
    std::vector<Row> rows;
    std::string run = run_kind();
    for (const WindowsVersion& windows : VERSIONS) {
        if (run != "win64" && run != windows.run)
            continue;
        for (const Scenario& scenario : SCENARIOS)
            if ((scenario.reach == EVERY_VERSION || windows.reach == FULL_TABLE) &&
                !(scenario.needsUserScope && windows.win9x))
                rows.push_back({&scenario, &windows});
    }
    return rows;
}

// "Silent_win98_win32": the scenario, the version, the run.
std::string row_name(const testing::TestParamInfo<Row>& info) {
    return std::string(info.param.scenario->name) + "_" + info.param.windows->name + "_" +
           run_kind();
}

INSTANTIATE_TEST_SUITE_P(Versions, Uninstall, testing::ValuesIn(rows_of_this_run()), row_name);

} // namespace

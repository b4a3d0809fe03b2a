// The whole uninstall, end to end: a sample installation laid by vxsample.exe, the
// real vxwipe.exe run as a child with its boxes answered, and what is left afterwards.
#include "tests/support/strings.h"
#include "tests/support/wintest.h"

#include <map>
#include <set>

using namespace wintest;

namespace {

const char INSTALL_DIR[] = "C:\\Program Files\\VORTA\\VORTA-X";
const char UNINSTALL_ENTRY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VORTA-X";
const char USER_SETTINGS[] = "Software\\VORTA\\XSERVER";
const char INSTALLSHIELD_KEY[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                                 "InstallShield_{3D7A1E52-9C04-4B6F-A1D8-5E20C7B94F13}";
const char USER_FILE[] = "my own.txt";

// What the inventory of vxsample.exe reports, grouped by who removes it.
enum Part {
    FILES,
    INSTALL_DIRECTORY,
    FOLDER,
    SHORTCUTS,
    UNINSTALL,
    SETTINGS,
    FILE_TYPE,
    MACHINE,
    CHAINED_VALUE,
    INSTALLER_KEYS,
    NEIGHBOUR
};

enum Chained { NO_CHAIN, CHAIN_COMPLETES, CHAIN_CANCELLED, CHAIN_MISSING, CHAIN_UNSTARTABLE };

struct ExpectedBox {
    unsigned int caption; // string id
    unsigned int text;    // string id; 1063 is filled with the install directory
    std::vector<const char*> buttons;
    Icon icon;
    const char* fatalMessage; // the English literal in front of 1041, for fatal errors
};

const std::vector<const char*> OK = {"OK"};
const std::vector<const char*> OK_CANCEL = {"OK", "Cancel"};
const std::vector<const char*> YES_NO = {"Yes", "No"};

const ExpectedBox CONFIRM = {1000, 1001, OK_CANCEL, Icon::None, nullptr};
const ExpectedBox ASK_SETTINGS = {1000, 1005, YES_NO, Icon::None, nullptr};
const ExpectedBox DONE_ALL = {1000, 1002, OK, Icon::None, nullptr};
const ExpectedBox DONE_REMAINS = {1000, 1003, OK, Icon::None, nullptr};
const ExpectedBox WARN_NO_DIR = {1060, 1064, OK, Icon::Exclamation, nullptr};
const ExpectedBox WARN_DIR_STAYS = {1060, 1063, OK, Icon::Exclamation, nullptr};
const ExpectedBox WARN_SHORTCUTS = {1060, 1065, OK, Icon::Exclamation, nullptr};
const ExpectedBox FATAL_NO_COMMAND = {1040, 1041, OK, Icon::Stop, "fail to uninstal inforamtion"};
const ExpectedBox FATAL_NO_START = {1040, 1041, OK, Icon::Stop, "cannot execute IS process."};

struct Scenario {
    const char* name;
    int generation;
    const char* scope; // "system" or "user"
    const char* windows;
    bool japanese;
    std::vector<std::string> args;
    std::vector<int> answers;
    std::vector<ExpectedBox> boxes;
    DWORD exitCode;
    std::set<Part> removed; // everything else of the product stays
    std::vector<const char*> banners;
    Chained chained = NO_CHAIN;
    bool noInstallRecords = false; // Uninstall entry and per-user settings missing
    bool userFileInInstallDir = false;
    bool userFileInFolder = false;
};

const char GET_DIR[] = "=== GetInstallDirectory ===";
const char REMOVE_SETTINGS[] = "=== RemoveRegistry ===";
const char REMOVE_SHORTCUTS[] = "=== RemoveShortCut ===";
const char REMOVE_FILES[] = "=== RemoveInstalledFiles ===";
const char REMOVE_ENTRY[] = "=== RemoveInstallInformation ===";

const std::set<Part> EVERYTHING = {FILES,     INSTALL_DIRECTORY, FOLDER,    SHORTCUTS,
                                   UNINSTALL, SETTINGS,          FILE_TYPE, MACHINE};
const std::set<Part> ALL_BUT_SETTINGS = {FILES,     INSTALL_DIRECTORY, FOLDER, SHORTCUTS,
                                         UNINSTALL, FILE_TYPE,         MACHINE};
const std::set<Part> CHAINED_CLEANUP = {FILES,     INSTALL_DIRECTORY, FOLDER,
                                        SHORTCUTS, MACHINE,           CHAINED_VALUE};
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

std::vector<std::string> sample_args(const Scenario& s, const char* verb) {
    std::vector<std::string> args = {
        verb, "-generation", std::to_string(s.generation), "-scope", s.scope, "-dir", INSTALL_DIR};
    std::string command = chained_command(s.chained);
    if (!command.empty()) {
        args.push_back("-chained");
        args.push_back(command);
    }
    return args;
}

void run_sample(const Scenario& s, const std::vector<std::string>& args) {
    RunOptions options;
    options.program = "vxsample.exe";
    options.args = args;
    options.windows_version = s.windows;
    options.japanese = s.japanese;
    RunResult result = run_program(options);
    ASSERT_EQ(0u, result.exit_code) << "vxsample " << args[0];
}

std::map<std::string, std::string> inventory(const Scenario& s) {
    std::string out = make_temp_dir("inventory") + "\\inventory.txt";
    std::vector<std::string> args = sample_args(s, "inventory");
    args.push_back("-out");
    args.push_back(out);
    run_sample(s, args);
    std::map<std::string, std::string> items;
    for (const std::string& line : split_lines(read_file(out))) {
        size_t tab = line.find('\t');
        if (tab != std::string::npos)
            items[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return items;
}

bool starts_with(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

Part part_of(const std::string& item) {
    if (starts_with(item, "neighbour:"))
        return NEIGHBOUR;
    if (starts_with(item, "manifest "))
        return FILES;
    if (starts_with(item, "install directory "))
        return INSTALL_DIRECTORY;
    if (starts_with(item, "Start-menu folder "))
        return FOLDER;
    if (starts_with(item, "shortcuts "))
        return SHORTCUTS;
    if (item == std::string("HKLM\\") + UNINSTALL_ENTRY)
        return UNINSTALL;
    if (item == std::string("HKCU\\") + USER_SETTINGS)
        return SETTINGS;
    if (item == "HKCR\\.vxp" || item == "HKCR\\Vortax.Configuration.File")
        return FILE_TYPE;
    if (item == "HKLM\\Software\\VORTA\\VORTA-X")
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

std::string expected_box_text(const ExpectedBox& box, bool japanese) {
    std::string text = expected_text(box.text, japanese);
    if (box.fatalMessage != nullptr)
        return std::string(box.fatalMessage) + "\n\n" + text;
    if (box.text == 1063) {
        size_t placeholder = text.find("%s");
        text.replace(placeholder, 2, INSTALL_DIR);
    }
    return text;
}

// Wine's own button labels in a Japanese run.
std::string button_label(const char* english, bool japanese) {
    if (!japanese)
        return english;
    static const std::map<std::string, std::string> labels = {
        {"OK", "OK"}, {"Cancel", "キャンセル"}, {"Yes", "はい(Y)"}, {"No", "いいえ(N)"}};
    return labels.at(english);
}

void verify_boxes(const Scenario& s, const std::vector<Box>& boxes) {
    ASSERT_EQ(s.boxes.size(), boxes.size());
    for (size_t i = 0; i < boxes.size(); i++) {
        SCOPED_TRACE("box " + std::to_string(i + 1));
        const ExpectedBox& expected = s.boxes[i];
        EXPECT_EQ(expected_text(expected.caption, s.japanese), boxes[i].caption);
        EXPECT_EQ(expected_box_text(expected, s.japanese), boxes[i].text);
        std::vector<std::string> buttons;
        for (const char* button : expected.buttons)
            buttons.push_back(button_label(button, s.japanese));
        EXPECT_EQ(buttons, boxes[i].buttons);
        EXPECT_STREQ(icon_name(expected.icon), icon_name(boxes[i].icon));
    }
}

void verify_inventory(const Scenario& s, const std::map<std::string, std::string>& items) {
    ASSERT_FALSE(items.empty());
    for (const auto& item : items) {
        Part part = part_of(item.first);
        bool removed = s.removed.count(part) != 0;
        if (part == INSTALL_DIRECTORY && s.userFileInInstallDir)
            removed = false;
        if (part == FOLDER && s.userFileInFolder)
            removed = false;
        if (removed)
            EXPECT_TRUE(looks_removed(item.second)) << item.first << ": " << item.second;
        else
            EXPECT_TRUE(looks_complete(item.second)) << item.first << ": " << item.second;
    }
}

// A cancelled run traces nothing but its start, the install-scope probe and its end.
void verify_only_scope_probe(const std::vector<std::string>& log) {
    const char* const probeLines[] = {
        "  > GetITYPE", "  > GetISVersion", "GIV: ", "GIT: ", "  > isExistGroup", "iEG: ",
        "gAFL: "};
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ("", log[0]);
    EXPECT_EQ(std::string(40, '-'), log[1]);
    EXPECT_EQ(0u, log[2].find(">>> START: "));
    for (size_t i = 3; i + 1 < log.size(); i++) {
        bool probe = log[i].find(" = MyReg") != std::string::npos;
        for (const char* prefix : probeLines)
            probe = probe || starts_with(log[i], prefix);
        EXPECT_TRUE(probe) << "line " << i << ": " << log[i];
    }
}

// Leaves no place from which the install directory could be read.
void forget_install_directory() {
    delete_key_tree(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY);
    delete_key_tree(HKEY_CURRENT_USER, USER_SETTINGS);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        HKEY key;
        if (RegOpenKeyExA(root, INSTALLSHIELD_KEY, 0, KEY_SET_VALUE, &key) == 0) {
            RegDeleteValueA(key, "InstallLocation");
            RegCloseKey(key);
        }
    }
}

class Uninstall : public testing::TestWithParam<Scenario> {
  protected:
    void TearDown() override {
        remove_tree(INSTALL_DIR);
        remove_tree("C:\\Program Files\\VORTA");
        const char* const productKeys[][2] = {
            {"HKLM", UNINSTALL_ENTRY},
            {"HKLM", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                     "{3D7A1E52-9C04-4B6F-A1D8-5E20C7B94F13}"},
            {"HKLM", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
                     "{8E41C0B7-26D3-4A95-B7E2-0F6D93A1C548}"},
            {"HKLM", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other Program"},
            {"HKLM", INSTALLSHIELD_KEY},
            {"HKCU", INSTALLSHIELD_KEY},
            {"HKCU", "Software\\VORTA"},
            {"HKLM", "Software\\VORTA"},
            {"HKCR", ".vxp"},
            {"HKCR", ".vxq"},
            {"HKCR", "Vortax.Configuration.File"},
        };
        for (const auto& key : productKeys) {
            HKEY root = std::string(key[0]) == "HKLM"   ? HKEY_LOCAL_MACHINE
                        : std::string(key[0]) == "HKCU" ? HKEY_CURRENT_USER
                                                        : HKEY_CLASSES_ROOT;
            delete_key_tree(root, key[1]);
        }
        for (int scope = 0; scope < 2; scope++) {
            std::string programs = programs_folder(scope);
            if (!programs.empty()) {
                remove_tree(programs + "\\VORTA-X");
                remove_tree(programs + "\\Other Tools");
            }
        }
    }
};

TEST_P(Uninstall, RemovesWhatItMustAndNothingElse) {
    const Scenario& s = GetParam();
    run_sample(s, sample_args(s, "lay"));
    if (HasFatalFailure())
        return;
    if (s.noInstallRecords)
        forget_install_directory();
    if (s.userFileInInstallDir)
        make_file(std::string(INSTALL_DIR) + "\\" + USER_FILE, "mine");
    // Windows 9x keeps every shortcut in the user's Programs folder.
    int shortcutScope = std::string(s.scope) == "user" || *s.windows != '\0' ? 1 : 0;
    std::string productFolder = programs_folder(shortcutScope) + "\\VORTA-X";
    if (s.userFileInFolder)
        make_file(productFolder + "\\" + USER_FILE, "mine");

    RunOptions options;
    options.args = s.args;
    options.windows_version = s.windows;
    options.japanese = s.japanese;
    options.answers = s.answers;
    if (s.chained == CHAIN_COMPLETES)
        options.env.push_back(
            {"IS_STANDIN_REMOVE", std::string(s.scope) == "user" ? "HKCU" : "HKLM"});
    RunResult result = run_program(options);

    EXPECT_EQ(s.exitCode, result.exit_code);
    verify_boxes(s, result.boxes);
    std::map<std::string, std::string> after = inventory(s);
    verify_inventory(s, after);
    if (s.noInstallRecords) {
        verify_key_missing(HKEY_LOCAL_MACHINE, UNINSTALL_ENTRY);
        verify_key_missing(HKEY_CURRENT_USER, USER_SETTINGS);
    }
    if (s.userFileInInstallDir)
        verify_file_present(std::string(INSTALL_DIR) + "\\" + USER_FILE);
    if (s.userFileInFolder)
        verify_file_present(productFolder + "\\" + USER_FILE);

    if (s.answers == std::vector<int>{IDCANCEL})
        verify_only_scope_probe(result.log);
    std::vector<std::string> expectedBanners(s.banners.begin(), s.banners.end());
    EXPECT_EQ(expectedBanners, banners(result.log));
    ASSERT_FALSE(result.log.empty());
    EXPECT_EQ(0u, result.log.back().find("<<< END: "));
}

std::string scenario_name(const testing::TestParamInfo<Scenario>& info) {
    return info.param.name;
}

// clang-format off
const Scenario SCENARIOS[] = {
    // name, generation, scope, windows, japanese, arguments, answers, boxes, exit code,
    // what is removed, step banners, chained uninstall, no install records,
    // a user's file in the install directory, a user's file in the Start-menu folder

    // Normal mode with its questions.
    {"CancelChangesNothing", 3, "system", "", false, {}, {IDCANCEL}, {CONFIRM}, 0, {}, {}},
    {"OkYesRemovesAll", 3, "system", "", false, {}, {IDOK, IDYES, IDOK},
     {CONFIRM, ASK_SETTINGS, DONE_ALL}, 0, EVERYTHING, NORMAL_BANNERS},
    {"OkNoKeepsSettings", 3, "system", "", false, {}, {IDOK, IDNO, IDOK},
     {CONFIRM, ASK_SETTINGS, DONE_ALL}, 0, ALL_BUT_SETTINGS, NORMAL_BANNERS_KEEPING},
    {"Silent", 3, "system", "", false, {"-silent"}, {}, {}, 0, EVERYTHING, NORMAL_BANNERS},
    {"SilentSave", 3, "system", "", false, {"-silent", "-save"}, {}, {}, 0, ALL_BUT_SETTINGS,
     NORMAL_BANNERS_KEEPING},
    {"NosaveThenSaveAsksNothing", 3, "system", "", false, {"-nosave", "-save"}, {IDOK, IDOK},
     {CONFIRM, DONE_ALL}, 0, ALL_BUT_SETTINGS, NORMAL_BANNERS_KEEPING},
    {"SilentThenNosilentAsks", 3, "system", "", false, {"-silent", "-nosilent"},
     {IDOK, IDYES, IDOK}, {CONFIRM, ASK_SETTINGS, DONE_ALL}, 0, EVERYTHING, NORMAL_BANNERS},
    {"JapaneseOkYes", 3, "system", "", true, {}, {IDOK, IDYES, IDOK},
     {CONFIRM, ASK_SETTINGS, DONE_ALL}, 0, EVERYTHING, NORMAL_BANNERS},

    // Every installer generation and scope, on both platform families.
    {"Gen1SystemNT", 1, "system", "", false, {"-silent"}, {}, {}, 0, EVERYTHING, NORMAL_BANNERS},
    {"Gen1UserNT", 1, "user", "", false, {"-silent"}, {}, {}, 0, EVERYTHING, NORMAL_BANNERS},
    {"Gen2SystemNT", 2, "system", "", false, {"-silent"}, {}, {}, 0, EVERYTHING, NORMAL_BANNERS},
    {"Gen2UserNT", 2, "user", "", false, {"-silent"}, {}, {}, 0, EVERYTHING, NORMAL_BANNERS},
    {"Gen3SystemNT", 3, "system", "", false, {"-silent"}, {}, {}, 0, EVERYTHING, NORMAL_BANNERS},
    {"Gen3UserNT", 3, "user", "", false, {"-silent"}, {}, {}, 0, EVERYTHING, NORMAL_BANNERS},
    {"Gen1SystemWin98", 1, "system", "win98", false, {"-silent"}, {}, {}, 0, EVERYTHING,
     NORMAL_BANNERS},
    {"Gen1UserWin98", 1, "user", "win98", false, {"-silent"}, {}, {}, 0, EVERYTHING,
     NORMAL_BANNERS},
    {"Gen2SystemWin98", 2, "system", "win98", false, {"-silent"}, {}, {}, 0, EVERYTHING,
     NORMAL_BANNERS},
    {"Gen2UserWin98", 2, "user", "win98", false, {"-silent"}, {}, {}, 0, EVERYTHING,
     NORMAL_BANNERS},
    {"Gen3SystemWin98", 3, "system", "win98", false, {"-silent"}, {}, {}, 0, EVERYTHING,
     NORMAL_BANNERS},
    {"Gen3UserWin98", 3, "user", "win98", false, {"-silent"}, {}, {}, 0, EVERYTHING,
     NORMAL_BANNERS},

    // What cannot be removed is reported.
    {"NoInstallRecords", 1, "system", "", false, {}, {IDOK, IDYES, IDOK, IDOK},
     {CONFIRM, ASK_SETTINGS, WARN_NO_DIR, DONE_REMAINS}, 0,
     {FOLDER, SHORTCUTS, FILE_TYPE, MACHINE, UNINSTALL, SETTINGS},
     {GET_DIR, REMOVE_SETTINGS, REMOVE_SHORTCUTS, REMOVE_ENTRY}, NO_CHAIN, true},
    {"UserFilesStay", 1, "system", "", false, {}, {IDOK, IDYES, IDOK, IDOK, IDOK},
     {CONFIRM, ASK_SETTINGS, WARN_SHORTCUTS, WARN_DIR_STAYS, DONE_REMAINS}, 0, EVERYTHING,
     NORMAL_BANNERS, NO_CHAIN, false, true, true},

    // The installer's own uninstall first.
    {"ChainedCompletesSilently", 3, "system", "", false, {"-IS"}, {}, {}, 0, CHAINED_CLEANUP,
     CHAINED_BANNERS, CHAIN_COMPLETES},
    {"ChainedCompletesForUser", 3, "user", "", false, {"-IS"}, {}, {}, 0, CHAINED_CLEANUP,
     CHAINED_BANNERS, CHAIN_COMPLETES},
    {"ChainedWithoutInstallDir", 3, "system", "", false, {"-IS"}, {IDOK}, {DONE_REMAINS}, 0,
     {FOLDER, SHORTCUTS, MACHINE, CHAINED_VALUE, UNINSTALL, SETTINGS},
     {GET_DIR, REMOVE_SHORTCUTS}, CHAIN_COMPLETES, true},
    {"ChainedCancelled", 3, "system", "", false, {"-IS"}, {}, {}, 0, {}, {GET_DIR},
     CHAIN_CANCELLED},
    {"ChainedCommandMissing", 3, "system", "", false, {"-IS"}, {IDOK}, {FATAL_NO_COMMAND}, 1,
     {}, {GET_DIR}, CHAIN_MISSING},
    {"ChainedCommandMissingSilent", 3, "system", "", false, {"-IS", "-silent"}, {}, {}, 1, {},
     {GET_DIR}, CHAIN_MISSING},
    {"ChainedCommandUnstartable", 3, "system", "", false, {"-IS"}, {IDOK}, {FATAL_NO_START}, 1,
     {}, {GET_DIR}, CHAIN_UNSTARTABLE},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Scenarios, Uninstall, testing::ValuesIn(SCENARIOS), scenario_name);

} // namespace

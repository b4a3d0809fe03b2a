// Start-menu folders and shortcuts on the real (Wine) file system and registry.
#include "boxes.h"
#include "logmatch.h"
#include "product.h"
#include "startmenu.h"
#include "strings.h"
#include "wintest.h"

#include "app/state.h"
#include "removal/startmenu.h"

#include <string.h>

using namespace wintest;

namespace {

const char* const FOLDER = FOLDER_NAME;

void reset_programs_cache() {
    g_state.programsFirstCall = 1;
    g_state.programsSlot[SYSTEM] = NULL;
    g_state.programsSlot[USER] = NULL;
    g_state.programsBuffer[0][0] = '\0';
    g_state.programsBuffer[1][0] = '\0';
}

// Points the cache of scope SYSTEM at folder, as if it had been resolved so.
void pretend_programs_folder(const std::string& folder) {
    reset_programs_cache();
    g_state.programsFirstCall = 0;
    strcpy(g_state.programsBuffer[0], folder.c_str());
    g_state.programsSlot[SYSTEM] = g_state.programsBuffer[0];
}

std::string str(const char* text) {
    return text != NULL ? std::string(text) : std::string("(none)");
}

class StartMenu : public ::testing::Test {
  protected:
    void SetUp() override {
        system_programs = programs_folder(SYSTEM);
        user_programs = programs_folder(USER);
        ASSERT_FALSE(system_programs.empty());
        ASSERT_FALSE(user_programs.empty());
        use_product_strings();
        remove_product_folders();
        reset_programs_cache();
        g_state.installType = SYSTEM;
        g_state.silent = 1;
        g_state.errorCount = 0;
    }
    void TearDown() override {
        remove_product_folders();
        reset_programs_cache();
        g_state.silent = 0;
        g_state.errorCount = 0;
    }
    std::string system_programs, user_programs;
};

TEST_F(StartMenu, ProgramsFoldersResolveOnceAtTheFirstLookup) {
    LogCapture log;
    EXPECT_EQ(str(getAppFolderLocation(USER)), user_programs);
    EXPECT_EQ(str(getAppFolderLocation(SYSTEM)), system_programs);
    EXPECT_EQ(str(getAppFolderLocation(USER)), user_programs);
    verify_lines(
        log.lines(),
        {"0 = MyRegOpenKeyEx(80000002(HKLM), " + std::string(SHELL_FOLDERS) + ", ..., result:*)",
         "0 = MyRegQueryValueEx(*, Common Programs, ..., " + system_programs + ", ...)",
         "0 = MyRegCloseKey(*)",
         "0 = MyRegOpenKeyEx(80000001(HKCU), " + std::string(SHELL_FOLDERS) + ", ..., result:*)",
         "0 = MyRegQueryValueEx(*, Programs, ..., " + user_programs + ", ...)",
         "0 = MyRegCloseKey(*)", "gAFL: SYSTEM, loc: " + system_programs,
         "gAFL: USER,   loc: " + user_programs});
}

TEST_F(StartMenu, UnknownScopeFailsAndLeavesTheCacheUnresolved) {
    LogCapture log;
    EXPECT_EQ(isExistGroup(2, FOLDER), 0);
    EXPECT_EQ(str(getAppFolderLocation(SYSTEM)), system_programs);
    std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 3u);
    verify_lines(std::vector<std::string>(lines.begin(), lines.begin() + 3),
                 {"  > isExistGroup(2, VORTA-X)", "gAFL: unknown parameter(2) is specified.",
                  "iEG: fail to get application folder path"});
    verify_lines(lines_starting(lines, "gAFL: "),
                 {"gAFL: unknown parameter(2) is specified.",
                  "gAFL: SYSTEM, loc: " + system_programs, "gAFL: USER,   loc: " + user_programs});
}

// A Programs value that fills the whole buffer without its terminator is no folder.
TEST_F(StartMenu, ProgramsValueWithoutTerminatorIsNotUsed) {
    std::string saved = user_programs;
    std::string filled(STARTMENU_PATH_CAPACITY, 'p');
    set_value(HKEY_CURRENT_USER, SHELL_FOLDERS, "Programs", REG_SZ, filled.data(),
              (DWORD)filled.size());
    LogCapture log;
    const char* user = getAppFolderLocation(USER);
    const char* system = getAppFolderLocation(SYSTEM);
    std::vector<std::string> lines = log.lines();
    set_string(HKEY_CURRENT_USER, SHELL_FOLDERS, "Programs", saved);
    EXPECT_EQ(str(user), "(none)");
    EXPECT_EQ(str(system), system_programs);
    verify_lines(lines_starting(lines, "gAFL: "), {"gAFL: SYSTEM, loc: " + system_programs});
}

TEST_F(StartMenu, Windows98UsesTheUsersProgramsFolderForAllUsers) {
    RunOptions options;
    options.program = "programs_probe.exe";
    options.windows_version = "win98";
    RunResult run = run_program(options);
    EXPECT_EQ(run.exit_code, 0u);
    std::vector<std::string> lines = last_run(run.log);
    verify_lines(lines_starting(lines, "gAFL: "), {"gAFL: SYSTEM, loc: " + user_programs});
    verify_lines(lines_starting(lines, "probe: "),
                 {"probe: SYSTEM [" + user_programs + "]", "probe: USER [(none)]",
                  "probe: isExistGroup(USER) = 0"});
    EXPECT_EQ(lines_starting(lines, "iEG: "),
              std::vector<std::string>{"iEG: fail to get application folder path"});
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("(HKLM)"), std::string::npos) << line;
    remove_tree(run.temp_dir);
}

TEST_F(StartMenu, ShortcutsAreRealLinksWithTheirWorkingDirectory) {
    struct Case {
        const char* target;
        const char* working_directory;
    };
    const Case cases[] = {
        {"C:\\vxtarget\\bin\\vortax.exe", "C:\\vxtarget\\bin"},
        {"C:\\vxroot.exe", "C:"},
        {"vxbare.exe", "vxbare.exe"},
    };
    std::string folder = user_programs + "\\" + FOLDER;
    std::string link = folder + "\\Item.lnk";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        LogCapture log;
        EXPECT_EQ(CreateProgmanGroup(USER, FOLDER), 1);
        EXPECT_EQ(CreateProgmanGroup(USER, FOLDER), 1); // already there
        EXPECT_EQ(CreateProgmanItem(USER, FOLDER, "Item", c.target, "extra", 7), 1);
        Shortcut shortcut = read_shortcut(link);
        EXPECT_TRUE(shortcut.loaded);
        EXPECT_EQ(shortcut.working_directory, c.working_directory);
        if (strchr(c.target, '\\') != NULL)
            EXPECT_EQ(shortcut.target, c.target);
        else // the link object makes a bare name a full path
            EXPECT_EQ(shortcut.target.substr(shortcut.target.rfind('\\') + 1), c.target);
        EXPECT_EQ(RemoveProgmanItem(USER, FOLDER, "Item"), 1);
        verify_file_missing(link);
        EXPECT_EQ(DeleteProgmanGroup(USER, FOLDER), 1);
        verify_dir_missing(folder);
        std::vector<std::string> lines = log.lines();
        // Success lines go to the silent channel: only the announcements remain.
        verify_lines(
            lines_starting(lines, "  > "),
            {"  > CreateProgmanGroup(1, VORTA-X)", "  > CreateProgmanGroup(1, VORTA-X)",
             "  > CreateProgmanItem(1, VORTA-X, Item, " + std::string(c.target) + ", extra, 7)",
             "  > RemoveProgmanItem(1, VORTA-X, Item)", "  > DeleteProgmanGroup(1, VORTA-X)"});
        EXPECT_TRUE(lines_starting(lines, "CP").empty());
        EXPECT_TRUE(lines_starting(lines, "RPI").empty());
        EXPECT_TRUE(lines_starting(lines, "DPG").empty());
        reset_programs_cache();
    }
}

TEST_F(StartMenu, ShortcutInAMissingFolderIsNotCreated) {
    LogCapture log;
    std::string link = user_programs + "\\" + FOLDER + "\\Item.lnk";
    EXPECT_EQ(CreateProgmanItem(USER, FOLDER, "Item", "C:\\vx.exe", "", 0), 0);
    verify_file_missing(link);
    verify_lines(lines_starting(log.lines(), "CPI: "),
                 {"CPI: fail to create shortcut(" + link + ", C:\\vx.exe)"});
}

TEST_F(StartMenu, IsExistGroupTellsFolderFromFileAndMissingName) {
    std::string path = system_programs + "\\" + FOLDER;
    {
        LogCapture log;
        EXPECT_EQ(isExistGroup(SYSTEM, FOLDER), 0);
        verify_lines(lines_starting(log.lines(), "iEG: "),
                     {"iEG: fail to find dir(" + path + "), error code = 0x2"});
    }
    make_file(path);
    DWORD attributes = GetFileAttributesA(path.c_str());
    {
        reset_programs_cache();
        LogCapture log;
        EXPECT_EQ(isExistGroup(SYSTEM, FOLDER), 0);
        char expected[64];
        sprintf(expected, "), attribute = 0x%x", (unsigned)attributes);
        verify_lines(lines_starting(log.lines(), "iEG: "),
                     {"iEG: fail to find dir(" + path + expected});
    }
    DeleteFileA(path.c_str());
    make_dir(path);
    {
        reset_programs_cache();
        LogCapture log;
        EXPECT_EQ(isExistGroup(SYSTEM, FOLDER), 1);
        verify_lines(lines_starting(log.lines(), "iEG: "),
                     {"iEG: success to find dir(" + path + ")"});
    }
}

// Each operation takes a composed path of 519 characters (520 with the terminator)
// to the platform and refuses one of 520 with its own lines.
TEST_F(StartMenu, PathLimitIsFiveHundredTwentyWithTheTerminator) {
    struct Case {
        const char* name;
        bool shortcut;
        int (*call)();
        const char* announcement;
        std::vector<std::string> refused; // lines after the announcement
    };
    static const Case cases[] = {
        {"isExistGroup",
         false,
         [] { return isExistGroup(SYSTEM, FOLDER); },
         "  > isExistGroup(0, VORTA-X)",
         {"iEG: too long parameter"}},
        {"CreateProgmanGroup",
         false,
         [] { return CreateProgmanGroup(SYSTEM, FOLDER); },
         "  > CreateProgmanGroup(0, VORTA-X)",
         {"CPG: too long parameter"}},
        {"DeleteProgmanGroup",
         false,
         [] { return DeleteProgmanGroup(SYSTEM, FOLDER); },
         "  > DeleteProgmanGroup(0, VORTA-X)",
         {"DPG: too long parameter"}},
        {"CreateProgmanItem",
         true,
         [] { return CreateProgmanItem(SYSTEM, FOLDER, "Item", "C:\\vx.exe", "x", 1); },
         "  > CreateProgmanItem(0, VORTA-X, Item, C:\\vx.exe, x, 1)",
         {}},
        {"RemoveProgmanItem",
         true,
         [] { return RemoveProgmanItem(SYSTEM, FOLDER, "Item"); },
         "  > RemoveProgmanItem(0, VORTA-X, Item)",
         {"RPI: RemoveProgmanItem: fatal error."}},
    };
    const size_t LIMIT = STARTMENU_PATH_CAPACITY - 1; // characters without the terminator
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        size_t joined = strlen(FOLDER) + 1 + (c.shortcut ? strlen("\\Item.lnk") : 0);
        for (size_t extra = 0; extra <= 1; extra++) {
            SCOPED_TRACE(extra ? "one character too many" : "exactly at the limit");
            std::string programs = "C:\\vxlong\\" + std::string(LIMIT + extra - joined - 10, 'p');
            std::string path = programs + "\\" + FOLDER + (c.shortcut ? "\\Item.lnk" : "");
            ASSERT_EQ(path.size(), LIMIT + extra);
            pretend_programs_folder(programs);
            LogCapture log;
            int result = c.call();
            std::vector<std::string> lines = log.lines();
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines[0], c.announcement);
            std::vector<std::string> after(lines.begin() + 1, lines.end());
            if (extra) {
                EXPECT_EQ(result, 0);
                EXPECT_EQ(after, c.refused);
            } else {
                // Taken to the platform: whatever it answers names the whole path.
                EXPECT_NE(after, c.refused);
                if (!after.empty()) {
                    EXPECT_NE(after[0].find(path), std::string::npos) << after[0];
                }
            }
        }
    }
}

struct RemovalCase {
    const char* name;
    int scope;
    bool make_folder;
    bool lay_shortcuts;
    bool user_file;
    bool hold_one_open;
    bool folder_stays;
};

void PrintTo(const RemovalCase& c, std::ostream* os) {
    *os << c.name;
}

class RemoveShortCutRows : public StartMenu, public ::testing::WithParamInterface<RemovalCase> {};

TEST_P(RemoveShortCutRows, RemovesTheProductsShortcutsThenItsFolder) {
    const RemovalCase& c = GetParam();
    g_state.installType = c.scope;
    std::string programs = c.scope == SYSTEM ? system_programs : user_programs;
    std::string folder = programs + "\\" + FOLDER;
    if (c.lay_shortcuts)
        lay_product_shortcuts(c.scope);
    else if (c.make_folder)
        make_dir(folder);
    if (c.user_file)
        make_file(folder + "\\my notes.txt");
    HANDLE held = INVALID_HANDLE_VALUE;
    std::string held_path = folder + "\\Xstarter.lnk";
    if (c.hold_one_open)
        held = CreateFileA(held_path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0,
                           NULL);
    getAppFolderLocation(SYSTEM); // resolved before the log: only the step's own lines

    LogCapture log;
    RemoveShortCut();
    std::vector<std::string> lines = log.lines();
    if (held != INVALID_HANDLE_VALUE)
        CloseHandle(held);

    std::vector<std::string> remaining = list_dir_utf8(folder);
    std::vector<std::string> expected_remaining;
    if (c.user_file)
        expected_remaining.push_back("my notes.txt");
    if (c.hold_one_open)
        expected_remaining.insert(expected_remaining.begin(), "Xstarter.lnk");
    EXPECT_EQ(remaining, expected_remaining);
    if (c.folder_stays)
        verify_dir_present(folder);
    else
        verify_dir_missing(folder);
    EXPECT_EQ(g_state.errorCount, c.folder_stays ? 1 : 0);

    std::vector<std::string> expected = {"=== RemoveShortCut ===", "  remove folder [VORTA-X]"};
    std::string scope = std::to_string(c.scope);
    for (unsigned int id : SHORTCUT_IDS) {
        std::string name = expected_text(id, false);
        expected.push_back("  > RemoveProgmanItem(" + scope + ", VORTA-X, " + name + ")");
        std::string link = folder + "\\" + name + ".lnk";
        // A shortcut whose folder is gone is not there: no failure (code 3 as code 2).
        int code = c.hold_one_open && name == "Xstarter" ? ERROR_SHARING_VIOLATION : 0;
        if (code != 0) {
            expected.push_back("RPI: fail to remove file(" + link +
                               "), code = " + std::to_string(code));
            expected.push_back("RPI: RemoveProgmanItem: fatal error.");
        }
    }
    expected.push_back("  > DeleteProgmanGroup(" + scope + ", VORTA-X)");
    if (c.folder_stays) {
        expected.push_back("DPG: fail to remove directory(" + folder +
                           "), code = " + std::to_string(ERROR_DIR_NOT_EMPTY));
        expected.push_back("  fail remove Folder(VORTA-X)");
        // The warning, silent here, is in the log all the same.
        for (const std::string& line : expected_box_lines(WARN_SHORTCUTS, false, "", IDOK, true))
            expected.push_back(line);
    }
    verify_lines(lines, expected);
    remove_tree(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RemoveShortCutRows,
    ::testing::Values(RemovalCase{"every_shortcut", SYSTEM, true, true, false, false, false},
                      RemovalCase{"every_shortcut_user", USER, true, true, false, false, false},
                      RemovalCase{"folder_empty", SYSTEM, true, false, false, false, false},
                      RemovalCase{"folder_missing", SYSTEM, false, false, false, false, false},
                      RemovalCase{"users_file_stays", SYSTEM, true, true, true, false, true},
                      RemovalCase{"shortcut_held_open", USER, true, true, false, true, true}),
    [](const ::testing::TestParamInfo<RemovalCase>& info) { return info.param.name; });

} // namespace

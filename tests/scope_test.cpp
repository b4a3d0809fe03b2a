// Installer generation and install scope, probed in the real (Wine) registry.
#include "boxes.h"
#include "install.h"
#include "logmatch.h"
#include "product.h"
#include "startmenu.h"
#include "wintest.h"

#include "app/state.h"
#include "discovery/scope.h"

using namespace wintest;

namespace {

// The key whose presence tells each generation, and the per-user InstallShield entry.
const std::string GEN3_KEY = GENERATION_3_ENTRY;
const std::string GEN2_KEY = GENERATION_2_ENTRY;
const std::string GEN1_KEY = PRODUCT_ENTRY;
const std::string USER_IS_KEY = INSTALLSHIELD_ENTRY;

void clean_registry() {
    remove_product_keys();
}

void reset_caches() {
    g_state.isVersionCache = 0;
    g_state.installTypeCache = -1;
    g_state.programsFirstCall = 1;
    g_state.programsSlot[SYSTEM] = NULL;
    g_state.programsSlot[USER] = NULL;
}

std::string open_line(int status, const char* root, const std::string& key) {
    return std::to_string(status) + " = MyRegOpenKeyEx(" + root + ", " + key +
           ", ..., result:" + (status == 0 ? "*" : "0") + ")";
}
const char* HKLM = "80000002(HKLM)";
const char* HKCU = "80000001(HKCU)";

class Scope : public ::testing::Test {
  protected:
    void SetUp() override {
        clean_registry();
        remove_product_folders();
        reset_caches();
    }
    void TearDown() override {
        clean_registry();
        remove_product_folders();
        reset_caches();
    }
};

TEST_F(Scope, GenerationIsTheFirstKeyThatOpens) {
    struct Case {
        const char* name;
        const std::string* key; // NULL: none
        int generation;
        const char* line;
    };
    const Case cases[] = {
        {"generation 3", &GEN3_KEY, 3, "GIV: after 4.00"},
        {"generation 2", &GEN2_KEY, 2, "GIV: 4PR"},
        {"generation 1", &GEN1_KEY, 1, "GIV: pre 3.21"},
        {"none", NULL, 99, "GIV: not found"},
    };
    const std::string* probed[] = {&GEN3_KEY, &GEN2_KEY, &GEN1_KEY};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.key != NULL)
            add_key(HKEY_LOCAL_MACHINE, *c.key);
        LogCapture log;
        EXPECT_EQ(GetISVersion(), c.generation);
        EXPECT_EQ(GetISVersion(), c.generation); // cached: announces, probes nothing
        std::vector<std::string> expected = {"  > GetISVersion"};
        for (const std::string* key : probed) {
            bool opens = key == c.key;
            expected.push_back(open_line(opens ? 0 : 2, HKLM, *key));
            if (opens) {
                expected.push_back(c.line);
                expected.push_back("0 = MyRegCloseKey(*)");
                break;
            }
        }
        if (c.key == NULL)
            expected.push_back(c.line);
        expected.push_back("  > GetISVersion");
        verify_lines(log.lines(), expected);
        clean_registry();
        reset_caches();
    }
}

TEST_F(Scope, GenerationThreeIsPerUserWithTheUsersInstallShieldKey) {
    for (bool per_user : {true, false}) {
        SCOPED_TRACE(per_user ? "per-user key" : "no per-user key");
        add_key(HKEY_LOCAL_MACHINE, GEN3_KEY);
        if (per_user)
            add_key(HKEY_CURRENT_USER, USER_IS_KEY);
        LogCapture log;
        EXPECT_EQ(GetITYPE("VORTA-X"), per_user ? USER : SYSTEM);
        EXPECT_EQ(GetITYPE("VORTA-X"), per_user ? USER : SYSTEM);
        std::vector<std::string> expected = {
            "  > GetITYPE",
            "  > GetISVersion",
            open_line(0, HKLM, GEN3_KEY),
            "GIV: after 4.00",
            "0 = MyRegCloseKey(*)",
            open_line(per_user ? 0 : 2, HKCU, USER_IS_KEY),
            per_user ? "GIT: type is USER" : "GIT: type is SYSTEM",
        };
        if (per_user)
            expected.push_back("0 = MyRegCloseKey(*)");
        expected.push_back("  > GetITYPE");
        verify_lines(log.lines(), expected);
        clean_registry();
        reset_caches();
    }
}

// Older generations: the product folder in the user's own Programs folder makes it
// per-user, whether or not the common Programs folder has one too.
TEST_F(Scope, OlderGenerationsLookForTheUsersStartMenuFolder) {
    struct Case {
        const char* name;
        const std::string* key;
        const char* generation_line;
        bool in_user;
        bool in_common;
        int scope;
    };
    const Case cases[] = {
        {"generation 2, both folders", &GEN2_KEY, "GIV: 4PR", true, true, USER},
        {"generation 1, user folder", &GEN1_KEY, "GIV: pre 3.21", true, false, USER},
        {"generation 1, common folder", &GEN1_KEY, "GIV: pre 3.21", false, true, SYSTEM},
        {"no generation, no folder", NULL, "GIV: not found", false, false, SYSTEM},
    };
    std::string system_programs = programs_folder(SYSTEM);
    std::string user_programs = programs_folder(USER);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.key != NULL)
            add_key(HKEY_LOCAL_MACHINE, *c.key);
        if (c.in_user)
            make_dir(user_programs + "\\VORTA-X");
        if (c.in_common)
            make_dir(system_programs + "\\VORTA-X");
        LogCapture log;
        EXPECT_EQ(GetITYPE("VORTA-X"), c.scope);
        std::vector<std::string> lines = log.lines();
        std::string folder = user_programs + "\\VORTA-X";
        verify_lines(lines_starting(lines, "GIV: "), {c.generation_line});
        verify_lines(lines_starting(lines, "  > "),
                     {"  > GetITYPE", "  > GetISVersion", "  > isExistGroup(1, VORTA-X)"});
        verify_lines(lines_starting(lines, "iEG: "),
                     {c.in_user ? "iEG: success to find dir(" + folder + ")"
                                : "iEG: fail to find dir(" + folder + "), error code = 0x2"});
        // The probe resolves the Programs-folder cache for the rest of the run.
        verify_lines(lines_starting(lines, "gAFL: "), {"gAFL: SYSTEM, loc: " + system_programs,
                                                       "gAFL: USER,   loc: " + user_programs});
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.scope == USER ? "GIT: type is USER" : "GIT: type is SYSTEM");
        EXPECT_EQ(g_state.programsFirstCall, 0);
        clean_registry();
        remove_product_folders();
        reset_caches();
    }
}

// The entry decides the scope before it reads the options.
TEST_F(Scope, EntryProbesTheScopeBeforeTheOptions) {
    struct Case {
        const char* name;
        const char* windows_version;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"Windows 98",
         "win98",
         {"  > GetITYPE", "GIT: type is SYSTEM", "ignore unknown option(-is)"}},
        {"NT line",
         "",
         {"  > GetITYPE", "  > GetISVersion", open_line(0, HKLM, GEN3_KEY), "GIV: after 4.00",
          "0 = MyRegCloseKey(*)", open_line(2, HKCU, USER_IS_KEY), "GIT: type is SYSTEM",
          "ignore unknown option(-is)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        add_key(HKEY_LOCAL_MACHINE, GEN3_KEY); // never asked for on Windows 98
        RunOptions options;
        options.windows_version = c.windows_version;
        options.args = {"-is"};
        options.answers = {IDCANCEL};
        RunResult run = run_program(options);
        EXPECT_EQ(run.exit_code, 0u);
        // Then only the confirmation, cancelled.
        std::vector<std::string> expected = c.expected;
        for (const std::string& line : expected_box_lines(CONFIRM, false, "", IDCANCEL, false))
            expected.push_back(line);
        verify_lines(ended_run(run.log), expected);
        ASSERT_EQ(run.boxes.size(), 1u) << describe_boxes(run.boxes);
        EXPECT_EQ(run.boxes[0].caption, "VORTA-X Uninstaller");
        remove_tree(run.temp_dir);
        clean_registry();
    }
}

} // namespace

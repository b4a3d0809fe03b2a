// The command-line options, the platform family, and what the entry does before them.
#include "app/state.h"

#include "install.h"
#include "startmenu.h"
#include "wintest.h"

#include <algorithm>

using namespace wintest;

namespace {

struct Flags {
    int silent, save, isMode;
};

Flags parse(std::vector<std::string> arguments) {
    g_state.silent = g_state.save = g_state.isMode = 0;
    arguments.insert(arguments.begin(), "vxwipe.exe");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(&argument[0]);
    ParseOptions((int)argv.size(), argv.data());
    return Flags{g_state.silent, g_state.save, g_state.isMode};
}

size_t index_of(const std::vector<std::string>& log, const std::string& line) {
    return std::find(log.begin(), log.end(), line) - log.begin();
}

// No installation: the runs here find nothing of the product, whatever ran before, and
// so take it for an installation for all users.
class Options : public testing::Test {
  protected:
    void SetUp() override {
        remove_product_keys();
        remove_product_folders();
    }
};

} // namespace

TEST_F(Options, EachOptionSetsItsFlagAndTheLaterOneWins) {
    struct Case {
        std::vector<std::string> arguments;
        Flags expected;
    };
    const Case cases[] = {
        {{}, {0, 0, 0}},
        {{"-silent"}, {1, 0, 0}},
        {{"-save"}, {0, 1, 0}},
        {{"-IS"}, {0, 0, 1}},
        {{"-silent", "-nosilent"}, {0, 0, 0}},
        {{"-nosilent", "-silent"}, {1, 0, 0}},
        {{"-nosave", "-save"}, {0, 1, 0}},
        {{"-save", "-nosave"}, {0, 0, 0}},
        {{"-silent", "-save", "-IS"}, {1, 1, 1}},
        {{"-IS", "-nosilent", "-nosave"}, {0, 0, 1}},
        // Exact and case-sensitive: none of these is an option.
        {{"-is", "-Silent", "/silent", "silent", "-silent ", "-saves", ""}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        std::string trace;
        for (const std::string& argument : c.arguments)
            trace += "[" + argument + "]";
        SCOPED_TRACE(trace);
        Flags flags = parse(c.arguments);
        EXPECT_EQ(c.expected.silent, flags.silent);
        EXPECT_EQ(c.expected.save, flags.save);
        EXPECT_EQ(c.expected.isMode, flags.isMode);
    }
    parse({});
}

TEST_F(Options, AnUnknownArgumentIsLoggedAndIgnored) {
    LogCapture capture;
    parse({"-is", "-silent", "two words", "-SAVE"});
    std::vector<std::string> expected = {
        "ignore unknown option(-is)",
        "ignore unknown option(two words)",
        "ignore unknown option(-SAVE)",
    };
    EXPECT_EQ(expected, capture.lines());
    EXPECT_EQ(1, g_state.silent);
    EXPECT_EQ(0, g_state.isMode);
    parse({});
}

// The scope is decided before the options are read: its probe comes first in the log.
TEST_F(Options, TheScopeProbeIsLoggedBeforeTheOptions) {
    RunOptions options;
    options.args = {"-is", "-silent"};
    RunResult run = run_program(options);
    EXPECT_EQ(0u, run.exit_code) << "lower-case -is is no -IS: a normal silent run";
    size_t probe = index_of(run.log, "  > GetITYPE");
    size_t ignored = index_of(run.log, "ignore unknown option(-is)");
    ASSERT_LT(probe, run.log.size());
    ASSERT_LT(ignored, run.log.size());
    EXPECT_LT(probe, ignored);
    EXPECT_LT(index_of(run.log, "GIT: type is SYSTEM"), ignored);
    remove_tree(run.temp_dir);
}

TEST_F(Options, TheLastOfSilentAndNosilentDecidesWhetherBoxesShow) {
    RunOptions options;
    options.args = {"-silent", "-nosilent"};
    options.answers = {IDCANCEL};
    RunResult asking = run_program(options);
    ASSERT_EQ(1u, asking.boxes.size()) << describe_boxes(asking.boxes);
    EXPECT_EQ("VORTA-X Uninstaller", asking.boxes[0].caption);
    EXPECT_EQ(0u, asking.exit_code);
    remove_tree(asking.temp_dir);

    options.args = {"-nosilent", "-silent"};
    options.answers = {};
    RunResult silent = run_program(options);
    EXPECT_TRUE(silent.boxes.empty()) << describe_boxes(silent.boxes);
    EXPECT_EQ(0u, silent.exit_code);
    remove_tree(silent.temp_dir);
}

TEST(Platform, IsWin9xAsksThePlatformOnceAndFlagsTheWindows9xFamily) {
    struct Case {
        const char* version;
        const char* expected;
    };
    const Case cases[] = {
        {"win98", "IsWin9x 192 192 192 GetVersion 1"},
        {"win95", "IsWin9x 192 192 192 GetVersion 1"},
        {"", "IsWin9x 0 0 0 GetVersion 1"},
        {"winxp", "IsWin9x 0 0 0 GetVersion 1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("version ") + c.version);
        RunOptions options;
        options.program = "platform_probe.exe";
        options.windows_version = c.version;
        RunResult run = run_program(options);
        EXPECT_EQ(0u, run.exit_code);
        std::vector<std::string> output = split_lines(run.output);
        EXPECT_EQ(std::vector<std::string>{c.expected}, output);
        remove_tree(run.temp_dir);
    }
    set_windows_version("platform_probe.exe", "");
}

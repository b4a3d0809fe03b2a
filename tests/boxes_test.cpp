// What the user sees of the program: its boxes, pressed through the box driver.
#include "wintest.h"

using namespace wintest;

namespace {

const char CONFIRMATION[] = "This uninstaller will remove VORTA-X from your computer.\n"
                            "Click OK to uninstall the product.";
// -IS mode without the installer's "UninstallString.ORIG" value ends in a fatal error.
const char FATAL_MESSAGE[] = "fail to uninstal inforamtion";

bool starts_with(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

} // namespace

TEST(Boxes, NoBoxUnderSilent) {
    RunOptions options;
    options.args = {"-silent"};
    RunResult run = run_program(options);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(0u, run.exit_code);
    ASSERT_FALSE(run.log.empty());
    EXPECT_TRUE(starts_with(run.log.back(), "<<< END: "));
    remove_tree(run.temp_dir);
}

TEST(Boxes, CancelAtTheConfirmationEndsTheRunBeforeAnyStep) {
    RunOptions options;
    options.answers = {IDCANCEL};
    RunResult run = run_program(options);
    ASSERT_EQ(1u, run.boxes.size());
    const Box& box = run.boxes[0];
    EXPECT_EQ("VORTA-X Uninstaller", box.caption);
    EXPECT_EQ(CONFIRMATION, box.text);
    EXPECT_EQ((std::vector<std::string>{"OK", "Cancel"}), box.buttons);
    EXPECT_STREQ("none", icon_name(box.icon));
    EXPECT_TRUE(box.wipr_window_hidden) << "the hidden window exists while the box is up";
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_TRUE(banners(run.log).empty());
    ASSERT_FALSE(run.log.empty());
    EXPECT_TRUE(starts_with(run.log.back(), "<<< END: "));
    remove_tree(run.temp_dir);
}

TEST(Boxes, AFatalErrorShowsTheMessageAndEndsWithExitCode1) {
    struct Case {
        bool japanese;
        const char* caption;
        const char* failed;
    };
    const Case cases[] = {
        {false, "Fatal error", "Uninstall is faild."},
        {true, "エラー", "アンインストールできませんでした。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.japanese ? "Japanese" : "English");
        RunOptions options;
        options.args = {"-IS"};
        options.japanese = c.japanese;
        options.answers = {IDOK};
        RunResult run = run_program(options);
        ASSERT_EQ(1u, run.boxes.size());
        const Box& box = run.boxes[0];
        EXPECT_EQ(c.caption, box.caption);
        EXPECT_EQ(std::string(FATAL_MESSAGE) + "\n\n" + c.failed, box.text);
        EXPECT_EQ(std::vector<std::string>{"OK"}, box.buttons);
        EXPECT_STREQ("stop", icon_name(box.icon));
        EXPECT_EQ(1u, run.exit_code);
        ASSERT_FALSE(run.log.empty());
        EXPECT_TRUE(starts_with(run.log.back(), "<<< END: "));
        remove_tree(run.temp_dir);
    }
}

TEST(Boxes, AFatalErrorUnderSilentShowsNothingAndStillEndsWithExitCode1) {
    RunOptions options;
    options.args = {"-IS", "-silent"};
    RunResult run = run_program(options);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(1u, run.exit_code);
    ASSERT_FALSE(run.log.empty());
    EXPECT_TRUE(starts_with(run.log.back(), "<<< END: "));
    remove_tree(run.temp_dir);
}

// The caller's message, a blank line and the failure text while they fit 1024
// characters with the terminator; the failure text alone beyond that.
TEST(Boxes, AFatalMessageTooLongForTheBoxLeavesTheFailureTextAlone) {
    const std::string failed = "Uninstall is faild.";
    const size_t fits = 1024 - failed.size() - 3 - 1; // length + failed + 3 < 1024
    struct Case {
        size_t length;
        bool with_message;
    };
    const Case cases[] = {{fits, true}, {fits + 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE("message of " + std::to_string(c.length) + " characters");
        RunOptions options;
        options.program = "fatal_error.exe";
        options.args = {std::to_string(c.length)};
        options.answers = {IDOK};
        RunResult run = run_program(options);
        ASSERT_EQ(1u, run.boxes.size());
        EXPECT_EQ(c.with_message ? std::string(c.length, 'm') + "\n\n" + failed : failed,
                  run.boxes[0].text);
        EXPECT_EQ("Fatal error", run.boxes[0].caption);
        EXPECT_EQ(1u, run.exit_code);
        ASSERT_FALSE(run.log.empty());
        EXPECT_TRUE(starts_with(run.log.back(), "<<< END: "));
        remove_tree(run.temp_dir);
    }
}

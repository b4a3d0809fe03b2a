// What the user sees of the program: its boxes, pressed through the box driver.
#include "boxes.h"
#include "install.h"
#include "startmenu.h"
#include "wintest.h"

using namespace wintest;

namespace {

// No installation: every run here finds nothing of the product, whatever ran before.
class Boxes : public testing::Test {
  protected:
    void SetUp() override {
        remove_product_keys();
        remove_product_folders();
    }
};

} // namespace

// Under -silent no box shows, neither in a completed run nor in one that ends in a fatal
// error (-IS mode without the installer's "UninstallString.ORIG" value), which still
// ends with exit code 1.
TEST_F(Boxes, NoBoxUnderSilentWhetherTheRunCompletesOrFails) {
    struct Case {
        std::vector<std::string> args;
        DWORD exit_code;
    };
    const Case cases[] = {{{"-silent"}, 0}, {{"-IS", "-silent"}, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        RunOptions options;
        options.args = c.args;
        RunResult run = run_program(options);
        EXPECT_TRUE(run.boxes.empty()) << describe_boxes(run.boxes);
        EXPECT_EQ(c.exit_code, run.exit_code);
        ended_run(run.log);
        remove_tree(run.temp_dir);
    }
}

TEST_F(Boxes, CancelAtTheConfirmationEndsTheRunBeforeAnyStep) {
    RunOptions options;
    options.answers = {IDCANCEL};
    RunResult run = run_program(options);
    verify_boxes(run.boxes, {CONFIRM});
    if (!run.boxes.empty()) {
        EXPECT_TRUE(run.boxes[0].wipr_window_hidden)
            << "the hidden window exists while the box is up";
    }
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_TRUE(banners(run.log).empty());
    ended_run(run.log);
    remove_tree(run.temp_dir);
}

// -IS mode without the installer's "UninstallString.ORIG" value ends in a fatal error.
TEST_F(Boxes, AFatalErrorShowsTheMessageAndEndsWithExitCode1) {
    for (bool japanese : {false, true}) {
        SCOPED_TRACE(japanese ? "Japanese" : "English");
        RunOptions options;
        options.args = {"-IS"};
        options.japanese = japanese;
        options.answers = {IDOK};
        RunResult run = run_program(options);
        verify_boxes(run.boxes, {FATAL_NO_COMMAND}, japanese);
        EXPECT_EQ(1u, run.exit_code);
        ended_run(run.log);
        remove_tree(run.temp_dir);
    }
}

// The caller's message, a blank line and the failure text while they fit 1024
// characters with the terminator; the failure text alone beyond that.
TEST_F(Boxes, AFatalMessageTooLongForTheBoxLeavesTheFailureTextAlone) {
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
        ASSERT_EQ(1u, run.boxes.size()) << describe_boxes(run.boxes);
        EXPECT_EQ(c.with_message ? std::string(c.length, 'm') + "\n\n" + failed : failed,
                  run.boxes[0].text);
        EXPECT_EQ("Fatal error", run.boxes[0].caption);
        EXPECT_EQ(1u, run.exit_code);
        ended_run(run.log);
        remove_tree(run.temp_dir);
    }
}

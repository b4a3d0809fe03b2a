// The test bench's own checks: the message-box driver reads what a box shows and
// presses what the test asks for.
#include "wintest.h"

#include <gtest/gtest-spi.h>

using namespace wintest;

namespace {

RunResult show_box(UINT type, const std::vector<int>& answers) {
    RunOptions options;
    options.program = "show_box.exe";
    options.args = {std::to_string(type), "Bench caption", "First line\nsecond line"};
    options.answers = answers;
    return run_program(options);
}

} // namespace

TEST(BoxDriver, ReadsCaptionTextButtonsAndIcon) {
    struct Case {
        UINT type;
        int answer;
        std::vector<std::string> buttons;
        Icon icon;
    };
    const Case cases[] = {
        {MB_OK, IDOK, {"OK"}, Icon::None},
        {MB_OKCANCEL, IDCANCEL, {"OK", "Cancel"}, Icon::None},
        {MB_YESNO, IDNO, {"Yes", "No"}, Icon::None},
        {MB_YESNO, IDYES, {"Yes", "No"}, Icon::None},
        {MB_OK | MB_ICONHAND, IDOK, {"OK"}, Icon::Stop},
        {MB_OK | MB_ICONEXCLAMATION, IDOK, {"OK"}, Icon::Exclamation},
        {MB_OK | MB_ICONQUESTION, IDOK, {"OK"}, Icon::Question},
        {MB_OK | MB_ICONASTERISK, IDOK, {"OK"}, Icon::Information},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type));
        RunResult run = show_box(c.type, {c.answer});
        ASSERT_EQ(1u, run.boxes.size()) << describe_boxes(run.boxes);
        const Box& box = run.boxes[0];
        EXPECT_EQ("Bench caption", box.caption);
        EXPECT_EQ("First line\nsecond line", box.text);
        EXPECT_EQ(c.buttons, box.buttons);
        EXPECT_STREQ(icon_name(c.icon), icon_name(box.icon));
        EXPECT_EQ((DWORD)c.answer, run.exit_code);
        EXPECT_FALSE(run.timed_out);
        remove_tree(run.temp_dir);
    }
}

TEST(BoxDriver, ReportsAnUnexpectedBoxAndClosesIt) {
    RunResult run;
    EXPECT_NONFATAL_FAILURE(run = show_box(MB_OKCANCEL, {}),
                            "unexpected box: Bench caption/First line");
    EXPECT_EQ((DWORD)IDCANCEL, run.exit_code);
    EXPECT_FALSE(run.timed_out);
    remove_tree(run.temp_dir);
}

TEST(BoxDriver, ReportsAMissingBox) {
    RunOptions options;
    options.program = "platform_probe.exe";
    options.answers = {IDOK};
    RunResult run;
    EXPECT_NONFATAL_FAILURE(run = run_program(options), "missing box");
    EXPECT_EQ(0u, run.exit_code);
    remove_tree(run.temp_dir);
}

TEST(Prefix, TheProgramsFoldersOfBothScopesExist) {
    const std::string programs = "\\Microsoft\\Windows\\Start Menu\\Programs";
    std::string common = programs_folder(0);
    std::string user = programs_folder(1);
    EXPECT_EQ("C:\\ProgramData" + programs, common);
    EXPECT_EQ(programs, user.substr(user.size() - std::min(user.size(), programs.size())));
    EXPECT_NE(common, user);
    verify_dir_present(common);
    verify_dir_present(user);
}

TEST(Prefix, AChildGetsItsTemporaryDirectoryEnvironmentAndLocale) {
    for (bool japanese : {false, true}) {
        SCOPED_TRACE(japanese ? "Japanese" : "English");
        std::string current = make_temp_dir("cwd");
        RunOptions options;
        options.program = "print_env.exe";
        options.args = {"TMP", "TEMP", "WINTEST_MARK", "WINTEST_UNSET", "WINEDLLOVERRIDES"};
        options.japanese = japanese;
        options.current_dir = current;
        options.env = {{"WINTEST_MARK", "set"}};
        RunResult run = run_program(options);
        EXPECT_EQ(0u, run.exit_code);
        // The run's DLL overrides (no menu builder) reach every child, Japanese ones too.
        char overrides[1024] = "";
        GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
        std::vector<std::string> expected = {
            "TMP=" + run.temp_dir,
            "TEMP=" + run.temp_dir,
            "WINTEST_MARK=set",
            "WINTEST_UNSET",
            std::string("WINEDLLOVERRIDES=") + overrides,
            "cwd=" + current,
            japanese ? "acp=932" : "acp=1252",
        };
        EXPECT_EQ(expected, split_lines(run.output));
        verify_dir_present(run.temp_dir);
        remove_tree(run.temp_dir);
        remove_tree(current);
    }
}

#include "log/log.h"

#include "install.h"
#include "snapshot.h"
#include "startmenu.h"
#include "wintest.h"

#include <string.h>

using namespace wintest;

namespace {

const char SEPARATOR[] = "----------------------------------------";

// "Thu Dec 10 04:03:46 2026": fixed 24-character layout, two-digit day.
bool is_timestamp(const std::string& text) {
    static const char* const weekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (text.size() != 24)
        return false;
    bool weekday = false, month = false;
    for (const char* name : weekdays)
        weekday = weekday || text.compare(0, 3, name) == 0;
    for (const char* name : months)
        month = month || text.compare(4, 3, name) == 0;
    const char* layout = "www mmm 99 99:99:99 9999";
    for (size_t i = 7; i < 24; i++) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (layout[i] == '9' ? !digit : text[i] != layout[i])
            return false;
    }
    return weekday && month && text[3] == ' ';
}

// No installation: the runs here find nothing of the product, whatever ran before.
class Log : public testing::Test {
  protected:
    void SetUp() override {
        remove_product_keys();
        remove_product_folders();
    }
};

} // namespace

TEST_F(Log, TwoRunsAppendTheirTracesToOneFile) {
    std::string temp = make_temp_dir("log");
    RunOptions options;
    options.args = {"-silent"};
    options.temp_dir = temp;
    RunResult first = run_program(options);
    RunResult second = run_program(options);
    EXPECT_EQ(0u, first.exit_code);
    EXPECT_EQ(0u, second.exit_code);

    std::string content = read_file(temp + "\\vxwipe.log");
    // Every line feed reaches the disk as CR LF.
    for (size_t i = 0; i < content.size(); i++) {
        if (content[i] == '\n') {
            ASSERT_TRUE(i > 0 && content[i - 1] == '\r') << "bare line feed at byte " << i;
        }
    }

    std::vector<std::string> lines = split_lines(content);
    std::vector<size_t> starts;
    for (size_t i = 0; i < lines.size(); i++)
        if (starts_with(lines[i], RUN_START))
            starts.push_back(i);
    ASSERT_EQ(2u, starts.size());
    EXPECT_EQ(0u, starts[0] - 2) << "the file begins with the first trace";
    for (size_t start : starts) {
        ASSERT_GE(start, 2u);
        EXPECT_EQ("", lines[start - 2]);
        EXPECT_EQ(SEPARATOR, lines[start - 1]);
        EXPECT_TRUE(is_timestamp(lines[start].substr(11))) << lines[start];
    }
    std::vector<size_t> ends;
    for (size_t i = 0; i < lines.size(); i++) {
        if (starts_with(lines[i], RUN_END)) {
            ends.push_back(i);
            EXPECT_TRUE(is_timestamp(lines[i].substr(9))) << lines[i];
        }
    }
    ASSERT_EQ(2u, ends.size());
    EXPECT_EQ(starts[1] - 3, ends[0]) << "the second trace follows the first END line";
    EXPECT_EQ(lines.size() - 1, ends[1]) << "the file ends with the second END line";
    remove_tree(temp);
}

TEST_F(Log, AppendBackslashAddsOneOnlyWhereItFits) {
    struct Case {
        const char* text;
        size_t capacity;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\dir", 8, "C:\\dir\\"}, // room for the backslash and the terminator
        {"C:\\dir\\", 16, "C:\\dir\\"},
        {"", 16, ""},
        {"C:\\dir", 7, "C:\\dir"}, // one character of room only
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " in " + std::to_string(c.capacity));
        char buffer[32];
        memset(buffer, '#', sizeof buffer);
        strcpy(buffer, c.text);
        AppendBackslash(buffer, c.capacity);
        EXPECT_STREQ(c.expected, buffer);
        EXPECT_EQ('#', buffer[c.capacity]) << "nothing written past the capacity";
    }
    AppendBackslash(NULL, 16);
}

TEST_F(Log, LinesWrittenInProcessAreReadBack) {
    LogCapture capture;
    LogMessage("  > Step(%d, %s)\n", 3, "name");
    LogVerbose("never written\n");
    LogMessage("two\nlines\n");
    std::vector<std::string> expected = {"  > Step(3, name)", "two", "lines"};
    EXPECT_EQ(expected, capture.lines());
}

// A log that cannot be opened costs the run nothing but its trace. A temporary path
// too long for the name sends the log to the current directory; a temporary directory
// that cannot be written to means no log at all.
TEST_F(Log, ARunWithoutAWritableTemporaryDirectoryStillEnds) {
    std::string base = make_temp_dir("nolog");
    make_file(base + "\\plain");
    std::string long_dir = base + "\\" + std::string(255 - base.size() - 1, 'd');
    make_dir(long_dir);
    struct Case {
        std::string temp;
        bool log_in_current_dir;
    };
    const Case cases[] = {
        {base + "\\plain\\sub", false}, // its parent is a plain file
        {long_dir, true},               // 255 characters
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.temp);
        std::string current = make_temp_dir("cwd");
        RunOptions options;
        options.temp_dir = c.temp;
        options.current_dir = current;
        // Confirm, keep the settings, hear that no install directory was found, and the end.
        options.answers = {IDOK, IDNO, IDOK, IDOK};
        RunResult run = run_program(options);
        EXPECT_EQ(0u, run.exit_code);
        ASSERT_EQ(4u, run.boxes.size()) << describe_boxes(run.boxes);
        EXPECT_EQ("Uninstall has completed successfully.\nSome directory or shortcuts may be "
                  "remaind.\nPlease remove these files or shortcuts using by Explorer.",
                  run.boxes[3].text);
        EXPECT_FALSE(run.log_exists);
        if (c.log_in_current_dir) {
            std::vector<std::string> log = split_lines(read_file(current + "\\vxwipe.log"));
            ASSERT_GE(log.size(), 4u);
            EXPECT_TRUE(starts_with(log[2], RUN_START)) << log[2];
            EXPECT_TRUE(starts_with(log.back(), RUN_END)) << log.back();
        } else {
            verify_file_missing(current + "\\vxwipe.log");
            EXPECT_EQ("InitLog: fail to open log file\r\n", run.output);
        }
        remove_tree(current);
    }
    remove_tree(base);
}

// A link planted at the log's name, by someone who can write to the temporary folder of a
// run with more rights, never gets the trace: the file behind it stays as it was, and the
// trace is in a file of the run's own beside it.
TEST_F(Log, NeverWritesThroughALinkPlantedAtItsName) {
    for (bool symbolic : {false, true}) {
        SCOPED_TRACE(symbolic ? "symbolic link" : "hard link");
        std::string temp = make_temp_dir("loglink");
        std::string victim_dir = make_temp_dir("victim");
        std::string victim = victim_dir + "\\system.ini";
        std::string log = temp + "\\" + LOG_FILE_NAME;
        make_file(victim, "[boot]\r\n");
        if (symbolic)
            ASSERT_TRUE(run_unix("ln -s '" + unix_path(victim) + "' '" + unix_path(temp) + "/" +
                                     LOG_FILE_NAME + "'",
                                 "the symbolic link " + log));
        else
            ASSERT_TRUE(CreateHardLinkA(log.c_str(), victim.c_str(), NULL)) << GetLastError();
        Snapshot before = take_snapshot();

        RunOptions options;
        options.args = {"-silent"};
        options.temp_dir = temp;
        RunResult run = run_program(options);
        Snapshot after = take_snapshot();

        EXPECT_EQ(0u, run.exit_code);
        EXPECT_EQ("[boot]\r\n", read_file(victim));
        std::vector<std::string> own = files_matching(temp, "vxwipe-*.log");
        ASSERT_EQ(1u, own.size());
        std::string own_path = temp + "\\" + own[0];
        std::vector<std::string> lines = ended_run(split_lines(read_file(own_path)));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ("InitLog: vxwipe.log is a link, no plain file or not writable: this run's "
                  "trace is in " +
                      own_path,
                  lines[0]);
        verify_only_changed(before, after, {own_path});
        remove_tree(temp);
        remove_tree(victim_dir);
    }
}

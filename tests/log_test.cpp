#include "log/log.h"

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

} // namespace

TEST(Log, TwoRunsAppendTheirTracesToOneFile) {
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
        if (lines[i].rfind(">>> START: ", 0) == 0)
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
        if (lines[i].rfind("<<< END: ", 0) == 0) {
            ends.push_back(i);
            EXPECT_TRUE(is_timestamp(lines[i].substr(9))) << lines[i];
        }
    }
    ASSERT_EQ(2u, ends.size());
    EXPECT_EQ(starts[1] - 3, ends[0]) << "the second trace follows the first END line";
    EXPECT_EQ(lines.size() - 1, ends[1]) << "the file ends with the second END line";
    remove_tree(temp);
}

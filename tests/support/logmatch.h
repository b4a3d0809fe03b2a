// Comparing log lines with expected lines in which handle values vary.
#pragma once

#include "wintest.h"

#include <string>
#include <vector>

namespace wintest {

// True when line equals pattern, where each "*" in pattern stands for one or more
// lower-case hexadecimal digits (a handle value as the log prints it).
bool line_matches(const std::string& pattern, const std::string& line);

// Fails, listing both sides, unless lines and patterns match one for one.
void verify_lines_at(Where, const std::vector<std::string>& lines,
                     const std::vector<std::string>& patterns);

// The lines of a whole log file that the last run wrote between its START and END
// lines; *ended tells whether that run's END line was found.
std::vector<std::string> last_run(const std::vector<std::string>& log, bool* ended = nullptr);

// The lines that begin with prefix, in order.
std::vector<std::string> lines_starting(const std::vector<std::string>& lines,
                                        const std::string& prefix);

} // namespace wintest

#define verify_lines(...) wintest::verify_lines_at(WT_HERE, __VA_ARGS__)

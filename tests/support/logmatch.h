// Comparing log lines with expected lines in which handle values vary.
#pragma once

#include "wintest.h"

#include <string>
#include <vector>

namespace wintest {

// Expected lines are patterns: "*" stands for one or more lower-case hexadecimal digits
// (a handle value as the log prints it), and "{A}", "{B}", ... likewise, except that a
// letter stands for the same value wherever it recurs in the lines compared together.
bool line_matches(const std::string& pattern, const std::string& line);

// Fails, listing both sides, unless lines and patterns match one for one.
void verify_lines_at(Where, const std::vector<std::string>& lines,
                     const std::vector<std::string>& patterns);

// Fails, listing the lines, unless every pattern matches a line, in this order, with
// any other lines between them.
void verify_lines_in_order_at(Where, const std::vector<std::string>& lines,
                              const std::vector<std::string>& patterns);

// The lines that begin with prefix, in order.
std::vector<std::string> lines_starting(const std::vector<std::string>& lines,
                                        const std::string& prefix);

} // namespace wintest

#define verify_lines(...) wintest::verify_lines_at(WT_HERE, __VA_ARGS__)
#define verify_lines_in_order(...) wintest::verify_lines_in_order_at(WT_HERE, __VA_ARGS__)

#include "logmatch.h"

#include <sstream>

namespace wintest {

static bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

bool line_matches(const std::string& pattern, const std::string& line) {
    size_t p = 0, l = 0;
    while (p < pattern.size()) {
        if (pattern[p] == '*') {
            size_t start = l;
            while (l < line.size() && is_hex_digit(line[l]))
                l++;
            if (l == start)
                return false;
            p++;
        } else {
            if (l >= line.size() || line[l] != pattern[p])
                return false;
            p++;
            l++;
        }
    }
    return l == line.size();
}

static std::string listing(const std::vector<std::string>& lines) {
    std::ostringstream text;
    for (size_t i = 0; i < lines.size(); i++)
        text << "  [" << i << "] " << lines[i] << "\n";
    return text.str();
}

void verify_lines_at(Where where, const std::vector<std::string>& lines,
                     const std::vector<std::string>& patterns) {
    bool same = lines.size() == patterns.size();
    for (size_t i = 0; same && i < lines.size(); i++)
        same = line_matches(patterns[i], lines[i]);
    if (!same)
        ADD_FAILURE_AT(where.file, where.line) << "log lines differ\nexpected:\n"
                                               << listing(patterns) << "actual:\n"
                                               << listing(lines);
}

std::vector<std::string> last_run(const std::vector<std::string>& log, bool* ended) {
    std::vector<std::string> inner;
    bool found_end = false;
    for (const std::string& line : log) {
        if (line.rfind(">>> START: ", 0) == 0) {
            inner.clear();
            found_end = false;
        } else if (line.rfind("<<< END: ", 0) == 0) {
            found_end = true;
        } else if (!found_end) {
            inner.push_back(line);
        }
    }
    if (ended != nullptr)
        *ended = found_end;
    return inner;
}

std::vector<std::string> lines_starting(const std::vector<std::string>& lines,
                                        const std::string& prefix) {
    std::vector<std::string> result;
    for (const std::string& line : lines)
        if (line.rfind(prefix, 0) == 0)
            result.push_back(line);
    return result;
}

} // namespace wintest

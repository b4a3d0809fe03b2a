#include "logmatch.h"

#include <map>
#include <sstream>

namespace wintest {

namespace {

typedef std::map<char, std::string> Handles; // the value each letter stood for so far

bool is_hex_digit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

bool is_named_handle(const std::string& pattern, size_t at) {
    return pattern[at] == '{' && at + 2 < pattern.size() && pattern[at + 2] == '}' &&
           pattern[at + 1] >= 'A' && pattern[at + 1] <= 'Z';
}

bool matches(const std::string& pattern, const std::string& line, Handles& handles) {
    size_t p = 0, l = 0;
    while (p < pattern.size()) {
        bool named = is_named_handle(pattern, p);
        if (named || pattern[p] == '*') {
            size_t start = l;
            while (l < line.size() && is_hex_digit(line[l]))
                l++;
            if (l == start)
                return false;
            if (named) {
                std::string value = line.substr(start, l - start);
                if (handles.emplace(pattern[p + 1], value).first->second != value)
                    return false;
            }
            p += named ? 3 : 1;
        } else {
            if (l >= line.size() || line[l] != pattern[p])
                return false;
            p++;
            l++;
        }
    }
    return l == line.size();
}

// A line that matched may still fail a later one: the letters it named are kept only
// when the whole comparison succeeds line by line.
bool matches_keeping(const std::string& pattern, const std::string& line, Handles& handles) {
    Handles trial = handles;
    if (!matches(pattern, line, trial))
        return false;
    handles = trial;
    return true;
}

// Numbered and fenced, so that blanks at either end show; a long log in part.
std::string listing(const std::vector<std::string>& lines) {
    const size_t MOST_LINES = 200, MOST_CHARACTERS = 300;
    std::ostringstream text;
    for (size_t i = 0; i < lines.size() && i < MOST_LINES; i++)
        text << "  [" << i << "] |" << lines[i].substr(0, MOST_CHARACTERS) << "|\n";
    if (lines.size() > MOST_LINES)
        text << "  ... and " << lines.size() - MOST_LINES << " more lines\n";
    return text.str();
}

} // namespace

bool line_matches(const std::string& pattern, const std::string& line) {
    Handles handles;
    return matches(pattern, line, handles);
}

void verify_lines_at(Where where, const std::vector<std::string>& lines,
                     const std::vector<std::string>& patterns) {
    Handles handles;
    bool same = lines.size() == patterns.size();
    for (size_t i = 0; same && i < lines.size(); i++)
        same = matches_keeping(patterns[i], lines[i], handles);
    if (!same)
        ADD_FAILURE_AT(where.file, where.line) << "log lines differ\nexpected:\n"
                                               << listing(patterns) << "actual:\n"
                                               << listing(lines);
}

void verify_lines_in_order_at(Where where, const std::vector<std::string>& lines,
                              const std::vector<std::string>& patterns) {
    Handles handles;
    size_t next = 0;
    for (const std::string& pattern : patterns) {
        while (next < lines.size() && !matches_keeping(pattern, lines[next], handles))
            next++;
        if (next == lines.size()) {
            ADD_FAILURE_AT(where.file, where.line)
                << "log line missing (or out of order): |" << pattern.substr(0, 300)
                << "|\nexpected, in this order:\n"
                << listing(patterns) << "actual:\n"
                << listing(lines);
            return;
        }
        next++;
    }
}

std::vector<std::string> lines_starting(const std::vector<std::string>& lines,
                                        const std::string& prefix) {
    std::vector<std::string> result;
    for (const std::string& line : lines)
        if (starts_with(line, prefix))
            result.push_back(line);
    return result;
}

} // namespace wintest

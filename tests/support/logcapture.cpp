#include "wintest.h"

#include "helpers.h"

#include "log/log.h"

namespace wintest {

// ---- the log, in this process ----------------------------------------------

namespace {
struct SavedVariable {
    bool present;
    std::string value;
};
SavedVariable saved_tmp, saved_temp;

void restore(const char* name, const SavedVariable& saved) {
    SetEnvironmentVariableA(name, saved.present ? saved.value.c_str() : NULL);
}
} // namespace

LogCapture::LogCapture(Where where) {
    saved_tmp.value = get_env("TMP", &saved_tmp.present);
    saved_temp.value = get_env("TEMP", &saved_temp.present);
    dir_ = make_temp_dir_at(where, "log");
    SetEnvironmentVariableA("TMP", dir_.c_str());
    SetEnvironmentVariableA("TEMP", dir_.c_str());
    path_ = dir_ + "\\" + LOG_FILE_NAME;
    if (!InitLog(LOG_FILE_NAME))
        ADD_FAILURE_AT(where.file, where.line) << "InitLog failed in " << dir_;
}

// EndLog does nothing once the log is closed: a test may have ended it already.
LogCapture::~LogCapture() {
    EndLog();
    restore("TMP", saved_tmp);
    restore("TEMP", saved_temp);
    remove_tree(dir_);
}

std::vector<std::string> LogCapture::lines() {
    EndLog();
    return last_run(split_lines(read_file(path_)));
}

std::vector<std::string> last_run(const std::vector<std::string>& log, bool* ended) {
    std::vector<std::string> inner;
    bool found_end = false;
    for (const std::string& line : log) {
        if (starts_with(line, RUN_START)) {
            inner.clear();
            found_end = false;
        } else if (starts_with(line, RUN_END)) {
            found_end = true;
        } else if (!found_end) {
            inner.push_back(line);
        }
    }
    if (ended != nullptr)
        *ended = found_end;
    return inner;
}

std::vector<std::string> ended_run_at(Where where, const std::vector<std::string>& log) {
    bool ended = false;
    std::vector<std::string> lines = last_run(log, &ended);
    if (!ended)
        ADD_FAILURE_AT(where.file, where.line)
            << "the log has no END line" << (log.empty() ? " (it is empty)" : "");
    return lines;
}

std::vector<std::string> banners(const std::vector<std::string>& log) {
    std::vector<std::string> result;
    for (const std::string& line : log)
        if (line.rfind("===", 0) == 0)
            result.push_back(line);
    return result;
}

} // namespace wintest

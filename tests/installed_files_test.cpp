// Removal of the installed files from installations laid into the Wine file system.
#include "removal/installed_files.h"

#include "app/state.h"
#include "removal/manifest.h"

#include "boxes.h"
#include "install.h"
#include "logmatch.h"
#include "product.h"
#include "snapshot.h"
#include "wintest.h"

#include <functional>

using namespace wintest;

namespace {

const char TEMPLATE[] = "%s directory can not be removed.";
const char SENTINEL[] = "no warning";

std::string fill(const std::string& pattern, const std::string& argument) {
    std::string text = pattern;
    text.replace(text.find("%s"), 2, argument);
    return text;
}

class InstalledFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        // The string tables live in the product's executable.
        resources_ =
            LoadLibraryExA(binary_path("vxwipe.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(resources_ != NULL);
        g_state.hInstance = resources_;
        g_state.silent = 1;
        g_state.errorCount = 0;
        root_ = make_temp_dir("files");
        dir_ = root_ + "\\VORTA-X";
    }
    void TearDown() override {
        remove_tree(root_);
        g_state.hInstance = NULL;
        g_state.silent = 0;
        g_state.errorCount = 0;
        FreeLibrary(resources_);
    }
    // The text of the warning when there was one, else the sentinel.
    std::string run(const std::string& installDir, std::vector<std::string>* lines) {
        strcpy(g_state.messageText, SENTINEL);
        strcpy(g_state.secondText, SENTINEL);
        LogCapture log;
        RemoveInstalledFiles(installDir.c_str());
        *lines = log.lines();
        if (strcmp(g_state.secondText, SENTINEL) == 0)
            return SENTINEL;
        // An unfilled template is shown from the buffer it was loaded into.
        return strcmp(g_state.messageText, SENTINEL) == 0 ? g_state.secondText
                                                          : g_state.messageText;
    }
    HMODULE resources_ = NULL;
    std::string root_;
    std::string dir_;
};

TEST_F(InstalledFiles, CompleteInstallationGoesWithoutATrace) {
    make_install(dir_);
    std::vector<std::string> lines;
    EXPECT_EQ(SENTINEL, run(dir_, &lines));
    EXPECT_EQ((std::vector<std::string>{"=== RemoveInstalledFiles ===", "  remain files: 0",
                                        "  remain dirs: 0"}),
              lines);
    EXPECT_EQ(0, g_state.errorCount);
    verify_dir_missing(dir_);
    verify_dir_present(root_);
}

TEST_F(InstalledFiles, WhatRemainsIsLoggedCountedAndReported) {
    struct Row {
        const char* title;
        std::function<void(const std::string& dir)> prepare;
        std::function<std::string(const std::string& dir)> argument; // the install directory given
        std::function<std::vector<std::string>(const std::string& given)> lines;
        bool warned;
        std::function<void(const std::string& dir)> check;
    };
    const std::string user_file = "misc\\my notes.txt";
    HANDLE held = INVALID_HANDLE_VALUE;
    auto same = [](const std::string& dir) { return dir; };
    const Row rows[] = {
        {"a file of the user's in misc",
         [&](const std::string& dir) {
             make_install(dir);
             make_file(dir + "\\" + user_file);
         },
         same,
         [](const std::string& given) {
             return std::vector<std::string>{"=== RemoveInstalledFiles ===", "  remain files: 0",
                                             "  cannot remove dir: " + given + "\\misc",
                                             "  remain dirs: 1"};
         },
         true,
         [&](const std::string& dir) {
             verify_file_present(dir + "\\" + user_file);
             verify_dir_present(dir);
             verify_file_missing(dir + "\\misc\\fonts.dir");
             verify_dir_missing(dir + "\\100dpi");
             verify_file_missing(dir + "\\vortax.exe");
         }},
        {"a manifest file held open without sharing",
         [&](const std::string& dir) {
             make_install(dir);
             held = CreateFileA((dir + "\\type1\\fonts.dir").c_str(), GENERIC_READ, 0, NULL,
                                OPEN_EXISTING, 0, NULL);
             ASSERT_NE(INVALID_HANDLE_VALUE, held);
         },
         same,
         [](const std::string& given) {
             return std::vector<std::string>{
                 "=== RemoveInstalledFiles ===",
                 "  cannot remove file: " + given + "\\type1\\fonts.dir", "  remain files: 1",
                 "  cannot remove dir: " + given + "\\type1", "  remain dirs: 1"};
         },
         true,
         [&](const std::string& dir) {
             CloseHandle(held);
             verify_file_present(dir + "\\type1\\fonts.dir");
             verify_file_missing(dir + "\\type1\\fonts.sca");
         }},
        {"an install directory that does not exist", [](const std::string&) {}, same,
         [](const std::string&) {
             return std::vector<std::string>{"=== RemoveInstalledFiles ===", "  remain files: 0",
                                             "  remain dirs: 0"};
         },
         true, [](const std::string&) {}},
        {"a final backslash", [](const std::string& dir) { make_install(dir); },
         [](const std::string& dir) { return dir + "\\"; },
         [](const std::string&) {
             return std::vector<std::string>{"=== RemoveInstalledFiles ===", "  remain files: 0",
                                             "  remain dirs: 0"};
         },
         false, [](const std::string& dir) { verify_dir_missing(dir); }},
        {"a final backslash and a file of the user's",
         [&](const std::string& dir) {
             make_install(dir);
             make_file(dir + "\\" + user_file);
         },
         [](const std::string& dir) { return dir + "\\"; },
         [](const std::string& given) {
             // The backslash is doubled at the join.
             return std::vector<std::string>{"=== RemoveInstalledFiles ===", "  remain files: 0",
                                             "  cannot remove dir: " + given + "\\misc",
                                             "  remain dirs: 1"};
         },
         true, [&](const std::string& dir) { verify_file_present(dir + "\\" + user_file); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        remove_tree(dir_);
        row.prepare(dir_);
        std::string given = row.argument(dir_);
        g_state.errorCount = 0;
        std::vector<std::string> lines;
        std::string warning = run(given, &lines);
        // The warning, silent here, is in the log all the same.
        std::vector<std::string> expected = row.lines(given);
        if (row.warned)
            for (const std::string& line :
                 expected_box_lines(WARN_DIR_STAYS, false, given, IDOK, true))
                expected.push_back(line);
        EXPECT_EQ(expected, lines);
        EXPECT_EQ(row.warned ? fill(TEMPLATE, given) : SENTINEL, warning);
        EXPECT_EQ(row.warned ? 1 : 0, g_state.errorCount);
        row.check(dir_);
    }
}

// Paths longer than any the platform takes: every entry is refused, and at the
// boundary the warning text no longer fits its buffer.
TEST_F(InstalledFiles, OverlongInstallDirectory) {
    struct Row {
        size_t length;
        bool filled;
    };
    const Row rows[] = {{990, true}, {991, false}, {1000, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.length);
        std::string given = root_ + "\\";
        given += std::string(row.length - given.size(), 'x');
        g_state.errorCount = 0;
        std::vector<std::string> lines;
        std::string warning = run(given, &lines);
        EXPECT_EQ(row.filled ? fill(TEMPLATE, given) : std::string(TEMPLATE), warning);
        EXPECT_EQ(1, g_state.errorCount);
        std::vector<std::string> box = expected_box_lines(
            row.filled ? WARN_DIR_STAYS : WARN_DIR_UNFILLED, false, given, IDOK, true);
        ASSERT_EQ((size_t)(1 + INSTALLED_FILE_COUNT + 1 + INSTALLED_DIR_COUNT + 1) + box.size(),
                  lines.size());
        EXPECT_EQ("=== RemoveInstalledFiles ===", lines[0]);
        size_t at = 1;
        for (const std::string& entry : manifest_files())
            EXPECT_EQ(std::string("  cannot get attribute of file: ") + given + "\\" + entry +
                          ", 206",
                      lines[at++]);
        EXPECT_EQ("  remain files: 616", lines[at++]);
        for (const std::string& entry : manifest_dirs())
            EXPECT_EQ(std::string("  cannot get attribute of dir: ") + given + "\\" + entry +
                          ", 206",
                      lines[at++]);
        EXPECT_EQ("  remain dirs: 15", lines[at++]);
        EXPECT_EQ(box, std::vector<std::string>(lines.begin() + at, lines.end()));
    }
}

// Not silent: the warning is a real box, answered here, in both languages.
TEST_F(InstalledFiles, WarningBoxNamesTheInstallDirectory) {
    for (bool japanese : {false, true}) {
        SCOPED_TRACE(japanese ? "Japanese" : "English");
        remove_tree(dir_);
        make_install(dir_);
        make_file(dir_ + "\\misc\\my notes.txt");
        RunOptions options;
        options.program = "installed_files_tool.exe";
        options.args = {dir_};
        options.japanese = japanese;
        options.answers = {IDOK};
        RunResult run = run_program(options);
        EXPECT_EQ(1u, run.exit_code);
        verify_boxes(run.boxes, {WARN_DIR_STAYS}, japanese, dir_);
        std::vector<std::string> expected = {"=== RemoveInstalledFiles ===", "  remain files: 0",
                                             "  cannot remove dir: " + dir_ + "\\misc",
                                             "  remain dirs: 1"};
        for (const std::string& line :
             expected_box_lines(WARN_DIR_STAYS, japanese, dir_, IDOK, false))
            expected.push_back(line);
        std::vector<std::string> lines;
        for (const std::string& line : last_run(run.log))
            lines.push_back(to_utf8(line, japanese ? 932 : CP_ACP));
        EXPECT_EQ(expected, lines);
        verify_file_present(dir_ + "\\misc\\my notes.txt");
        remove_tree(run.temp_dir);
    }
}

} // namespace

namespace {

// Polls for a file that another process makes, within the child-run limit.
bool wait_for_file(const std::string& path) {
    DWORD limit = time_limit_ms(CHILD_RUN_MS);
    for (DWORD start = GetTickCount(); GetTickCount() - start < limit; Sleep(10))
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
    return false;
}

} // namespace

// While a run removes the files of a manifest directory, another process that tries to
// rename that directory, as it would before putting a link in its place, is refused; and
// the run changes nothing in the whole prefix but the installation, its entry and its log.
TEST_F(InstalledFiles, DirectoryBeingEmptiedCannotBeRenamed) {
    remove_product_keys();
    make_install(dir_);
    set_string(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, "InstallLocation", dir_);
    std::string watch = make_temp_dir("watch");
    std::string ready = watch + "\\ready";
    std::string directory = dir_ + "\\100dpi";
    std::string first = directory + "\\chari08.pcf"; // the first of its entries to go
    std::string command = "rename_watch.exe \"" + first + "\" \"" + directory + "\" \"" + dir_ +
                          "\\moved\" \"" + ready + "\" " +
                          std::to_string(time_limit_ms(CHILD_RUN_MS));
    PROCESS_INFORMATION watcher = {};
    ASSERT_TRUE(start_suspended(binary_path("rename_watch.exe"), command, NULL, "",
                                watch + "\\output.txt", &watcher));
    ResumeThread(watcher.hThread);
    ASSERT_TRUE(wait_for_file(ready))
        << "the watcher did not start: " << read_file(watch + "\\output.txt");
    Snapshot before = take_snapshot();

    RunOptions options;
    options.args = {"-silent"};
    RunResult run = run_program(options);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(watcher.hProcess, time_limit_ms(CHILD_RUN_MS)));
    DWORD watcher_exit = 0xFFFFFFFF;
    GetExitCodeProcess(watcher.hProcess, &watcher_exit);
    CloseHandle(watcher.hProcess);
    CloseHandle(watcher.hThread);
    Snapshot after = take_snapshot();

    std::string said = read_file(watch + "\\output.txt");
    EXPECT_EQ(0u, watcher_exit) << "the rename should have been refused: " << said;
    EXPECT_TRUE(starts_with(said, "refused, code 32")) << said; // a sharing violation
    EXPECT_EQ(0u, run.exit_code);
    verify_dir_missing(dir_);
    verify_only_changed(
        before, after,
        {dir_, run.temp_dir, watch, snapshot_key_name(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY)});
    remove_tree(watch);
    remove_tree(run.temp_dir);
}

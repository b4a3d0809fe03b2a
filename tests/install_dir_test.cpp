// The install directory, and the chained uninstall of the InstallShield-based installer.
#include "boxes.h"
#include "install.h"
#include "logmatch.h"
#include "product.h"
#include "snapshot.h"
#include "startmenu.h"
#include "wintest.h"

#include "app/state.h"
#include "discovery/install_dir.h"

#include <tlhelp32.h>

#include <algorithm>

using namespace wintest;

namespace {

const std::string PRODUCT_KEY = PRODUCT_ENTRY;
const std::string IS_KEY = INSTALLSHIELD_ENTRY;
const std::string SETTINGS_KEY = USER_SETTINGS;
const char* HKLM = "80000002(HKLM)";
const char* HKCU = "80000001(HKCU)";
const char CHAINED[] = "UninstallString.ORIG";

void clean_registry() {
    remove_product_keys();
}

std::string open_line(int status, const char* root, const std::string& key) {
    return std::to_string(status) + " = MyRegOpenKeyEx(" + root + ", " + key +
           ", ..., result:" + (status == 0 ? "*" : "0") + ")";
}
// A string read whole prints its data; anything else prints "...".
std::string query_line(const char* status, const std::string& name,
                       const std::string& data = "...") {
    return std::string(status) + " = MyRegQueryValueEx(*, " + name + ", ..., " + data + ", ...)";
}
const char CLOSE_LINE[] = "0 = MyRegCloseKey(*)";

struct Value {
    HKEY root;
    std::string key;
    std::string name;
    std::string data;
    bool terminated; // false: stored without its terminating zero
};

struct DirCase {
    const char* name;
    int is_mode;
    int scope;
    std::vector<Value> values;
    int result;
    std::string dir;
    std::vector<std::string> lines;
};

TEST(InstallDirectory, IsReadFromThePlacesOfEveryGeneration) {
    const std::string full = "C:\\" + std::string(TEXT_CAPACITY - 4, 'd'); // fits, terminated
    const std::string filled(TEXT_CAPACITY, 'd'); // fills the buffer without it
    const std::string banner = "=== GetInstallDirectory ===";
    const std::string product_open_failed =
        "  fail open registry key(HKLM\\" + PRODUCT_KEY + "), rval:2";
    const DirCase cases[] = {
        {"InstallLocation",
         0,
         SYSTEM,
         {{HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallLocation", "C:\\VX", true},
          {HKEY_CURRENT_USER, SETTINGS_KEY, "InstallDirectory4", "C:\\other", true}},
         1,
         "C:\\VX",
         {banner, open_line(0, HKLM, PRODUCT_KEY), query_line("0", "InstallLocation", "C:\\VX"),
          CLOSE_LINE, "  InstallDir is C:\\VX"}},
        {"empty InstallLocation",
         0,
         USER,
         {{HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallLocation", "", true},
          {HKEY_CURRENT_USER, SETTINGS_KEY, "InstallDirectory4", "C:\\VX4", true}},
         1,
         "C:\\VX4",
         {banner, open_line(0, HKLM, PRODUCT_KEY), query_line("0", "InstallLocation", ""),
          CLOSE_LINE, "  fail get registry value(InstallLocation) or value is empty, rval:0",
          open_line(0, HKCU, SETTINGS_KEY), query_line("0", "InstallDirectory4", "C:\\VX4"),
          CLOSE_LINE, "  InstallDir is C:\\VX4"}},
        {"InstallDirectory4 missing",
         0,
         SYSTEM,
         {{HKEY_CURRENT_USER, SETTINGS_KEY, "InstallDirectory", "C:\\VXD", true}},
         1,
         "C:\\VXD",
         {banner, open_line(2, HKLM, PRODUCT_KEY), product_open_failed,
          open_line(0, HKCU, SETTINGS_KEY), query_line("2", "InstallDirectory4"),
          "  fail get registry value(InstallDirectory4), rval:2",
          query_line("0", "InstallDirectory", "C:\\VXD"), CLOSE_LINE, "  InstallDir is C:\\VXD"}},
        {"InstallDirectory4 empty",
         0,
         SYSTEM,
         {{HKEY_CURRENT_USER, SETTINGS_KEY, "InstallDirectory4", "", true},
          {HKEY_CURRENT_USER, SETTINGS_KEY, "InstallDirectory", "C:\\VXD", true}},
         1,
         "C:\\VXD",
         {banner, open_line(2, HKLM, PRODUCT_KEY), product_open_failed,
          open_line(0, HKCU, SETTINGS_KEY), query_line("0", "InstallDirectory4", ""),
          "  fail get registry value(InstallDirectory4), rval:0",
          query_line("0", "InstallDirectory", "C:\\VXD"), CLOSE_LINE, "  InstallDir is C:\\VXD"}},
        {"settings without a directory",
         0,
         SYSTEM,
         {{HKEY_CURRENT_USER, SETTINGS_KEY, "InstallDirectory4", "", true}},
         0,
         "",
         {banner, open_line(2, HKLM, PRODUCT_KEY), product_open_failed,
          open_line(0, HKCU, SETTINGS_KEY), query_line("0", "InstallDirectory4", ""),
          "  fail get registry value(InstallDirectory4), rval:0",
          query_line("2", "InstallDirectory"),
          "  fail get registry value(InstallDirectory), rval:2", CLOSE_LINE}},
        {"nothing anywhere",
         0,
         SYSTEM,
         {},
         0,
         "",
         {banner, open_line(2, HKLM, PRODUCT_KEY), product_open_failed,
          open_line(2, HKCU, SETTINGS_KEY),
          "  fail open registry key(HKCU\\Software\\VORTA\\XSERVER), rval:2"}},
        {"longest InstallLocation",
         0,
         SYSTEM,
         {{HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallLocation", full, true}},
         1,
         full,
         {banner, open_line(0, HKLM, PRODUCT_KEY), query_line("0", "InstallLocation", full),
          CLOSE_LINE, "  InstallDir is " + full}},
        {"InstallLocation without its terminator",
         0,
         SYSTEM,
         {{HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallLocation", filled, false},
          {HKEY_CURRENT_USER, SETTINGS_KEY, "InstallDirectory4", "C:\\VX4", true}},
         1,
         "C:\\VX4",
         {banner, open_line(0, HKLM, PRODUCT_KEY), query_line("*", "InstallLocation"), CLOSE_LINE,
          "  fail get registry value(InstallLocation) or value is empty, rval:ea",
          open_line(0, HKCU, SETTINGS_KEY), query_line("0", "InstallDirectory4", "C:\\VX4"),
          CLOSE_LINE, "  InstallDir is C:\\VX4"}},
        {"-IS, per-user",
         1,
         USER,
         {{HKEY_CURRENT_USER, IS_KEY, "InstallLocation", "C:\\ISU", true},
          {HKEY_LOCAL_MACHINE, IS_KEY, "InstallLocation", "C:\\ISS", true}},
         1,
         "C:\\ISU",
         {banner, open_line(0, HKCU, IS_KEY), query_line("0", "InstallLocation", "C:\\ISU"),
          CLOSE_LINE, "  InstallDir is C:\\ISU"}},
        {"-IS, all users",
         1,
         SYSTEM,
         {{HKEY_CURRENT_USER, IS_KEY, "InstallLocation", "C:\\ISU", true},
          {HKEY_LOCAL_MACHINE, IS_KEY, "InstallLocation", "C:\\ISS", true}},
         1,
         "C:\\ISS",
         {banner, open_line(0, HKLM, IS_KEY), query_line("0", "InstallLocation", "C:\\ISS"),
          CLOSE_LINE, "  InstallDir is C:\\ISS"}},
        {"-IS, per-user key missing",
         1,
         USER,
         {{HKEY_LOCAL_MACHINE, IS_KEY, "InstallLocation", "C:\\ISS", true},
          {HKEY_CURRENT_USER, SETTINGS_KEY, "InstallDirectory", "C:\\VXD", true}},
         1,
         "C:\\VXD",
         {banner, open_line(2, HKCU, IS_KEY),
          "  fail open registry key(HKCU\\" + IS_KEY + "), rval:2",
          open_line(0, HKCU, SETTINGS_KEY), query_line("2", "InstallDirectory4"),
          "  fail get registry value(InstallDirectory4), rval:2",
          query_line("0", "InstallDirectory", "C:\\VXD"), CLOSE_LINE, "  InstallDir is C:\\VXD"}},
    };
    for (const DirCase& c : cases) {
        SCOPED_TRACE(c.name);
        clean_registry();
        for (const Value& v : c.values)
            set_value(v.root, v.key, v.name, REG_SZ, v.data.c_str(),
                      (DWORD)(v.data.size() + (v.terminated ? 1 : 0)));
        g_state.isMode = c.is_mode;
        g_state.installType = c.scope;
        LogCapture log;
        EXPECT_EQ(GetInstallDirectory(), c.result);
        EXPECT_EQ(g_state.installDirFound, c.result);
        EXPECT_EQ(std::string(g_state.installDir), c.dir);
        verify_lines(log.lines(), c.lines);
    }
    clean_registry();
    g_state.isMode = 0;
    g_state.installType = SYSTEM;
    g_state.installDir[0] = '\0';
    g_state.installDirFound = 0;
}

// A directory value counts only when it is a string that names an absolute path; any
// other value is passed over as an empty one is, and the next place is tried.
TEST(InstallDirectory, OnlyAnAbsolutePathInAStringCounts) {
    const std::string nul(1, '\0');
    SetEnvironmentVariableA("VXTEST_ROOT", "C:\\Expanded");
    SetEnvironmentVariableA("VXTEST_RELATIVE", "VORTA-X");
    SetEnvironmentVariableA("VXTEST_LONG", ("C:\\" + std::string(TEXT_CAPACITY, 'x')).c_str());
    struct Form {
        const char* name;
        DWORD type;
        std::string data; // the stored bytes, terminators included
        std::string read; // the directory taken; "" = passed over
    };
    const Form forms[] = {
        {"drive path", REG_SZ, "C:\\VX" + nul, "C:\\VX"},
        {"drive root", REG_SZ, "D:\\" + nul, "D:\\"},
        {"lower-case drive", REG_SZ, "d:\\VX" + nul, "d:\\VX"},
        {"server and share", REG_SZ, "\\\\server\\share\\VX" + nul, "\\\\server\\share\\VX"},
        {"expandable", REG_EXPAND_SZ, "%VXTEST_ROOT%\\VX" + nul, "C:\\Expanded\\VX"},
        {"expandable, relative once expanded", REG_EXPAND_SZ, "%VXTEST_RELATIVE%" + nul, ""},
        {"expandable, too long once expanded", REG_EXPAND_SZ, "%VXTEST_LONG%" + nul, ""},
        {"number", REG_DWORD, std::string("\x01\0\0\0", 4), ""},
        {"bytes", REG_BINARY, "C:\\VX", ""},
        {"list of strings", REG_MULTI_SZ, "C:\\VX" + nul + nul, ""},
        {"name alone", REG_SZ, "VORTA-X" + nul, ""},
        {"current directory", REG_SZ, "." + nul, ""},
        {"parent directory", REG_SZ, "..\\VORTA-X" + nul, ""},
        {"root of the current drive", REG_SZ, "\\VORTA-X" + nul, ""},
        {"drive without root", REG_SZ, "C:VORTA-X" + nul, ""},
        {"forward slashes", REG_SZ, "C:/VX" + nul, ""},
        {"server alone", REG_SZ, "\\\\server" + nul, ""},
        {"server without share", REG_SZ, "\\\\server\\" + nul, ""},
        {"share without server", REG_SZ, "\\\\\\share" + nul, ""},
    };
    struct Place {
        const char* name;
        int is_mode;
        HKEY root;
        std::string key;
        const char* value;
        const char* next; // what the next place holds, or NULL for the last one
        const char* refused_line;
    };
    const Place places[] = {
        {"InstallLocation", 0, HKEY_LOCAL_MACHINE, PRODUCT_KEY, "InstallLocation",
         "InstallDirectory4",
         "  fail get registry value(InstallLocation) or value is empty, rval:0"},
        {"-IS InstallLocation", 1, HKEY_LOCAL_MACHINE, IS_KEY, "InstallLocation",
         "InstallDirectory4",
         "  fail get registry value(InstallLocation) or value is empty, rval:0"},
        {"InstallDirectory4", 0, HKEY_CURRENT_USER, SETTINGS_KEY, "InstallDirectory4",
         "InstallDirectory", "  fail get registry value(InstallDirectory4), rval:0"},
        {"InstallDirectory", 0, HKEY_CURRENT_USER, SETTINGS_KEY, "InstallDirectory", NULL,
         "  fail get registry value(InstallDirectory), rval:0"},
    };
    const std::string next_dir = "C:\\Next";
    for (const Place& place : places) {
        for (const Form& form : forms) {
            SCOPED_TRACE(std::string(place.name) + ", " + form.name);
            clean_registry();
            set_value(place.root, place.key, place.value, form.type, form.data.data(),
                      (DWORD)form.data.size());
            if (place.next != NULL)
                set_string(HKEY_CURRENT_USER, SETTINGS_KEY, place.next, next_dir);
            g_state.isMode = place.is_mode;
            g_state.installType = SYSTEM;
            LogCapture log;

            int found = GetInstallDirectory();

            std::vector<std::string> lines = log.lines();
            bool refused = form.read.empty();
            std::string expected = !refused ? form.read : place.next != NULL ? next_dir : "";
            EXPECT_EQ(expected.empty() ? 0 : 1, found);
            EXPECT_EQ(expected, std::string(g_state.installDir));
            EXPECT_EQ(refused ? 1u : 0u,
                      (size_t)std::count(lines.begin(), lines.end(), place.refused_line));
            if (!expected.empty()) {
                EXPECT_EQ("  InstallDir is " + expected, lines.back());
            }
        }
    }
    clean_registry();
    g_state.isMode = 0;
    g_state.installDir[0] = '\0';
    g_state.installDirFound = 0;
}

// ---- the chained uninstall, run by the real program ---------------------------

struct Record {
    bool written = false;
    std::string command_line;
    std::string module;
};

Record read_record(const std::string& path) {
    Record record;
    for (const std::string& line : split_lines(read_file(path))) {
        if (line.rfind("cmdline=[", 0) == 0 && line.back() == ']')
            record.command_line = line.substr(9, line.size() - 10);
        if (line.rfind("module=[", 0) == 0 && line.back() == ']') {
            record.module = line.substr(8, line.size() - 9);
            record.written = true;
        }
    }
    return record;
}

class ChainedUninstall : public ::testing::Test {
  protected:
    void SetUp() override {
        clean_registry();
        remove_product_folders();
        work = make_temp_dir("chain");
        record_path = work + "\\record.txt";
        install_dir = work + "\\VORTA-X";
        make_dir(install_dir);
        standin = binary_path("is_standin.exe");
    }
    void TearDown() override {
        clean_registry();
        remove_product_folders();
        remove_tree(work);
    }
    // The installer's Uninstall entry under root, as the InstallShield installer leaves it.
    void lay_installshield_entry(HKEY root, const std::string& command) {
        set_string(root, IS_KEY, "InstallLocation", install_dir);
        set_string(root, IS_KEY, CHAINED, command);
    }
    RunOptions options(const char* remove_from, bool silent) {
        RunOptions o;
        o.args = {"-IS"};
        if (silent)
            o.args.push_back("-silent");
        o.env = {{"IS_STANDIN_RECORD", record_path}};
        if (remove_from != NULL)
            o.env.push_back({"IS_STANDIN_REMOVE", remove_from});
        return o;
    }
    std::string work, record_path, install_dir, standin;
};

struct StartCase {
    const char* name;
    std::string command;   // "%s" stands for the stand-in's path
    std::string program;   // the path it must be started with; "%s" as above
    std::string arguments; // its whole command line
    const char* current_dir;
};

// The program part of a command whose options are arguments.
std::string program_of(const std::string& command, const std::string& arguments) {
    return command.substr(0, command.size() - arguments.size() - (arguments.empty() ? 0 : 1));
}

std::string with_standin(std::string text, const std::string& standin) {
    size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, standin);
    return text;
}

TEST_F(ChainedUninstall, StartsTheProgramWithTheOptionsAloneAndGoesOn) {
    const StartCase cases[] = {
        {"path and options", "%s /opts /x y", "%s", "/opts /x y", ""},
        {"no options", "%s", "%s", "", ""},
    };
    for (const StartCase& c : cases) {
        SCOPED_TRACE(c.name);
        make_dir(install_dir);
        std::string command = with_standin(c.command, standin);
        lay_installshield_entry(HKEY_LOCAL_MACHINE, command);
        RunOptions o = options("HKLM", false);
        o.current_dir = c.current_dir;
        RunResult run = run_program(o);

        EXPECT_EQ(run.exit_code, 0u);
        EXPECT_TRUE(run.boxes.empty()) << describe_boxes(run.boxes);
        Record record = read_record(record_path);
        EXPECT_TRUE(record.written);
        // Wine hands a program started with an empty command line its quoted path instead.
        if (c.arguments.empty() && record.command_line != "")
            EXPECT_EQ(record.command_line, "\"" + program_of(command, c.arguments) + "\"");
        else
            EXPECT_EQ(record.command_line, c.arguments);
        EXPECT_TRUE(lstrcmpiA(record.module.c_str(), with_standin(c.program, standin).c_str()) == 0)
            << record.module;
        std::vector<std::string> lines = last_run(run.log);
        std::string program =
            command.substr(0, command.size() - c.arguments.size() - (c.arguments.empty() ? 0 : 1));
        verify_lines(lines_starting(lines, "UBIS: "),
                     {"UBIS: call process:[" + program + "], arg:[" + c.arguments + "]"});
        // The cleanup went on after the installer's uninstall had completed.
        EXPECT_EQ(banners(lines),
                  (std::vector<std::string>{"=== GetInstallDirectory ===", "=== RemoveShortCut ===",
                                            "=== RemoveInstalledFiles ==="}));
        verify_dir_missing(install_dir);
        verify_value_missing(HKEY_LOCAL_MACHINE, IS_KEY, CHAINED);
        remove_tree(run.temp_dir);
        DeleteFileA(record_path.c_str());
    }
}

// A per-user installation keeps the installer's entry under HKCU.
TEST_F(ChainedUninstall, PerUserInstallationRunsTheUsersCommand) {
    add_key(HKEY_LOCAL_MACHINE, GENERATION_3_ENTRY);
    lay_installshield_entry(HKEY_CURRENT_USER, standin + " /user");
    set_string(HKEY_LOCAL_MACHINE, IS_KEY, CHAINED, "C:\\vx_missing\\machine.exe /machine");
    RunResult run = run_program(options("HKCU", true));
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(read_record(record_path).command_line, "/user");
    std::vector<std::string> lines = last_run(run.log);
    EXPECT_EQ(lines_starting(lines, "GIT: "), std::vector<std::string>{"GIT: type is USER"});
    verify_lines(lines_starting(lines, "UBIS: "),
                 {"UBIS: call process:[" + standin + "], arg:[/user]"});
    verify_dir_missing(install_dir);
    verify_value_missing(HKEY_CURRENT_USER, IS_KEY, CHAINED);
    remove_tree(run.temp_dir);
}

// Ends every process of the program that is still there: a stand-in stuck in its
// broadcast outlives the uninstaller that was killed.
void end_leftovers(const char* program) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more;
         more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, program) != 0)
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process != NULL) {
            TerminateProcess(process, 0xDEAD);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
}

// The installer's uninstaller sends a message to every top-level window and waits for
// each answer, the uninstaller's hidden window included, while the uninstaller waits
// for it to end.
TEST_F(ChainedUninstall, UninstallerThatBroadcastsIsAnswered) {
    lay_installshield_entry(HKEY_LOCAL_MACHINE, standin + " /x");
    RunOptions o = options("HKLM", true);
    o.env.push_back({"IS_STANDIN_BROADCAST", "1"});
    RunResult run = run_program(o);
    end_leftovers("is_standin.exe");

    ASSERT_FALSE(run.timed_out);
    EXPECT_EQ(0u, run.exit_code);
    EXPECT_NE(std::string::npos, read_file(record_path).find("broadcast=[returned]"));
    verify_value_missing(HKEY_LOCAL_MACHINE, IS_KEY, CHAINED);
    verify_dir_missing(install_dir);
    remove_tree(run.temp_dir);
}

// What the run traced up to the start of the installer's uninstaller is on disk while
// that uninstaller runs, in case it never comes back.
TEST_F(ChainedUninstall, TraceIsOnDiskWhileTheUninstallerRuns) {
    lay_installshield_entry(HKEY_LOCAL_MACHINE, standin + " /x");
    std::string copy = work + "\\log while waiting.txt";
    RunOptions o = options("HKLM", true);
    o.env.push_back({"IS_STANDIN_COPY_LOG", copy});

    RunResult run = run_program(o);

    EXPECT_EQ(0u, run.exit_code);
    std::vector<std::string> lines = split_lines(read_file(copy));
    EXPECT_EQ(1u, lines_starting(lines, RUN_START).size());
    verify_lines(lines_starting(lines, "UBIS: "),
                 {"UBIS: call process:[" + standin + "], arg:[/x]"});
    EXPECT_TRUE(lines_starting(lines, RUN_END).empty());
    remove_tree(run.temp_dir);
}

TEST_F(ChainedUninstall, EntryLeftBehindEndsTheRunQuietly) {
    lay_installshield_entry(HKEY_LOCAL_MACHINE, standin + " /x");
    RunResult run = run_program(options(NULL, false)); // no box is expected
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_TRUE(run.boxes.empty()) << describe_boxes(run.boxes);
    EXPECT_TRUE(read_record(record_path).written);
    std::vector<std::string> lines = ended_run(run.log);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "UBIS: not installed by IS, exit");
    EXPECT_EQ(banners(lines), std::vector<std::string>{"=== GetInstallDirectory ==="});
    verify_value_present(HKEY_LOCAL_MACHINE, IS_KEY, CHAINED);
    verify_dir_present(install_dir);
    remove_tree(run.temp_dir);
}

TEST_F(ChainedUninstall, FatalErrorsEndTheRunWithExitCodeOne) {
    struct Case {
        const char* name;
        const char* command; // NULL: no value
        std::string last_line;
        ExpectedBox box;
    };
    const Case cases[] = {
        {"no command", NULL, "  fail get registry value(UninstallString.ORIG), rval:2",
         FATAL_NO_COMMAND},
        {"cannot start", "C:\\vx_missing\\nothere.exe /x",
         "UBIS: call process:[C:\\vx_missing\\nothere.exe], arg:[/x]", FATAL_NO_START},
        // The whole text of a command that begins with "/" is the program path: from the
        // root of the current drive, whichever that is, so it is not started.
        {"no drive", "/vx/setup.exe", "UBIS: not an absolute path, not started", FATAL_NO_START},
    };
    for (const Case& c : cases) {
        for (bool silent : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (silent ? ", silent" : ", boxed"));
            set_string(HKEY_LOCAL_MACHINE, IS_KEY, "InstallLocation", install_dir);
            if (c.command != NULL)
                set_string(HKEY_LOCAL_MACHINE, IS_KEY, CHAINED, c.command);
            RunOptions o = options(NULL, silent);
            if (!silent)
                o.answers = {IDOK};
            RunResult run = run_program(o);
            EXPECT_EQ(run.exit_code, 1u);
            // The cause, then the box that tells it, shown or not.
            std::vector<std::string> lines = ended_run(run.log);
            std::vector<std::string> tail = {c.last_line};
            for (const std::string& line : expected_box_lines(c.box, false, "", IDOK, silent))
                tail.push_back(line);
            ASSERT_GE(lines.size(), tail.size());
            EXPECT_EQ(tail, std::vector<std::string>(lines.end() - tail.size(), lines.end()));
            if (silent)
                verify_boxes(run.boxes, {});
            else
                verify_boxes(run.boxes, {c.box});
            verify_dir_present(install_dir);
            remove_tree(run.temp_dir);
            clean_registry();
        }
    }
}

// A command without its folder would be looked for in the current folder, which is wherever
// the run was started: a program of that name planted there must not run, and the run
// must change nothing in the whole prefix but its log.
TEST_F(ChainedUninstall, ProgramWithoutItsFolderIsNotStarted) {
    std::string current = work + "\\cwd";
    make_dir(current);
    ASSERT_TRUE(CopyFileA(standin.c_str(), (current + "\\isstandin.exe").c_str(), FALSE));
    lay_installshield_entry(HKEY_LOCAL_MACHINE, "isstandin.exe /x");
    RunOptions o = options("HKLM", true);
    o.current_dir = current;
    Snapshot before = take_snapshot();
    RunResult run = run_program(o);
    Snapshot after = take_snapshot();

    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_FALSE(read_record(record_path).written) << "the planted program ran";
    std::vector<std::string> lines = ended_run(run.log);
    verify_lines(lines_starting(lines, "UBIS: "), {"UBIS: call process:[isstandin.exe], arg:[/x]",
                                                   "UBIS: not an absolute path, not started"});
    verify_only_changed(before, after, {run.temp_dir});
    remove_tree(run.temp_dir);
}

// The user's file keeps the product's Start-menu folder: one warning, and the final
// message counts it.
TEST_F(ChainedUninstall, FolderWithAUsersFileWarnsOnce) {
    lay_installshield_entry(HKEY_LOCAL_MACHINE, standin + " /x");
    std::string folder = lay_product_shortcuts(SYSTEM);
    make_file(folder + "\\my notes.txt");
    RunOptions o = options("HKLM", false);
    o.answers = {IDOK, IDOK};
    RunResult run = run_program(o);
    EXPECT_EQ(run.exit_code, 0u);
    ASSERT_EQ(run.boxes.size(), 2u) << describe_boxes(run.boxes);
    EXPECT_EQ(run.boxes[0].caption, "Warning");
    EXPECT_EQ(run.boxes[0].text, "Shortcats can not be removed.");
    EXPECT_EQ(run.boxes[0].icon, Icon::Exclamation);
    EXPECT_EQ(run.boxes[1].caption, "VORTA-X Uninstaller");
    EXPECT_EQ(run.boxes[1].text, "Uninstall has completed successfully.\nSome directory or "
                                 "shortcuts may be remaind.\nPlease remove these files or "
                                 "shortcuts using by Explorer.");
    EXPECT_EQ(list_dir_utf8(folder), std::vector<std::string>{"my notes.txt"});
    std::vector<std::string> lines = last_run(run.log);
    EXPECT_EQ(lines_starting(lines, "  fail remove Folder("),
              std::vector<std::string>{"  fail remove Folder(VORTA-X)"});
    remove_tree(run.temp_dir);
}

} // namespace

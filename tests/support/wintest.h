// Test verbs in the manner of Wine's conformance tests: each macro reports the
// caller's file and line when it fails. Registry and file verbs act on the real
// (Wine) registry and file system of the test prefix.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wintest {

struct Where {
    const char* file;
    int line;
};

// ---- the run ----------------------------------------------------------------
// What this run is: "win32", a 32-bit program in a pure 32-bit prefix (32-bit Windows);
// "wow64", a 32-bit program in a 64-bit prefix (64-bit Windows); "win64", the x86_64
// twin, which runs where Wine cannot start 32-bit programs.
const char* run_kind();

// ---- time limits ------------------------------------------------------------
// Every wait of the verbs has a limit: its base below times VXWIPE_TEST_TIME_SCALE, a
// whole number (1 when unset), the one setting for a slower or busier machine.
const DWORD CHILD_RUN_MS = 60000;    // a child, from its start to its end
const DWORD BOX_COMPLETE_MS = 10000; // a box, from shown to its text and buttons present
const DWORD ICON_PROBE_MS = 5000;    // a box's icon, until its pixels show which one
const DWORD UNIX_COMMAND_MS = 30000; // a Unix command, from its start to its end
DWORD time_limit_ms(DWORD base_ms);

// ---- registry -------------------------------------------------------------
// The verbs that take a view act on the 32-bit programs' keys by default; KEY_WOW64_64KEY
// reaches the 64-bit programs' keys of a WoW64 run, where HKLM\Software differs.
void add_key_at(Where, HKEY root, const std::string& path);
void set_string_at(Where, HKEY root, const std::string& path, const std::string& name,
                   const std::string& value, REGSAM view = 0);
void set_value_at(Where, HKEY root, const std::string& path, const std::string& name, DWORD type,
                  const void* data, DWORD size);
void set_dword_at(Where, HKEY root, const std::string& path, const std::string& name, DWORD value);
// cleanup: silent if missing
void delete_key_tree(HKEY root, const std::string& path, REGSAM view = 0);
void delete_value(HKEY root, const std::string& path, const std::string& name, REGSAM view = 0);
void verify_key_present_at(Where, HKEY root, const std::string& path, REGSAM view = 0);
void verify_key_missing_at(Where, HKEY root, const std::string& path, REGSAM view = 0);
void verify_value_present_at(Where, HKEY root, const std::string& path, const std::string& name);
void verify_value_missing_at(Where, HKEY root, const std::string& path, const std::string& name);
// A REG_SZ/REG_EXPAND_SZ value as stored; "" and *found = false when missing or of another type.
std::string read_string(HKEY root, const std::string& path, const std::string& name,
                        bool* found = nullptr, REGSAM view = 0);
// Symbolic link keys. The registry's own name of a key ("\\Registry\\Machine\\...",
// "\\Registry\\User\\<sid>\\..."), as a link names its target.
std::string registry_path(HKEY root, const std::string& path);
// Makes path under root a (volatile) link to target, a key under the same root.
void add_link_key_at(Where, HKEY root, const std::string& path, const std::string& target);
bool is_link_key(HKEY root, const std::string& path, REGSAM view = 0);
// cleanup: the link itself goes, never what it points to; silent if missing
void delete_link_key(HKEY root, const std::string& path, REGSAM view = 0);
// The predefined roots that no longer answer, in every view this run uses, as
// "HKEY_CURRENT_USER (64-bit view): error 6"; empty when all do. A handle closed by
// mistake (a stray CloseHandle of a value that names it) breaks every later registry verb.
std::vector<std::string> broken_registry_roots();
// Makes Wine pose as another Windows version for one program (a file name such as
// "vxwipe.exe"): HKCU\Software\Wine\AppDefaults\<program> value "Version"; "" deletes the
// value, so the program runs as the prefix default (the NT line). run_program sets it for
// every child it starts; it stays in the prefix until changed.
void set_windows_version_at(Where, const std::string& program, const std::string& version);
// The Programs folder of a scope (SYSTEM: "Common Programs" under HKLM, USER: "Programs"
// under HKCU) as the product reads it from the Shell Folders key. A fresh Wine 8 prefix
// has both values and both folders ("C:\ProgramData\Microsoft\Windows\Start Menu\Programs",
// "C:\users\<user>\AppData\Roaming\...\Programs"); a missing value is written from the
// platform's known folder, as Windows would.
std::string programs_folder_at(Where, int scope);

// ---- files ----------------------------------------------------------------
// Paths are Windows paths ("C:\\...") in the system code page, except where a verb takes
// the code page of its paths (932 for those of a Japanese child).
// Fresh and empty: C:\wt\<stem>-<n>-<pid>; stem in UTF-8, the path in codepage.
std::string make_temp_dir_at(Where, const std::string& stem, UINT codepage = CP_ACP);
void make_file_at(Where, const std::string& path, const std::string& content = "x");
void make_dir_at(Where, const std::string& path); // with missing parents
void verify_file_present_at(Where, const std::string& path);
void verify_file_missing_at(Where, const std::string& path);
void verify_dir_present_at(Where, const std::string& path);
void verify_dir_missing_at(Where, const std::string& path);
// The names of the entries of dir that match a pattern such as "vxwipe-*.log".
std::vector<std::string> files_matching(const std::string& dir, const char* pattern);
// Whole content, bytes as they are; "" when missing.
std::string read_file(const std::string& path, UINT codepage = CP_ACP);
// cleanup: clears read-only, silent
void remove_tree(const std::string& path, UINT codepage = CP_ACP);

// Lines of a text file split at CR LF, without the line ends (a bare LF stays in its line).
std::vector<std::string> split_lines(const std::string& content);

// ---- Unix commands ------------------------------------------------------------------
// The Unix path of a Windows path (in codepage), as Wine maps it; "" if it cannot.
std::string unix_path(const std::string& path, UINT codepage = CP_ACP);
// Runs command with the Unix shell and waits for its end, at most the Unix-command limit.
// Wine gives no handle for a Unix program: the command leaves a marker file when it is
// done. False, with a failure that says what was waited for, if it did not end in time.
bool run_unix_at(Where, const std::string& command, const std::string& what);

// ---- text ---------------------------------------------------------------------
bool starts_with(const std::string& text, const std::string& prefix);
// Box texts are UTF-8; the product's narrow strings are in the code page of its run
// (1252 in English runs, 932 in Japanese runs).
std::string to_utf8(const std::string& text, UINT codepage);
std::string from_utf8(const std::string& utf8, UINT codepage);
std::string wide_to_utf8(const std::wstring& wide);
std::wstring utf8_to_wide(const std::string& utf8);

// ---- the log ------------------------------------------------------------------
// Every run of the product opens its trace with a START line and closes it with an END
// line, both followed by the time.
const char RUN_START[] = ">>> START: ";
const char RUN_END[] = "<<< END: ";

// The lines of a whole log file that the last run wrote between its START and END
// lines; *ended tells whether that run's END line was found.
std::vector<std::string> last_run(const std::vector<std::string>& log, bool* ended = nullptr);
// The same, for a run that must have ended: fails if its END line is missing.
std::vector<std::string> ended_run_at(Where, const std::vector<std::string>& log);

// ---- the log, in this process ----------------------------------------------
// Opens the product log in a fresh temporary directory (TMP/TEMP of this process),
// so that product functions called in-process trace into it.
class LogCapture {
  public:
    // InitLog into a fresh directory; a failure names the line that made the capture.
    explicit LogCapture(Where where = Where{__builtin_FILE(), __builtin_LINE()});
    ~LogCapture(); // closes the log if still open
    // Closes the log (END line) and returns the lines between START and END.
    std::vector<std::string> lines();
    std::string path() const {
        return path_;
    }

  private:
    std::string dir_;
    std::string path_;
};

// ---- child processes and their message boxes -------------------------------
// Facts of Wine 8 that the driver relies on (and tests may meet):
// - A box is a visible top-level "#32770" window of the child. Its text is the static
//   with id 0xFFFF; its icon is the SS_ICON static (id 0x440 under Wine, 0x14 under
//   Windows). A box without icon keeps that static visible, empty, under the text: the
//   driver reads "no icon" from STM_GETICON and tells the icons apart by their pixels
//   on screen, compared with this process's own rendering of the system icons.
// - Buttons are read left to right, visible ones only ('&' removed: "&Yes" -> "Yes").
// - The display has no window manager; run-tests.sh sets the prefix's X11 driver to
//   unmanaged windows, otherwise every closing box costs a 2 s wait.
enum class Icon { None, Exclamation, Stop, Question, Information, Unknown };
const char* icon_name(Icon icon);

struct Box {
    std::string caption;              // UTF-8
    std::string text;                 // UTF-8, line feeds as in the box
    std::vector<std::string> buttons; // button texts in order, UTF-8 ("OK", "Cancel", ...)
    Icon icon;
    bool wipr_window_hidden; // a top-level "wipr" window of the child existed, invisible
};
// The boxes one per line, as caption / text / buttons / icon, for failure messages.
std::string describe_boxes(const std::vector<Box>& boxes);

// A child's exit code; GoogleTest prints an exception code (0xC0000000 and up) and
// KILLED_EXIT_CODE in hexadecimal, with a name where it has one, any other in decimal.
struct ExitCode {
    DWORD value;
    ExitCode(DWORD code = 0xFFFFFFFF) : value(code) {}
    operator DWORD() const {
        return value;
    }
};
void PrintTo(const ExitCode& code, std::ostream* out);
// What a test program's driver makes a child end with when it kills it.
const DWORD KILLED_EXIT_CODE = 0xDEAD;

// Answers for boxes: the platform ids IDOK, IDCANCEL, IDYES, IDNO.
struct RunOptions {
    std::string program = "vxwipe.exe"; // a file name in the test binaries' folder
    // Where the program is started from instead, in the child's code page (a copy of it in
    // an install folder, as Programs and Features starts it); "" = that folder's.
    std::string program_path;
    std::vector<std::string> args; // quoted as the C runtime splits them
    std::string windows_version;   // "" = the prefix default (NT line), or "win98", "winxp", ...
    // Code page 932 and Japanese resources. Wine takes both from the Unix locale of the
    // Wine process that starts the child, never from LANG in the Windows environment
    // block: the child is started by tests/tools/wintest_spawn.exe, itself run as the
    // Unix command "env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 wine ...". Costs ~0.5 s.
    bool japanese = false;
    // TMP/TEMP of the child, in the child's code page; "" = a fresh one. Wine's
    // GetTempPath returns TMP as it is (plus a backslash) without checking that the
    // directory exists.
    std::string temp_dir;
    std::vector<int> answers; // one per expected box, in order
    // Boxes not known in advance: each box, however many come, is answered with its
    // button at position picks[i] modulo its count of buttons (the first button once
    // the picks run out); none is unexpected, none is missing. answers is then unused.
    bool any_boxes = false;
    std::vector<unsigned> picks;
    std::vector<std::pair<std::string, std::string>> env; // extra environment
    std::string current_dir;                              // "" = the test program's own
};

struct RunResult {
    ExitCode exit_code;
    bool timed_out = false;
    std::vector<Box> boxes;
    std::string temp_dir;         // the child's temporary directory (not removed)
    std::vector<std::string> log; // lines of temp_dir\vxwipe.log, if any
    bool log_exists = false;
    // What the child wrote to stdout and stderr (a file behind both), bytes as they
    // are: the C runtime's text mode makes "\n" into "\r\n"; split_lines() helps.
    std::string output;
};

// Runs the program as a child, answers its boxes in order, fails the test on an
// unexpected box (it is then closed with Cancel, No or OK) or a missing box. A box is
// read once it is complete: its text and buttons present, the same in two reads in a
// row. A child still running after the child-run limit is killed (KILLED_EXIT_CODE),
// and the failure says what the driver was waiting for.
RunResult run_program_at(Where, const RunOptions& options);

// The lines of a log that begin with "===" (the step banners), in order.
std::vector<std::string> banners(const std::vector<std::string>& log);

// Starts a program suspended, its standard output and error going to the file at
// output_path (made anew), with an environment block (NULL: this process's own) and a
// current directory ("": this process's own). False, with the platform's last error,
// if it could not.
bool start_suspended(const std::string& program, const std::string& command_line, char* environment,
                     const std::string& current_dir, const std::string& output_path,
                     PROCESS_INFORMATION* process);

// Full path of a file in the folder of the test binaries (the helpers). "vxwipe.exe" is
// the program under test: VXWIPE_UNDER_TEST when set (run-tests.sh sets it to the
// shipped dist/win32/vxwipe.exe), else the one built next to the tests.
std::string binary_path(const std::string& name);

} // namespace wintest

#define WT_HERE (wintest::Where{__FILE__, __LINE__})
#define add_key(...) wintest::add_key_at(WT_HERE, __VA_ARGS__)
#define set_string(...) wintest::set_string_at(WT_HERE, __VA_ARGS__)
#define set_value(...) wintest::set_value_at(WT_HERE, __VA_ARGS__)
#define set_dword(...) wintest::set_dword_at(WT_HERE, __VA_ARGS__)
#define add_link_key(...) wintest::add_link_key_at(WT_HERE, __VA_ARGS__)
#define verify_key_present(...) wintest::verify_key_present_at(WT_HERE, __VA_ARGS__)
#define verify_key_missing(...) wintest::verify_key_missing_at(WT_HERE, __VA_ARGS__)
#define verify_value_present(...) wintest::verify_value_present_at(WT_HERE, __VA_ARGS__)
#define verify_value_missing(...) wintest::verify_value_missing_at(WT_HERE, __VA_ARGS__)
#define set_windows_version(...) wintest::set_windows_version_at(WT_HERE, __VA_ARGS__)
#define programs_folder(...) wintest::programs_folder_at(WT_HERE, __VA_ARGS__)
#define make_temp_dir(...) wintest::make_temp_dir_at(WT_HERE, __VA_ARGS__)
#define make_file(...) wintest::make_file_at(WT_HERE, __VA_ARGS__)
#define make_dir(...) wintest::make_dir_at(WT_HERE, __VA_ARGS__)
#define verify_file_present(...) wintest::verify_file_present_at(WT_HERE, __VA_ARGS__)
#define verify_file_missing(...) wintest::verify_file_missing_at(WT_HERE, __VA_ARGS__)
#define verify_dir_present(...) wintest::verify_dir_present_at(WT_HERE, __VA_ARGS__)
#define verify_dir_missing(...) wintest::verify_dir_missing_at(WT_HERE, __VA_ARGS__)
#define run_program(...) wintest::run_program_at(WT_HERE, __VA_ARGS__)
#define run_unix(...) wintest::run_unix_at(WT_HERE, __VA_ARGS__)
#define ended_run(...) wintest::ended_run_at(WT_HERE, __VA_ARGS__)

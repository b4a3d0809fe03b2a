#include "wintest.h"

#include "helpers.h"

#include <string.h>

namespace wintest {

// The C runtime's rules for splitting a command line, inverted. The runtime splits the
// characters of the child's code page: the second byte of a code page 932 character
// ("\x95\x5C") is no backslash.
std::string quote_argument(const std::string& argument, UINT codepage) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (size_t i = 0; i < argument.size(); i++) {
        char c = argument[i];
        if (IsDBCSLeadByteEx(codepage, (BYTE)c) && i + 1 < argument.size()) {
            quoted.append(backslashes, '\\');
            backslashes = 0;
            quoted += c;
            quoted += argument[++i];
            continue;
        }
        if (c == '\\') {
            backslashes++;
            continue;
        }
        if (c == '"')
            quoted.append(backslashes * 2 + 1, '\\');
        else
            quoted.append(backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

bool same_name(const std::string& entry, const std::string& name) {
    return entry.size() > name.size() && entry[name.size()] == '=' &&
           _strnicmp(entry.c_str(), name.c_str(), name.size()) == 0;
}

// The block of the child: this process's environment with the replaced names dropped
// and the new entries added.
std::string environment_block(const std::vector<std::pair<std::string, std::string>>& set) {
    std::vector<std::string> entries;
    char* block = GetEnvironmentStringsA();
    for (const char* entry = block; *entry; entry += strlen(entry) + 1) {
        bool replaced = false;
        for (const auto& variable : set)
            replaced = replaced || same_name(entry, variable.first);
        if (!replaced)
            entries.push_back(entry);
    }
    FreeEnvironmentStringsA(block);
    for (const auto& variable : set)
        entries.push_back(variable.first + "=" + variable.second);
    std::string result;
    for (const std::string& entry : entries)
        result += entry + '\0';
    return result + '\0';
}

bool start_here(Where where, const std::string& program, const std::string& command_line,
                std::string& environment, const std::string& current_dir,
                const std::string& output_path, Child& child) {
    PROCESS_INFORMATION process = {};
    if (!start_suspended(program, command_line, &environment[0], current_dir, output_path,
                         &process)) {
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot start " << program << ": " << error_text(GetLastError());
        return false;
    }
    child.process = process.hProcess;
    child.thread = process.hThread;
    child.pid = process.dwProcessId;
    return true;
}

// A word for the Unix shell: in single quotes, each quote of its own closed and escaped.
std::string shell_word(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

bool start_suspended(const std::string& program, const std::string& command_line, char* environment,
                     const std::string& current_dir, const std::string& output_path,
                     PROCESS_INFORMATION* process) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
    HANDLE output =
        CreateFileA(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (output == INVALID_HANDLE_VALUE)
        return false;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
    std::vector<char> writable(command_line.begin(), command_line.end());
    writable.push_back('\0');
    BOOL started = CreateProcessA(
        program.c_str(), writable.data(), NULL, NULL, TRUE, CREATE_SUSPENDED, environment,
        current_dir.empty() ? NULL : current_dir.c_str(), &startup, process);
    DWORD error = GetLastError();
    CloseHandle(output);
    SetLastError(error);
    return started != FALSE;
}

std::string unix_path(const std::string& path, UINT codepage) {
    typedef char*(CDECL * UnixFileName)(LPCWSTR);
    UnixFileName unix_file_name = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unix_file_name == NULL)
        return std::string();
    char* name = unix_file_name(widen(path, codepage).c_str());
    if (name == NULL)
        return std::string();
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

bool run_unix_at(Where where, const std::string& command, const std::string& what) {
    return run_unix_in(where, make_temp_dir_at(where, "unix"), command, what);
}

bool run_unix_in(Where where, const std::string& marker_dir, const std::string& command,
                 const std::string& what) {
    std::string marker = marker_dir + "\\done";
    // The script goes through a file: a command line would pass through this process's
    // code page, which cannot carry the bytes of every Unix path (a Japanese folder's).
    std::string script = marker_dir + "\\script";
    make_file_at(where, script, command + "\ntouch " + shell_word(unix_path(marker)) + "\n");
    std::string line = "sh " + quote_argument(unix_path(script));
    std::vector<char> writable(line.begin(), line.end());
    writable.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // A Unix program is no Windows process: Wine hands it to the Unix side and makes no
    // process or thread object for it, so there is no handle to give. It says it started
    // and leaves the structure as it pleases; in a 32-bit process hThread then holds
    // stack garbage that may name a handle of ours (once HKEY_CURRENT_USER's). Nothing of
    // it is used: the marker file alone tells the end.
    if (!CreateProcessA("Z:\\bin\\sh", writable.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                        &process)) {
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot start the Unix shell for " << what << ": " << error_text(GetLastError());
        remove_tree(marker_dir);
        return false;
    }
    DWORD limit = time_limit_ms(UNIX_COMMAND_MS);
    DWORD start = GetTickCount();
    bool done = false;
    // Looked at often: a Unix command mostly takes a few milliseconds, and worlds run many.
    while (!(done = attributes_of(marker) != INVALID_FILE_ATTRIBUTES) &&
           GetTickCount() - start <= limit)
        Sleep(UNIX_POLL_MS);
    // The folder stays for a command that overstayed, so that its marker has a place.
    if (done)
        remove_tree(marker_dir);
    else
        ADD_FAILURE_AT(where.file, where.line) << "waited " << limit << " ms for " << what
                                               << " in vain; the Unix command: " << command;
    return done;
}

// Wine gives a process the code page and UI language of the Unix locale of the Wine
// process that starts it; LANG in the Windows environment block has no effect. So a
// Japanese child is started by wintest_spawn.exe, itself started as the Unix command
// "env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 wine wintest_spawn.exe ...", which hands
// the suspended child's handles back to this process.
bool start_japanese(Where where, const std::string& program, const std::string& command_line,
                    const std::string& environment, const std::string& current_dir,
                    const std::string& output_path, const std::string& io_dir, Child& child) {
    std::string request_path = io_dir + "\\request";
    std::string result_path = io_dir + "\\result";
    char pid[16];
    sprintf(pid, "%lu", (unsigned long)GetCurrentProcessId());
    std::string request = std::string(pid) + '\0' + program + '\0' + command_line + '\0' +
                          current_dir + '\0' + output_path + '\0' + environment;
    make_file_at(where, request_path, request);

    // Wine does not hand its own variables on to a Unix program: the run's DLL overrides
    // (no menu builder writing into the home folder) go on the command line. The run's
    // Wine, the one that started this program, is named by VXWIPE_WINE.
    bool present = false;
    std::string overrides = get_env("WINEDLLOVERRIDES", &present);
    std::string wine = get_env("VXWIPE_WINE", &present);
    std::string command =
        "env LANG=" + std::string(JAPANESE_LOCALE) + " LC_ALL=" + JAPANESE_LOCALE + " LANGUAGE= " +
        (overrides.empty() ? std::string() : "WINEDLLOVERRIDES=" + shell_word(overrides) + " ") +
        (wine.empty() ? std::string("wine") : shell_word(wine)) + " " +
        shell_word(binary_path("wintest_spawn.exe")) + " " + shell_word(request_path) + " " +
        shell_word(result_path);
    if (!run_unix_at(where, command, "the Japanese spawner to start " + program))
        return false;
    std::string answer = read_file(result_path);
    unsigned long long process_handle = 0, thread_handle = 0;
    unsigned long child_pid = 0;
    if (sscanf(answer.c_str(), "ok %llx %llx %lu", &process_handle, &thread_handle, &child_pid) !=
        3) {
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot start " << program << " in Japanese: " << answer;
        return false;
    }
    child.process = (HANDLE)(ULONG_PTR)process_handle;
    child.thread = (HANDLE)(ULONG_PTR)thread_handle;
    child.pid = child_pid;
    return true;
}

} // namespace wintest

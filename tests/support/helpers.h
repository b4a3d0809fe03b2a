// What the verbs of the support files share among themselves; not verbs for the tests.
#pragma once

#include "wintest.h"

#include <string>
#include <vector>

namespace wintest {

const char JAPANESE_LOCALE[] = "ja_JP.UTF-8";
const UINT JAPANESE_CODEPAGE = 932;
const DWORD POLL_MS = 50;     // between two looks at a child, a box or a file
const DWORD UNIX_POLL_MS = 5; // between two looks for the end of a Unix command

// The failure texts of the verify verbs: what should be, then what is.
const char SHOULD_BE_THERE[] = " should be there, but is missing: ";
const char SHOULD_BE_GONE[] = " should be gone, but is there: ";

// text.cpp
std::wstring decode(const std::string& text, UINT codepage);
std::string encode(const std::wstring& wide, UINT codepage);

// wintest.cpp
std::string key_name(HKEY root, const std::string& path);
std::string error_text(DWORD code);
std::string parent_of(const std::string& path);
bool make_dirs(const std::string& path); // with missing parents
std::string get_env(const char* name, bool* present);

// files.cpp
std::wstring widen(const std::string& path, UINT codepage);
DWORD attributes_of(const std::string& path);

// spawn.cpp: starting a child, suspended, here or under the Japanese locale.
struct Child {
    HANDLE process = NULL;
    HANDLE thread = NULL; // suspended
    DWORD pid = 0;
};
std::string quote_argument(const std::string& argument, UINT codepage = CP_ACP);
std::string shell_word(const std::string& text); // for the Unix shell
// run_unix with its script and marker in marker_dir, which it removes once done.
bool run_unix_in(Where where, const std::string& marker_dir, const std::string& command,
                 const std::string& what);
std::string environment_block(const std::vector<std::pair<std::string, std::string>>& set);
bool start_here(Where where, const std::string& program, const std::string& command_line,
                std::string& environment, const std::string& current_dir,
                const std::string& output_path, Child& child);
bool start_japanese(Where where, const std::string& program, const std::string& command_line,
                    const std::string& environment, const std::string& current_dir,
                    const std::string& output_path, const std::string& io_dir, Child& child);

// child.cpp: the windows of a child.
std::vector<HWND> children_of(HWND parent);
bool is_icon_static(HWND control);

// icons.cpp: which system icon a box shows, by its pixels.
Icon read_icon(HWND box);

} // namespace wintest

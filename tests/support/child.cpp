#include "wintest.h"

#include "helpers.h"

#include "log/log.h"

#include <algorithm>
#include <set>

namespace wintest {

std::string window_text(HWND window) {
    wchar_t text[4096];
    int length = GetWindowTextW(window, text, 4096);
    return wide_to_utf8(std::wstring(text, length > 0 ? length : 0));
}

std::string class_of(HWND window) {
    char name[256];
    int length = GetClassNameA(window, name, sizeof name);
    return std::string(name, length > 0 ? length : 0);
}

struct WindowSearch {
    DWORD pid;
    const char* class_name;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_window(HWND window, LPARAM parameter) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && class_of(window) == search->class_name)
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> top_windows(DWORD pid, const char* class_name) {
    WindowSearch search{pid, class_name, {}};
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK collect_child(HWND window, LPARAM parameter) {
    reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    return TRUE;
}

std::vector<HWND> children_of(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, collect_child, reinterpret_cast<LPARAM>(&children));
    return children;
}

bool is_icon_static(HWND control) {
    return class_of(control) == "Static" &&
           (GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
}

std::string strip_ampersand(const std::string& text) {
    std::string result;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '&' && i + 1 < text.size())
            i++;
        result += text[i];
    }
    return result;
}

struct BoxWindow {
    Box box;
    std::vector<int> button_ids; // parallel to box.buttons
};

bool same_controls(const BoxWindow& a, const BoxWindow& b) {
    return a.box.caption == b.box.caption && a.box.text == b.box.text &&
           a.box.buttons == b.box.buttons && a.button_ids == b.button_ids;
}

// Caption, text and buttons as they are now; true when the text control is there and
// every visible button has its label.
bool read_controls(HWND window, BoxWindow& result) {
    Box& box = result.box;
    box.caption = window_text(window);
    box.icon = Icon::None;
    box.wipr_window_hidden = false;
    std::vector<std::pair<int, HWND>> buttons; // by x position
    std::string fallback_text;
    bool text_found = false;
    for (HWND child : children_of(window)) {
        std::string name = class_of(child);
        int id = GetDlgCtrlID(child);
        if (name == "Button" && IsWindowVisible(child)) {
            RECT rect;
            GetWindowRect(child, &rect);
            buttons.push_back({rect.left, child});
        } else if (name == "Static" && !is_icon_static(child)) {
            // Windows and Wine 8 number the text 0xFFFF; older Wine said 100.
            if (id == 0xFFFF || id == 100) {
                box.text = window_text(child);
                text_found = true;
            } else if (fallback_text.empty()) {
                fallback_text = window_text(child);
            }
        }
    }
    if (!text_found)
        box.text = fallback_text;
    std::sort(buttons.begin(), buttons.end(),
              [](const std::pair<int, HWND>& a, const std::pair<int, HWND>& b) {
                  return a.first < b.first;
              });
    bool labelled = !buttons.empty();
    for (const auto& button : buttons) {
        box.buttons.push_back(strip_ampersand(window_text(button.second)));
        result.button_ids.push_back(GetDlgCtrlID(button.second));
        labelled = labelled && !box.buttons.back().empty();
    }
    return text_found && labelled;
}

// Reads a box once it is complete: its text and buttons present, the same in two reads
// in a row. False, with what was there, if it was not within the box limit.
bool read_complete_box(HWND window, BoxWindow& result) {
    DWORD limit = time_limit_ms(BOX_COMPLETE_MS);
    DWORD start = GetTickCount();
    BoxWindow previous;
    bool previous_complete = false;
    for (;;) {
        BoxWindow now;
        bool complete = read_controls(window, now);
        if (complete && previous_complete && same_controls(now, previous)) {
            result = now;
            return true;
        }
        if (!IsWindow(window) || GetTickCount() - start > limit) {
            result = now;
            return false;
        }
        previous = now;
        previous_complete = complete;
        Sleep(POLL_MS);
    }
}

// The label of the box's button with that id, for messages.
std::string label_of(const BoxWindow& box, int id) {
    for (size_t i = 0; i < box.button_ids.size(); i++)
        if (box.button_ids[i] == id)
            return box.box.buttons[i];
    return "id " + std::to_string(id);
}

int closing_answer(const BoxWindow& box) {
    static const int preferred[] = {IDCANCEL, IDNO, IDOK};
    for (int id : preferred)
        if (std::find(box.button_ids.begin(), box.button_ids.end(), id) != box.button_ids.end())
            return id;
    return box.button_ids.empty() ? IDOK : box.button_ids[0];
}

HWND find_new_box(DWORD pid, const std::set<HWND>& handled) {
    for (HWND window : top_windows(pid, "#32770"))
        if (IsWindowVisible(window) && handled.count(window) == 0)
            return window;
    return NULL;
}

// What the driver waits for while a child runs, for the message of an overstay.
std::string awaited(const RunOptions& options, size_t answered, const std::vector<Box>& boxes) {
    if (answered < options.answers.size())
        return "box " + std::to_string(boxes.size() + 1) + " of the " +
               std::to_string(options.answers.size()) + " expected";
    if (boxes.empty())
        return "the end of the run, which should show no box";
    return "the end of the run after the last box (" + boxes.back().caption + ") was answered";
}

std::string describe_boxes(const std::vector<Box>& boxes) {
    if (boxes.empty())
        return "no box\n";
    std::string text =
        std::to_string(boxes.size()) + (boxes.size() == 1 ? " box" : " boxes") + ":\n";
    for (size_t i = 0; i < boxes.size(); i++) {
        std::string buttons;
        for (const std::string& button : boxes[i].buttons)
            buttons += (buttons.empty() ? "" : " | ") + button;
        text += "  " + std::to_string(i + 1) + ". \"" + boxes[i].caption + "\" / \"" +
                boxes[i].text + "\" / [" + buttons + "] / icon " + icon_name(boxes[i].icon) + "\n";
    }
    return text;
}

void PrintTo(const ExitCode& code, std::ostream* out) {
    static const struct {
        DWORD code;
        const char* name;
    } names[] = {{0xC0000005, "access violation"},
                 {0xC00000FD, "stack overflow"},
                 {0xC0000094, "integer division by zero"},
                 {0xC0000409, "stack buffer overrun"},
                 {0xC0000135, "DLL not found"},
                 {0xC0000139, "entry point not found"}};
    if (code.value < 0xC0000000 && code.value != KILLED_EXIT_CODE) {
        *out << code.value;
        return;
    }
    char text[16];
    sprintf(text, "0x%08lX", (unsigned long)code.value);
    *out << text;
    if (code.value == KILLED_EXIT_CODE)
        *out << " (killed by the test)";
    for (const auto& known : names)
        if (known.code == code.value)
            *out << " (" << known.name << ")";
}

RunResult run_program_at(Where where, const RunOptions& options) {
    RunResult result;
    set_windows_version_at(where, options.program, options.windows_version);
    result.temp_dir = options.temp_dir.empty() ? make_temp_dir_at(where, "run") : options.temp_dir;
    std::string io_dir = make_temp_dir_at(where, "io");
    std::string output_path = io_dir + "\\output";

    std::vector<std::pair<std::string, std::string>> variables = {{"TMP", result.temp_dir},
                                                                  {"TEMP", result.temp_dir}};
    for (const auto& variable : options.env)
        variables.push_back(variable);
    std::string environment = environment_block(variables);

    std::string program =
        options.program_path.empty() ? binary_path(options.program) : options.program_path;
    UINT codepage = options.japanese ? JAPANESE_CODEPAGE : CP_ACP;
    std::string command_line = quote_argument(program, codepage);
    std::string title = options.program;
    for (const std::string& argument : options.args) {
        command_line += " " + quote_argument(argument, codepage);
        title += " " + argument;
    }

    Child child;
    bool started = options.japanese
                       ? start_japanese(where, program, command_line, environment,
                                        options.current_dir, output_path, io_dir, child)
                       : start_here(where, program, command_line, environment, options.current_dir,
                                    output_path, child);
    if (!started) {
        remove_tree(io_dir);
        return result;
    }
    ResumeThread(child.thread);
    CloseHandle(child.thread);

    DWORD limit = time_limit_ms(CHILD_RUN_MS);
    DWORD start = GetTickCount();
    size_t next_answer = 0;
    std::set<HWND> handled;
    for (;;) {
        if (WaitForSingleObject(child.process, POLL_MS) == WAIT_OBJECT_0)
            break;
        if (GetTickCount() - start > limit) {
            TerminateProcess(child.process, KILLED_EXIT_CODE);
            WaitForSingleObject(child.process, 5000);
            result.timed_out = true;
            ADD_FAILURE_AT(where.file, where.line)
                << title << " was still running after " << limit << " ms, waiting for "
                << awaited(options, next_answer, result.boxes)
                << ": killed. The boxes that came: " << describe_boxes(result.boxes);
            break;
        }
        HWND window = find_new_box(child.pid, handled);
        if (window == NULL)
            continue;
        BoxWindow box;
        if (!read_complete_box(window, box))
            ADD_FAILURE_AT(where.file, where.line)
                << "box " << result.boxes.size() + 1 << " of " << title
                << " did not show its text and buttons within " << time_limit_ms(BOX_COMPLETE_MS)
                << " ms; it showed " << describe_boxes({box.box});
        box.box.icon = read_icon(window);
        if (result.boxes.empty()) {
            std::vector<HWND> wipr = top_windows(child.pid, "wipr");
            box.box.wipr_window_hidden = !wipr.empty() && !IsWindowVisible(wipr[0]);
        }
        handled.insert(window);
        result.boxes.push_back(box.box);
        int answer;
        if (options.any_boxes) {
            size_t index = result.boxes.size() - 1;
            size_t count = box.button_ids.size();
            unsigned pick = index < options.picks.size() ? options.picks[index] : 0;
            answer = count == 0 ? IDOK : box.button_ids[pick % count];
        } else if (next_answer < options.answers.size()) {
            answer = options.answers[next_answer++];
        } else {
            answer = closing_answer(box);
            ADD_FAILURE_AT(where.file, where.line)
                << "unexpected box: " << box.box.caption << "/" << box.box.text << "\nafter the "
                << options.answers.size() << " expected; closed with its " << label_of(box, answer)
                << " button. The boxes that came: " << describe_boxes(result.boxes);
        }
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                     (LPARAM)GetDlgItem(window, answer));
    }
    GetExitCodeProcess(child.process, &result.exit_code.value);
    CloseHandle(child.process);
    result.output = read_file(output_path);
    remove_tree(io_dir);

    if (!result.timed_out && !options.any_boxes && next_answer < options.answers.size())
        ADD_FAILURE_AT(where.file, where.line)
            << "missing box: " << title << " ended (exit code "
            << testing::PrintToString(result.exit_code) << ") with "
            << options.answers.size() - next_answer
            << " answer(s) not used. The boxes that came: " << describe_boxes(result.boxes);

    // A Japanese child's temporary directory is in code page 932.
    std::string log_path = result.temp_dir + "\\" + LOG_FILE_NAME;
    result.log_exists =
        GetFileAttributesW(widen(log_path, codepage).c_str()) != INVALID_FILE_ATTRIBUTES;
    if (result.log_exists)
        result.log = split_lines(read_file(log_path, codepage));
    return result;
}

} // namespace wintest

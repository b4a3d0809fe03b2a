#include "boxes.h"

#include "strings.h"

#include <map>

namespace wintest {

namespace {

const std::vector<const char*> OK = {"OK"};

// Wine's own labels in a Japanese run.
std::string button_label(const char* english, bool japanese) {
    if (!japanese)
        return english;
    static const std::map<std::string, std::string> labels = {
        {"OK", "OK"}, {"Cancel", "キャンセル"}, {"Yes", "はい(Y)"}, {"No", "いいえ(N)"}};
    return labels.at(english);
}

Box expected_box(Where where, const ExpectedBox& box, bool japanese, const std::string& fill) {
    Box result;
    result.caption = expected_text_at(where, box.caption, japanese);
    result.text = expected_box_text_at(where, box, japanese, fill);
    for (const char* button : box.buttons)
        result.buttons.push_back(button_label(button, japanese));
    result.icon = box.icon;
    return result;
}

bool same_box(const Box& a, const Box& b) {
    return a.caption == b.caption && a.text == b.text && a.buttons == b.buttons && a.icon == b.icon;
}

} // namespace

const ExpectedBox CONFIRM = {1000, 1001, {"OK", "Cancel"}, Icon::None};
const ExpectedBox ASK_SETTINGS = {1000, 1005, {"Yes", "No"}, Icon::None};
const ExpectedBox DONE_ALL = {1000, 1002, OK, Icon::None};
const ExpectedBox DONE_REMAINS = {1000, 1003, OK, Icon::None};
const ExpectedBox WARN_NO_DIR = {1060, 1064, OK, Icon::Exclamation};
const ExpectedBox WARN_DIR_STAYS = {1060, 1063, OK, Icon::Exclamation};
const ExpectedBox WARN_DIR_UNFILLED = {1060, 1063, OK, Icon::Exclamation, nullptr, true};
const ExpectedBox WARN_SHORTCUTS = {1060, 1065, OK, Icon::Exclamation};
const ExpectedBox FATAL_NO_COMMAND = {1040, 1041, OK, Icon::Stop, "fail to uninstal inforamtion"};
const ExpectedBox FATAL_NO_START = {1040, 1041, OK, Icon::Stop, "cannot execute IS process."};

std::string expected_box_text_at(Where where, const ExpectedBox& box, bool japanese,
                                 const std::string& fill) {
    std::string text = expected_text_at(where, box.text, japanese);
    if (box.fatal_message != nullptr)
        return std::string(box.fatal_message) + "\n\n" + text;
    size_t placeholder = text.find("%s");
    if (!box.unfilled && placeholder != std::string::npos)
        text.replace(placeholder, 2, fill);
    return text;
}

namespace {

// The platform's box type that the buttons and the icon make.
unsigned int box_type(const ExpectedBox& box) {
    if (box.buttons.size() == 2)
        return std::string(box.buttons[0]) == "Yes" ? MB_YESNO : MB_OKCANCEL;
    if (box.icon == Icon::Exclamation)
        return MB_OK | MB_ICONEXCLAMATION;
    return box.icon == Icon::Stop ? MB_OK | MB_ICONHAND : MB_OK;
}

// How the log names each answer, written out as a user reads it.
const std::map<int, std::string> ANSWER_NAMES = {
    {IDOK, "OK"}, {IDCANCEL, "Cancel"}, {IDYES, "Yes"}, {IDNO, "No"}};

} // namespace

std::vector<std::string> expected_box_lines_at(Where where, const ExpectedBox& box, bool japanese,
                                               const std::string& fill, int answer, bool silent) {
    std::vector<std::string> lines = {"  > ShowMessage(" + std::to_string(box_type(box)) + ")",
                                      "SM: caption: " +
                                          expected_text_at(where, box.caption, japanese)};
    std::string text = expected_box_text_at(where, box, japanese, fill);
    for (size_t at = 0;;) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        lines.push_back(line.empty() ? "SM: text:" : "SM: text: " + line);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    lines.push_back("SM: answer: " + std::to_string(answer) + " (" + ANSWER_NAMES.at(answer) +
                    "), " + (silent ? "silent" : "given"));
    return lines;
}

void verify_boxes_at(Where where, const std::vector<Box>& boxes,
                     const std::vector<ExpectedBox>& expected, bool japanese,
                     const std::string& fill) {
    std::vector<Box> wanted;
    for (const ExpectedBox& box : expected)
        wanted.push_back(expected_box(where, box, japanese, fill));
    bool same = wanted.size() == boxes.size();
    for (size_t i = 0; same && i < boxes.size(); i++)
        same = same_box(wanted[i], boxes[i]);
    if (!same)
        ADD_FAILURE_AT(where.file, where.line)
            << "the boxes differ\nexpected " << describe_boxes(wanted) << "came "
            << describe_boxes(boxes);
}

} // namespace wintest

// The product's message boxes as a test expects them: texts by their string ids, so that
// one table serves English and Japanese runs alike.
#pragma once

#include "wintest.h"

#include <string>
#include <vector>

namespace wintest {

struct ExpectedBox {
    unsigned int caption;             // string id
    unsigned int text;                // string id; a "%s" in it is filled (see below)
    std::vector<const char*> buttons; // Wine's English labels, left to right
    Icon icon;
    const char* fatal_message = nullptr; // the English literal in front of the failure text
    bool unfilled = false;               // the "%s" stays: the filled text would not fit
};

extern const ExpectedBox CONFIRM;           // Uninstall?  OK / Cancel
extern const ExpectedBox ASK_SETTINGS;      // Delete the settings too?  Yes / No
extern const ExpectedBox DONE_ALL;          // completed, nothing left
extern const ExpectedBox DONE_REMAINS;      // completed, something left
extern const ExpectedBox WARN_NO_DIR;       // no install directory found
extern const ExpectedBox WARN_DIR_STAYS;    // the install directory stays, named
extern const ExpectedBox WARN_DIR_UNFILLED; // the same, too long to be named
extern const ExpectedBox WARN_SHORTCUTS;    // shortcuts stay
extern const ExpectedBox FATAL_NO_COMMAND;  // -IS: no uninstall command of the installer
extern const ExpectedBox FATAL_NO_START;    // -IS: the installer's uninstaller did not start

// The text the box shows in a run of that language: the fatal message, a blank line and
// the failure text, or the text with its "%s" filled with fill (UTF-8).
std::string expected_box_text_at(Where, const ExpectedBox& box, bool japanese,
                                 const std::string& fill);

// The lines with which the run's log records the box (UTF-8): its type, caption, each line
// of its text, and the answer, given by the user or taken silently.
std::vector<std::string> expected_box_lines_at(Where, const ExpectedBox& box, bool japanese,
                                               const std::string& fill, int answer, bool silent);

// Fails unless the boxes that came are the expected ones in order, each with its caption,
// text, buttons and icon; the failure lists the boxes expected and those that came.
void verify_boxes_at(Where, const std::vector<Box>& boxes, const std::vector<ExpectedBox>& expected,
                     bool japanese = false, const std::string& fill = std::string());

} // namespace wintest

#define expected_box_text(...) wintest::expected_box_text_at(WT_HERE, __VA_ARGS__)
#define expected_box_lines(...) wintest::expected_box_lines_at(WT_HERE, __VA_ARGS__)
#define verify_boxes(...) wintest::verify_boxes_at(WT_HERE, __VA_ARGS__)

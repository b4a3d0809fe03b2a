// The texts the program's string tables must hold, in UTF-8.
#pragma once

#include "wintest.h"

#include <string>

namespace wintest {

struct ExpectedString {
    unsigned int id;
    const char* english;
    const char* japanese;
};

extern const ExpectedString EXPECTED_STRINGS[];
extern const int EXPECTED_STRING_COUNT;

// The text of id in the language asked for; fails the test if id is unknown.
std::string expected_text_at(Where, unsigned int id, bool japanese);

} // namespace wintest

#define expected_text(...) wintest::expected_text_at(WT_HERE, __VA_ARGS__)

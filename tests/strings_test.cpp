// The string tables as the product loads them, in an English and a Japanese run.
#include "app/messages.h"
#include "app/resource.h"
#include "app/state.h"

#include "tests/support/strings.h"
#include "wintest.h"

#include <stdio.h>

using namespace wintest;

namespace {

// "<id> <hex bytes>" lines of load_strings.exe, after its "acp <cp> ui <lang>" line.
struct Loaded {
    std::string header;
    std::vector<std::pair<unsigned, std::string>> texts;
};

Loaded load_in_child(bool japanese) {
    RunOptions options;
    options.program = "load_strings.exe";
    options.japanese = japanese;
    options.args = {binary_path("vxwipe.exe")};
    for (int i = 0; i < EXPECTED_STRING_COUNT; i++)
        options.args.push_back(std::to_string(EXPECTED_STRINGS[i].id));
    RunResult run = run_program(options);
    EXPECT_EQ(0u, run.exit_code);
    remove_tree(run.temp_dir);
    Loaded loaded;
    std::vector<std::string> lines = split_lines(run.output);
    if (lines.empty())
        return loaded;
    loaded.header = lines[0];
    for (size_t i = 1; i < lines.size(); i++) {
        unsigned id = 0;
        char hex[4096] = "";
        sscanf(lines[i].c_str(), "%u %4095s", &id, hex);
        std::string bytes;
        for (const char* digit = hex; digit[0] && digit[1]; digit += 2) {
            unsigned value;
            sscanf(digit, "%2x", &value);
            bytes += (char)value;
        }
        loaded.texts.push_back({id, bytes});
    }
    return loaded;
}

void expect_tables(bool japanese, UINT codepage) {
    Loaded loaded = load_in_child(japanese);
    char header[64];
    sprintf(header, "acp %u ui %04x", codepage, japanese ? 0x0411 : 0x0409);
    EXPECT_EQ(header, loaded.header) << "the run's code page and UI language";
    ASSERT_EQ((size_t)EXPECTED_STRING_COUNT, loaded.texts.size());
    for (int i = 0; i < EXPECTED_STRING_COUNT; i++) {
        const ExpectedString& expected = EXPECTED_STRINGS[i];
        SCOPED_TRACE("string " + std::to_string(expected.id));
        EXPECT_EQ(expected.id, loaded.texts[i].first);
        std::string text = japanese ? expected.japanese : expected.english;
        EXPECT_EQ(from_utf8(text, codepage), loaded.texts[i].second)
            << "loaded: " << to_utf8(loaded.texts[i].second, codepage);
    }
}

} // namespace

TEST(Strings, EveryIdOfTheEnglishTable) {
    expect_tables(false, 1252);
}

TEST(Strings, EveryIdOfTheJapaneseTableInCodePage932) {
    expect_tables(true, 932);
}

TEST(Strings, ANumberWithoutAStringLoadsAsEmptyText) {
    RunOptions options;
    options.program = "load_strings.exe";
    options.args = {binary_path("vxwipe.exe"), "158", "1004", "999"};
    RunResult run = run_program(options);
    std::vector<std::string> expected = {"acp 1252 ui 0409", "158 ", "1004 ", "999 "};
    EXPECT_EQ(expected, split_lines(run.output));
    remove_tree(run.temp_dir);
}

// The template is filled while argument, template and terminator fit 1024 characters;
// beyond that the warning is the template itself, never a cut text.
TEST(Strings, ATemplateThatWouldNotFitStaysUnfilled) {
    HINSTANCE saved = g_state.hInstance;
    g_state.hInstance =
        LoadLibraryExA(binary_path("vxwipe.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, g_state.hInstance);
    const std::string pattern = "%s directory can not be removed.";
    const size_t fits = TEXT_CAPACITY - pattern.size() - 2; // length + template + 1 < 1024
    struct Case {
        size_t length;
        bool filled;
    };
    const Case cases[] = {{3, true}, {fits, true}, {fits + 1, false}, {1010, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE("argument of " + std::to_string(c.length) + " characters");
        std::string argument(c.length, 'd');
        std::string text = ComposeFromTemplate(IDS_DIR_NOT_REMOVED, argument.c_str());
        EXPECT_EQ(c.filled ? argument + " directory can not be removed." : pattern, text);
    }
    FreeLibrary(g_state.hInstance);
    g_state.hInstance = saved;
}

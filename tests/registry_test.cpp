// The registry layer on the real (Wine) registry: the wrappers' trace lines, checked
// string reads, key-tree deletion, and the two registry steps of the uninstall.
#include "removal/registry.h"

#include "app/state.h"
#include "log/log.h"

#include "logmatch.h"
#include "product.h"
#include "wintest.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdarg>
#include <cstring>
#include <map>

using namespace wintest;

namespace {

const char SCRATCH[] = "Software\\VxWipeTest\\Registry";
const char SCRATCH_PARENT[] = "Software\\VxWipeTest";

std::string format(const char* pattern, ...) {
    char text[2048];
    va_list arguments;
    va_start(arguments, pattern);
    vsnprintf(text, sizeof text, pattern, arguments);
    va_end(arguments);
    return text;
}

std::string hex(HKEY key) {
    return format("%x", (unsigned)(ULONG_PTR)key);
}

std::string scratch(const std::string& name) {
    return std::string(SCRATCH) + "\\" + name;
}

HKEY open_key(HKEY root, const std::string& path, REGSAM access) {
    HKEY key = NULL;
    LONG status = RegOpenKeyExA(root, path.c_str(), 0, access, &key);
    EXPECT_EQ(ERROR_SUCCESS, status) << "open " << path;
    return key;
}

// A DACL for Everyone on a key: denied, what is denied; granted, all the rest.
void set_everyone_access(HKEY root, const std::string& path, DWORD denied, DWORD options = 0) {
    HKEY key = NULL;
    EXPECT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(root, path.c_str(), options, READ_CONTROL | WRITE_DAC, &key))
        << "open " << path;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = NULL;
    ASSERT_TRUE(
        AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
    EXPLICIT_ACCESSA entries[2] = {};
    for (EXPLICIT_ACCESSA& entry : entries) {
        entry.grfInheritance = NO_INHERITANCE;
        entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
        entry.Trustee.ptstrName = (LPSTR)everyone;
    }
    entries[0].grfAccessMode = DENY_ACCESS;
    entries[0].grfAccessPermissions = denied;
    entries[1].grfAccessMode = GRANT_ACCESS;
    entries[1].grfAccessPermissions = KEY_ALL_ACCESS;
    PACL acl = NULL;
    ULONG count = denied != 0 ? 2 : 1;
    EXPECT_EQ(ERROR_SUCCESS,
              (LONG)SetEntriesInAclA(count, denied != 0 ? entries : entries + 1, NULL, &acl));
    EXPECT_EQ(ERROR_SUCCESS,
              (LONG)SetSecurityInfo(key, SE_REGISTRY_KEY,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                    NULL, NULL, acl, NULL));
    LocalFree(acl);
    FreeSid(everyone);
    RegCloseKey(key);
}

class Registry : public ::testing::Test {
  protected:
    void SetUp() override {
        delete_key_tree(HKEY_CURRENT_USER, SCRATCH);
        add_key(HKEY_CURRENT_USER, SCRATCH);
    }
    void TearDown() override {
        delete_key_tree(HKEY_CURRENT_USER, SCRATCH_PARENT);
    }
};

// ---- the wrappers ---------------------------------------------------------------

TEST_F(Registry, CloseLineNamesEveryRootAndPrintsOtherHandlesBare) {
    struct Row {
        HKEY key;
        LONG status;
        const char* printed;
    };
    const Row rows[] = {
        {HKEY_CLASSES_ROOT, 0, "80000000(HKCR)"},  {HKEY_CURRENT_USER, 0, "80000001(HKCU)"},
        {HKEY_LOCAL_MACHINE, 0, "80000002(HKLM)"}, {HKEY_USERS, 0, "80000003(HKU)"},
        {HKEY_PERFORMANCE_DATA, 0, "80000004"},    {HKEY_CURRENT_CONFIG, 0, "80000005(HKCC)"},
        {HKEY_DYN_DATA, 0, "80000006(HKDD)"},      {NULL, ERROR_INVALID_HANDLE, "0"},
    };
    LogCapture log;
    std::vector<std::string> expected;
    for (const Row& row : rows) {
        EXPECT_EQ(row.status, MyRegCloseKey(row.key)) << row.printed;
        expected.push_back(format("%ld = MyRegCloseKey(%s)", row.status, row.printed));
    }
    HKEY key = (HKEY)0x1234;
    EXPECT_EQ(ERROR_SUCCESS, MyRegOpenKeyEx(HKEY_CURRENT_USER, SCRATCH, 0, KEY_READ, &key));
    EXPECT_EQ(ERROR_SUCCESS, MyRegCloseKey(key));
    expected.push_back(format("0 = MyRegOpenKeyEx(80000001(HKCU), %s, ..., result:%s)", SCRATCH,
                              hex(key).c_str()));
    expected.push_back(format("0 = MyRegCloseKey(%s)", hex(key).c_str()));
    EXPECT_EQ("", std::string(RegRootName(key)));
    verify_lines(log.lines(), expected);
}

TEST_F(Registry, OpenAndCreateLinesShowStatusNameAndResult) {
    LogCapture log;
    HKEY missing = (HKEY)0x1234;
    LONG status =
        MyRegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\VxWipeTest-none", 0, KEY_READ, &missing);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, status);
    HKEY made = NULL;
    DWORD disposition = 0;
    std::string path = scratch("Made");
    EXPECT_EQ(ERROR_SUCCESS, MyRegCreateKeyEx(HKEY_CURRENT_USER, path.c_str(), 0, NULL, 0,
                                              KEY_ALL_ACCESS, NULL, &made, &disposition));
    EXPECT_EQ((DWORD)REG_CREATED_NEW_KEY, disposition);
    RegCloseKey(made);
    verify_lines(
        log.lines(),
        {format("2 = MyRegOpenKeyEx(80000002(HKLM), SOFTWARE\\VxWipeTest-none, ..., "
                "result:%s)",
                hex(missing).c_str()),
         format("0 = MyRegCreateKeyEx(80000001(HKCU), %s, ..., result:{A}, ...)", path.c_str())});
    verify_key_present(HKEY_CURRENT_USER, path);
}

TEST_F(Registry, QueryLinePrintsOnlyTerminatedStringData) {
    // The byte after the counted data is not a terminator, or the platform would count it.
    const char unterminated[] = "0123456789abcdefX";
    set_string(HKEY_CURRENT_USER, SCRATCH, "Text", "C:\\Program Files\\VORTA");
    set_value(HKEY_CURRENT_USER, SCRATCH, "Expand", REG_EXPAND_SZ, "%WINDIR%\\x", 11);
    set_dword(HKEY_CURRENT_USER, SCRATCH, "Number", 7);
    set_value(HKEY_CURRENT_USER, SCRATCH, "Full", REG_SZ, unterminated, 16);
    struct Row {
        const char* name;
        bool passType;
        DWORD capacity;
        LONG status;
        const char* printed;
    };
    const Row rows[] = {
        {"Text", true, 64, ERROR_SUCCESS, "C:\\Program Files\\VORTA"},
        {"Text", false, 64, ERROR_SUCCESS, "..."},
        {"Expand", true, 64, ERROR_SUCCESS, "..."},
        {"Number", true, 64, ERROR_SUCCESS, "..."},
        {"Text", true, 8, ERROR_MORE_DATA, "..."},
        {"Missing", true, 64, ERROR_FILE_NOT_FOUND, "..."},
        {"Full", true, 16, ERROR_SUCCESS, "..."},
    };
    HKEY key = open_key(HKEY_CURRENT_USER, SCRATCH, KEY_READ);
    LogCapture log;
    std::vector<std::string> expected;
    for (const Row& row : rows) {
        // A terminator right after the buffer: a line that read past it would show data.
        char buffer[65];
        memset(buffer, 'G', sizeof buffer);
        buffer[row.capacity] = '\0';
        DWORD type = REG_SZ;
        DWORD size = row.capacity;
        LONG status = MyRegQueryValueEx(key, row.name, NULL, row.passType ? &type : NULL,
                                        (LPBYTE)buffer, &size);
        EXPECT_EQ(row.status, status) << row.name;
        expected.push_back(format("%ld = MyRegQueryValueEx(%s, %s, ..., %s, ...)", row.status,
                                  hex(key).c_str(), row.name, row.printed));
    }
    verify_lines(log.lines(), expected);
    RegCloseKey(key);
}

TEST_F(Registry, SetLinePrintsStringDataOnly) {
    HKEY key = open_key(HKEY_CURRENT_USER, SCRATCH, KEY_ALL_ACCESS);
    DWORD number = 5;
    LogCapture log;
    EXPECT_EQ(ERROR_SUCCESS, MyRegSetValueEx(key, "Text", 0, REG_SZ, (const BYTE*)"abc", 4));
    EXPECT_EQ(ERROR_SUCCESS,
              MyRegSetValueEx(key, "Number", 0, REG_DWORD, (const BYTE*)&number, sizeof number));
    EXPECT_EQ(ERROR_SUCCESS, MyRegSetValueEx(key, "Bare", 0, REG_SZ, (const BYTE*)"abcdef", 3));
    std::string h = hex(key);
    verify_lines(log.lines(), {format("0 = MyRegSetValueEx(%s, Text, ..., abc, ...)", h.c_str()),
                               format("0 = MyRegSetValueEx(%s, Number, ..., ..., ...)", h.c_str()),
                               format("0 = MyRegSetValueEx(%s, Bare, ..., ..., ...)", h.c_str())});
    RegCloseKey(key);
    EXPECT_EQ("abc", read_string(HKEY_CURRENT_USER, SCRATCH, "Text"));
}

TEST_F(Registry, QueryStringValueNeverHandsOutAnUnterminatedText) {
    set_string(HKEY_CURRENT_USER, SCRATCH, "Text", "C:\\VORTA");
    set_value(HKEY_CURRENT_USER, SCRATCH, "Full", REG_SZ, "0123456789abcdefX", 16);
    set_value(HKEY_CURRENT_USER, SCRATCH, "Short", REG_SZ, "abcdeX", 5);
    set_value(HKEY_CURRENT_USER, SCRATCH, "Empty", REG_SZ, "", 0);
    struct Row {
        const char* name;
        DWORD capacity;
        LONG status;
        const char* text;
    };
    const Row rows[] = {
        {"Text", 64, ERROR_SUCCESS, "C:\\VORTA"},
        {"Text", 9, ERROR_SUCCESS, "C:\\VORTA"}, // exactly fits with its terminator
        {"Text", 8, ERROR_MORE_DATA, ""},
        {"Full", 16, ERROR_MORE_DATA, ""},     // fills the buffer, no room for a terminator
        {"Short", 16, ERROR_SUCCESS, "abcde"}, // room left: the terminator is added
        {"Empty", 16, ERROR_SUCCESS, ""},
        {"Missing", 16, ERROR_FILE_NOT_FOUND, ""},
    };
    HKEY key = open_key(HKEY_CURRENT_USER, SCRATCH, KEY_READ);
    for (const Row& row : rows) {
        char buffer[65];
        memset(buffer, 'G', sizeof buffer);
        LONG status = QueryStringValue(key, row.name, buffer, row.capacity);
        EXPECT_EQ(row.status, status) << row.name << " in " << row.capacity;
        EXPECT_STREQ(row.text, buffer) << row.name << " in " << row.capacity;
        EXPECT_EQ('G', buffer[row.capacity]) << "written past the buffer";
    }
    // With a type variable the line shows the text, as the Start-menu reads need.
    LogCapture log;
    char buffer[64];
    DWORD type = REG_SZ;
    EXPECT_EQ(ERROR_SUCCESS, QueryStringValue(key, "Text", &type, buffer, sizeof buffer));
    EXPECT_EQ(ERROR_SUCCESS, QueryStringValue(key, "Text", buffer, sizeof buffer));
    EXPECT_EQ(ERROR_MORE_DATA, QueryStringValue(key, "Full", &type, buffer, 16));
    std::string h = hex(key);
    verify_lines(log.lines(),
                 {format("0 = MyRegQueryValueEx(%s, Text, ..., C:\\VORTA, ...)", h.c_str()),
                  format("0 = MyRegQueryValueEx(%s, Text, ..., ..., ...)", h.c_str()),
                  format("0 = MyRegQueryValueEx(%s, Full, ..., ..., ...)", h.c_str())});
    RegCloseKey(key);
}

// ---- key-tree deletion -----------------------------------------------------------

TEST_F(Registry, TreeIsDeletedDeepestFirstAndSiblingsFromTheHighestIndex) {
    struct Row {
        std::vector<const char*> keys; // below the top key
        std::vector<std::string> lines;
    };
    std::string top = scratch("XSERVER");
    const Row rows[] = {
        {{"A\\B"},
         {"[" + top + "] - 1", "  [A] - 1", "    [B] - 0", "    0 = RegDeleteKey({A}, B)",
          "  0 = RegDeleteKey({T}, A)", "0 = RegDeleteKey(80000001, " + top + ")"}},
        {{"A\\A1", "B\\B1", "B\\B2"},
         {"[" + top + "] - 2", "  [B] - 2", "    [B2] - 0", "    0 = RegDeleteKey({B}, B2)",
          "    [B1] - 0", "    0 = RegDeleteKey({B}, B1)", "  0 = RegDeleteKey({T}, B)",
          "  [A] - 1", "    [A1] - 0", "    0 = RegDeleteKey({A}, A1)",
          "  0 = RegDeleteKey({T}, A)", "0 = RegDeleteKey(80000001, " + top + ")"}},
    };
    for (const Row& row : rows) {
        for (const char* key : row.keys)
            add_key(HKEY_CURRENT_USER, top + "\\" + key);
        LogCapture log;
        EXPECT_EQ(ERROR_SUCCESS, MyRegDeleteKeySub(HKEY_CURRENT_USER, top.c_str()));
        verify_lines(log.lines(), row.lines);
        verify_key_missing(HKEY_CURRENT_USER, top);
        verify_key_present(HKEY_CURRENT_USER, SCRATCH);
    }
}

TEST_F(Registry, MissingKeyGivesOnlyItsFailLine) {
    std::string missing = scratch("Missing");
    for (int depth : {0, 2}) {
        LogCapture log;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND,
                  MyRegDeleteKeySub(HKEY_CURRENT_USER, missing.c_str(), depth));
        verify_lines(log.lines(), {std::string(depth * 2, ' ') +
                                   "  MyRegDeleteKeySub: fail to open registry key(80000001\\" +
                                   missing + "), rval:2"});
    }
}

TEST_F(Registry, LinkKeysInTheTreeAreNotFollowed) {
    std::string top = scratch("XSERVER");
    std::string outside = scratch("Outside");
    add_key(HKEY_CURRENT_USER, top + "\\Plain");
    set_string(HKEY_CURRENT_USER, outside, "Keep", "me");
    add_link_key(HKEY_CURRENT_USER, top + "\\Away", outside);
    add_link_key(HKEY_CURRENT_USER, top + "\\Loop", top);

    LogCapture log;
    LONG status = MyRegDeleteKeySub(HKEY_CURRENT_USER, top.c_str());
    std::vector<std::string> lines = log.lines();

    // Neither link was entered: the key outside keeps its value and no loop ran away.
    verify_value_present(HKEY_CURRENT_USER, outside, "Keep");
    verify_key_missing(HKEY_CURRENT_USER, top + "\\Plain");
    EXPECT_NE(ERROR_SUCCESS, status);
    verify_lines(lines,
                 {"[" + top + "] - 3", "  [Plain] - 0", "  0 = RegDeleteKey({T}, Plain)",
                  "    MyRegDeleteKeySub: link key(Loop) is not followed",
                  "    MyRegDeleteKeySub: link key(Away) is not followed",
                  format("%x", (unsigned)status) + " = RegDeleteKey(80000001, " + top + ")"});
    delete_link_key(HKEY_CURRENT_USER, top + "\\Away");
    delete_link_key(HKEY_CURRENT_USER, top + "\\Loop");
}

// The key named for deletion may itself be a link: what it points to stays, and so does
// the link.
TEST_F(Registry, TopKeyThatIsALinkIsNotEntered) {
    std::string top = scratch("XSERVER");
    std::string outside = scratch("Victim");
    set_string(HKEY_CURRENT_USER, outside, "Keep", "me");
    add_key(HKEY_CURRENT_USER, outside + "\\Below");
    add_link_key(HKEY_CURRENT_USER, top, outside);

    LogCapture log;
    EXPECT_NE(ERROR_SUCCESS, MyRegDeleteKeySub(HKEY_CURRENT_USER, top.c_str()));

    verify_lines(log.lines(), {"  MyRegDeleteKeySub: link key(" + top + ") is not followed"});
    verify_value_present(HKEY_CURRENT_USER, outside, "Keep");
    verify_key_present(HKEY_CURRENT_USER, outside + "\\Below");
    EXPECT_TRUE(is_link_key(HKEY_CURRENT_USER, top));
    delete_link_key(HKEY_CURRENT_USER, top);
}

// Each key that a run deletes as a whole tree made a link to a key of another owner: a
// silent run leaves the other keys whole, and the links too.
TEST(RegistryLinks, RunDeletesNoKeyThatATopKeyLinksTo) {
    struct Linked {
        HKEY root;
        const char* key;
        const char* victim;
    };
    const Linked linked[] = {
        {HKEY_CURRENT_USER, USER_SETTINGS, "Software\\VxWipeVictim\\Settings"},
        {HKEY_CLASSES_ROOT, ".vxp", "VxWipeVictim.Extension"},
        {HKEY_CLASSES_ROOT, "Vortax.Configuration.File", "VxWipeVictim.Type"},
        {HKEY_LOCAL_MACHINE, MACHINE_SETTINGS, "Software\\VxWipeVictim\\Machine"},
        {HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, "Software\\VxWipeVictim\\Entry"},
    };
    std::vector<std::string> expected;
    for (const Linked& l : linked) {
        set_string(l.root, l.victim, "Keep", "me");
        add_key(l.root, std::string(l.victim) + "\\Below");
        add_link_key(l.root, l.key, l.victim);
        expected.push_back(std::string("  MyRegDeleteKeySub: link key(") + l.key +
                           ") is not followed");
    }
    RunOptions options;
    options.args = {"-silent"};
    RunResult run = run_program(options);

    EXPECT_EQ(0u, run.exit_code);
    EXPECT_EQ(expected, lines_starting(last_run(run.log), "  MyRegDeleteKeySub: link key("));
    for (const Linked& l : linked) {
        verify_value_present(l.root, l.victim, "Keep");
        verify_key_present(l.root, std::string(l.victim) + "\\Below");
        EXPECT_TRUE(is_link_key(l.root, l.key)) << l.key;
        delete_link_key(l.root, l.key);
        delete_key_tree(l.root, l.victim);
    }
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        delete_key_tree(root, "Software\\VxWipeVictim");
        RegDeleteKeyA(root, VORTA_KEY); // only when nothing else is in it
    }
    remove_tree(run.temp_dir);
}

// A link that refuses the probe cannot be told from a plain key: it is not entered either.
TEST_F(Registry, LinkThatDeniesTheProbeIsNotFollowed) {
    std::string top = scratch("XSERVER");
    std::string outside = scratch("Outside");
    set_string(HKEY_CURRENT_USER, outside, "Keep", "me");
    add_key(HKEY_CURRENT_USER, outside + "\\Below");
    add_link_key(HKEY_CURRENT_USER, top + "\\Away", outside);
    set_everyone_access(HKEY_CURRENT_USER, top + "\\Away", KEY_QUERY_VALUE, REG_OPTION_OPEN_LINK);

    LogCapture log;
    MyRegDeleteKeySub(HKEY_CURRENT_USER, top.c_str());
    std::vector<std::string> lines = log.lines();

    verify_value_present(HKEY_CURRENT_USER, outside, "Keep");
    verify_key_present(HKEY_CURRENT_USER, outside + "\\Below");
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("[" + top + "] - 1", lines[0]);
    EXPECT_EQ("    MyRegDeleteKeySub: link key(Away) is not followed", lines[1]);
    EXPECT_EQ(" = RegDeleteKey(80000001, " + top + ")", lines[2].substr(lines[2].find(' ')));
    delete_link_key(HKEY_CURRENT_USER, top + "\\Away");
}

// A class name longer than the 260 characters that the count's query takes: the count
// comes all the same, and the tree goes.
TEST_F(Registry, KeyWithALongClassNameIsDeletedWithItsSubkeys) {
    std::string top = scratch("Classy");
    std::string className(300, 'c');
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, top.c_str(), 0, &className[0], 0,
                                             KEY_ALL_ACCESS, NULL, &key, NULL));
    RegCloseKey(key);
    add_key(HKEY_CURRENT_USER, top + "\\A");
    add_key(HKEY_CURRENT_USER, top + "\\B");

    LogCapture log;
    EXPECT_EQ(ERROR_SUCCESS, MyRegDeleteKeySub(HKEY_CURRENT_USER, top.c_str()));

    verify_lines(log.lines(),
                 {"[" + top + "] - 2", "  [B] - 0", "  0 = RegDeleteKey({T}, B)", "  [A] - 0",
                  "  0 = RegDeleteKey({T}, A)", "0 = RegDeleteKey(80000001, " + top + ")"});
    verify_key_missing(HKEY_CURRENT_USER, top);
}

// Everyone is denied a right that the full-access open asks for: KEY_SET_VALUE, or the
// DELETE right itself. Either way the open fails, so that subkey stays, and a key that
// still has a subkey cannot be deleted on the NT line.
const DWORD UNDELETABLE_MASKS[] = {KEY_SET_VALUE, DELETE};

void make_five(const std::string& top, DWORD denied) {
    for (const char* name : {"s0", "s1", "s2", "s3", "s4"})
        add_key(HKEY_CURRENT_USER, top + "\\" + name);
    set_everyone_access(HKEY_CURRENT_USER, top + "\\s2", denied);
}

void unlock_five(const std::string& top) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, (top + "\\s2").c_str(), 0, READ_CONTROL, &key) == 0) {
        RegCloseKey(key);
        set_everyone_access(HKEY_CURRENT_USER, top + "\\s2", 0);
    }
}

TEST_F(Registry, UndeletableSubkeyKeepsItsParentOnTheNtLine) {
    for (DWORD denied : UNDELETABLE_MASKS) {
        std::string top = scratch("Five");
        make_five(top, denied);
        LogCapture log;
        EXPECT_EQ(ERROR_ACCESS_DENIED, MyRegDeleteKeySub(HKEY_CURRENT_USER, top.c_str()));
        verify_lines(log.lines(),
                     {"[" + top + "] - 5", "  [s4] - 0", "  0 = RegDeleteKey({T}, s4)",
                      "  [s3] - 0", "  0 = RegDeleteKey({T}, s3)",
                      "    MyRegDeleteKeySub: fail to open registry key({T}\\s2), rval:5",
                      "  [s1] - 0", "  0 = RegDeleteKey({T}, s1)", "  [s0] - 0",
                      "  0 = RegDeleteKey({T}, s0)", "5 = RegDeleteKey(80000001, " + top + ")"});
        verify_key_present(HKEY_CURRENT_USER, top + "\\s2");
        for (const char* gone : {"s0", "s1", "s3", "s4"})
            verify_key_missing(HKEY_CURRENT_USER, top + "\\" + gone);
        unlock_five(top);
        delete_key_tree(HKEY_CURRENT_USER, top);
    }
}

// The same trees deleted by a program that Wine runs as Windows 98. There the access
// mask is not checked (Wine opens with the most it may), and RegDeleteKey would take
// subkeys along.
TEST_F(Registry, UndeletableSubkeyInAWindows98Run) {
    std::string settable = scratch("NoSetValue");
    std::string deletable = scratch("NoDelete");
    make_five(settable, KEY_SET_VALUE);
    make_five(deletable, DELETE);
    RunOptions options;
    options.program = "regtree_delete.exe";
    options.windows_version = "win98";
    options.args = {settable, deletable};
    RunResult run = run_program(options);
    EXPECT_EQ(0u, run.exit_code);
    std::vector<std::string> lines = last_run(run.log);
    std::vector<std::string> expected;
    // Denied KEY_SET_VALUE: nothing that Windows 98 knows stops it; all of it goes.
    expected.push_back("[" + settable + "] - 5");
    for (const char* name : {"s4", "s3", "s2", "s1", "s0"}) {
        expected.push_back(std::string("  [") + name + "] - 0");
        expected.push_back(std::string("  0 = RegDeleteKey({T}, ") + name + ")");
    }
    expected.push_back("0 = RegDeleteKey(80000001, " + settable + ")");
    // Denied DELETE: the subkey opens and stays; Wine never deletes a key that still has
    // a subkey, so its parent stays too.
    expected.push_back("[" + deletable + "] - 5");
    for (const char* name : {"s4", "s3", "s2", "s1", "s0"}) {
        expected.push_back(std::string("  [") + name + "] - 0");
        expected.push_back(std::string("  ") + (strcmp(name, "s2") == 0 ? "5" : "0") +
                           " = RegDeleteKey({U}, " + name + ")");
    }
    expected.push_back("5 = RegDeleteKey(80000001, " + deletable + ")");
    verify_lines(lines, expected);
    verify_key_missing(HKEY_CURRENT_USER, settable);
    verify_key_present(HKEY_CURRENT_USER, deletable + "\\s2");
    unlock_five(settable);
    unlock_five(deletable);
    remove_tree(run.temp_dir);
}

// ---- the registry steps of the uninstall ------------------------------------------

// Siblings whose names begin with the product's key names.
const std::string USER_NEIGHBOUR = std::string(USER_SETTINGS) + "2";
const std::string ENTRY_NEIGHBOUR = std::string(PRODUCT_ENTRY) + "2";

class Steps : public ::testing::Test {
  protected:
    void SetUp() override {
        HKEY key;
        vortaExisted_ = RegOpenKeyExA(HKEY_CURRENT_USER, VORTA_KEY, 0, KEY_READ, &key) == 0;
        if (vortaExisted_)
            RegCloseKey(key);
        add_key(HKEY_CURRENT_USER, USER_NEIGHBOUR);
        add_key(HKEY_LOCAL_MACHINE, ENTRY_NEIGHBOUR);
        g_state.errorCount = 0;
    }
    void TearDown() override {
        delete_key_tree(HKEY_CURRENT_USER, USER_SETTINGS);
        delete_key_tree(HKEY_CURRENT_USER, USER_NEIGHBOUR);
        if (!vortaExisted_)
            delete_key_tree(HKEY_CURRENT_USER, VORTA_KEY);
        delete_key_tree(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY);
        delete_key_tree(HKEY_LOCAL_MACHINE, ENTRY_NEIGHBOUR);
    }
    bool vortaExisted_ = false;
};

TEST_F(Steps, RemoveRegistryDeletesTheUserSettingsTree) {
    add_key(HKEY_CURRENT_USER, std::string(USER_SETTINGS) + "\\Display");
    set_string(HKEY_CURRENT_USER, USER_SETTINGS, "Language", "en");
    LogCapture log;
    RemoveRegistry();
    verify_lines(log.lines(),
                 {"=== RemoveRegistry ===",
                  "0 = MyRegOpenKeyEx(80000001(HKCU), Software\\VORTA\\XSERVER, ..., result:{P})",
                  "0 = MyRegCloseKey({P})", "[Software\\VORTA\\XSERVER] - 1", "  [Display] - 0",
                  "  0 = RegDeleteKey({T}, Display)",
                  "0 = RegDeleteKey(80000001, Software\\VORTA\\XSERVER)"});
    verify_key_missing(HKEY_CURRENT_USER, USER_SETTINGS);
    verify_key_present(HKEY_CURRENT_USER, USER_NEIGHBOUR);
    EXPECT_EQ(0, g_state.errorCount);
}

TEST_F(Steps, RemoveRegistryWithoutTheKey) {
    LogCapture log;
    RemoveRegistry();
    verify_lines(log.lines(),
                 {"=== RemoveRegistry ===",
                  "2 = MyRegOpenKeyEx(80000001(HKCU), Software\\VORTA\\XSERVER, ..., result:0)",
                  "  fail open HKCU registry key(Software\\VORTA\\XSERVER), rval:2"});
    verify_key_present(HKEY_CURRENT_USER, USER_NEIGHBOUR);
    EXPECT_EQ(0, g_state.errorCount);
}

TEST_F(Steps, RemoveInstallInformationDeletesTheUninstallEntry) {
    set_string(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, "InstallLocation", "C:\\VORTA");
    add_key(HKEY_LOCAL_MACHINE, std::string(PRODUCT_ENTRY) + "\\Extra");
    LogCapture log;
    EXPECT_EQ(ERROR_SUCCESS, RemoveInstallInformation());
    verify_lines(log.lines(), {"=== RemoveInstallInformation ===",
                               std::string("remove myself registry key(") + PRODUCT_ENTRY + ")",
                               std::string("[") + PRODUCT_ENTRY + "] - 1", "  [Extra] - 0",
                               "  0 = RegDeleteKey({T}, Extra)",
                               std::string("0 = RegDeleteKey(80000002, ") + PRODUCT_ENTRY + ")"});
    verify_key_missing(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY);
    verify_key_present(HKEY_LOCAL_MACHINE, ENTRY_NEIGHBOUR);
    EXPECT_EQ(0, g_state.errorCount);
}

TEST_F(Steps, RemoveInstallInformationWithoutTheEntry) {
    LogCapture log;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RemoveInstallInformation());
    verify_lines(log.lines(),
                 {"=== RemoveInstallInformation ===",
                  std::string("remove myself registry key(") + PRODUCT_ENTRY + ")",
                  std::string("  MyRegDeleteKeySub: fail to open registry key(80000002\\") +
                      PRODUCT_ENTRY + "), rval:2"});
    verify_key_present(HKEY_LOCAL_MACHINE, ENTRY_NEIGHBOUR);
    EXPECT_EQ(0, g_state.errorCount);
}

// ---- value removal by prefix -------------------------------------------------------

TEST_F(Registry, ValueByPrefixRemovesTheFirstMatchingString) {
    struct Value {
        const char* name;
        DWORD type;
    };
    struct Row {
        const char* title;
        std::vector<Value> values; // in this order
        const char* prefix;
        REGSAM access;
        int result;
        int failures;
        std::vector<std::string> lines;
        const char* removed; // nullptr: every value stays
    };
    const Row rows[] = {
        {"a DWORD match is passed over",
         {{"Alpha", REG_SZ}, {"VxPath", REG_DWORD}, {"VxName", REG_SZ}, {"VxOther", REG_SZ}},
         "Vx",
         KEY_ALL_ACCESS,
         1,
         0,
         {"  -> ### found value(VxName), and remove"},
         "VxName"},
        {"an empty prefix takes the first string",
         {{"Count", REG_DWORD}, {"First", REG_SZ}, {"Second", REG_SZ}},
         "",
         KEY_ALL_ACCESS,
         1,
         0,
         {"  -> ### found value(First), and remove"},
         "First"},
        {"no values",
         {},
         "Vx",
         KEY_ALL_ACCESS,
         0,
         0,
         {"  no more values in this key.", "  -> not found value."},
         nullptr},
        {"the comparison is case-sensitive",
         {{"vxName", REG_SZ}, {"Expand", REG_EXPAND_SZ}},
         "Vx",
         KEY_ALL_ACCESS,
         0,
         0,
         {"  no more values in this key.", "  -> not found value."},
         nullptr},
        {"a value that may not be deleted",
         {{"VxName", REG_SZ}},
         "Vx",
         KEY_QUERY_VALUE,
         0,
         1,
         {"  -> ### found value(VxName), but fail remove, rval is 5"},
         nullptr},
        {"values that may not be listed",
         {{"VxName", REG_SZ}},
         "Vx",
         KEY_SET_VALUE,
         0,
         1,
         {"  error: fail RegEnumValue(), rval is 5", "  -> not found value."},
         nullptr},
    };
    std::string path = scratch("Values");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.title);
        add_key(HKEY_CURRENT_USER, path);
        for (const Value& value : row.values) {
            if (value.type == REG_DWORD)
                set_dword(HKEY_CURRENT_USER, path, value.name, 1);
            else
                set_value(HKEY_CURRENT_USER, path, value.name, value.type, "x", 2);
        }
        HKEY key = open_key(HKEY_CURRENT_USER, path, row.access);
        LogCapture log;
        int failures = -1;
        EXPECT_EQ(row.result, RemoveRegistryValueByPrefix(key, row.prefix, &failures));
        EXPECT_EQ(row.failures, failures);
        verify_lines(log.lines(), row.lines);
        RegCloseKey(key);
        for (const Value& value : row.values) {
            if (row.removed != nullptr && strcmp(value.name, row.removed) == 0)
                verify_value_missing(HKEY_CURRENT_USER, path, value.name);
            else
                verify_value_present(HKEY_CURRENT_USER, path, value.name);
        }
        delete_key_tree(HKEY_CURRENT_USER, path);
    }
}

} // namespace

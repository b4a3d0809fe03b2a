#include "removal/boot_delete.h"

#include "wintest.h"

#include <random>
#include <string>
#include <vector>

using namespace wintest;

namespace {

const std::string HEADER = "[rename]\r\n";
const char SESSION_MANAGER_KEY[] = "System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t PENDING_VALUE[] = L"PendingFileRenameOperations";

std::string wininit_path() {
    char directory[MAX_PATH] = "";
    GetWindowsDirectoryA(directory, MAX_PATH);
    return std::string(directory) + "\\WININIT.INI";
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Keeps the prefix's own WININIT.INI out of a test's way and puts it back afterwards.
class ListFileGuard {
  public:
    ListFileGuard() : existed_(exists(wininit_path())) {
        if (existed_)
            content_ = read_file(wininit_path());
        DeleteFileA(wininit_path().c_str());
    }
    ~ListFileGuard() {
        DeleteFileA(wininit_path().c_str());
        if (existed_)
            make_file(wininit_path(), content_);
    }

  private:
    bool existed_;
    std::string content_;
};

// A file this process holds open, so that nobody can delete it now.
class HeldFile {
  public:
    explicit HeldFile(const std::string& path, DWORD share = 0) : path_(path) {
        make_file(path, "in use");
        handle_ = CreateFileA(path.c_str(), GENERIC_READ, share, NULL, OPEN_EXISTING, 0, NULL);
        EXPECT_NE(INVALID_HANDLE_VALUE, handle_) << "cannot hold " << path;
    }
    ~HeldFile() {
        release();
        DeleteFileA(path_.c_str());
    }
    void release() {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    const std::string& path() const {
        return path_;
    }

  private:
    std::string path_;
    HANDLE handle_;
};

// The alternate (8.3) name that the file system reports for an existing path; "" if none.
std::string alternate_name(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return "";
    FindClose(search);
    return found.cAlternateFileName;
}

// An existing path with each component's alternate name where the file system has one.
std::string short_form(const std::string& path) {
    size_t separator = path.find('\\');
    std::string result = path.substr(0, separator);
    while (separator != std::string::npos) {
        size_t next = path.find('\\', separator + 1);
        std::string component = path.substr(separator + 1, next - separator - 1);
        std::string alternate = alternate_name(path.substr(0, next));
        result += "\\" + (alternate.empty() ? component : alternate);
        separator = next;
    }
    return result;
}

std::string entry_for(const std::string& path) {
    return "NUL=" + short_form(path) + "\r\n";
}

// The list file after adding an entry: the entry opens the first "[rename]\r\n" section
// found in the text before any NUL byte, or the header and the entry are appended.
std::string model_edit(const std::string& old, const std::string& entry) {
    std::string text = old.substr(0, old.find('\0'));
    size_t header = text.find(HEADER);
    if (header == std::string::npos)
        return old + HEADER + entry;
    std::string result = old;
    result.insert(header + HEADER.size(), entry);
    return result;
}

// ---- the move-on-reboot requests, as Wine keeps them in the registry ---------------

std::wstring widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

struct RawValue {
    bool present = false;
    DWORD type = 0;
    std::vector<BYTE> data;
};

RawValue read_pending() {
    RawValue value;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SESSION_MANAGER_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExW(key, PENDING_VALUE, NULL, &value.type, NULL, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.present = RegQueryValueExW(key, PENDING_VALUE, NULL, &value.type, value.data.data(),
                                         &size) == ERROR_SUCCESS;
        value.data.resize(size);
    }
    RegCloseKey(key);
    return value;
}

void write_pending(const RawValue& value) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SESSION_MANAGER_KEY, 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open the Session Manager key";
        return;
    }
    if (value.present)
        RegSetValueExW(key, PENDING_VALUE, 0, value.type, value.data.data(),
                       (DWORD)value.data.size());
    else
        RegDeleteValueW(key, PENDING_VALUE);
    RegCloseKey(key);
}

// Puts the requests back as they were before the test.
class PendingGuard {
  public:
    PendingGuard() : saved_(read_pending()) {}
    ~PendingGuard() {
        write_pending(saved_);
    }

  private:
    RawValue saved_;
};

// Whether the requests hold "delete path" (the NT form of the path, then an empty target).
bool deletion_pending(const std::string& path) {
    RawValue value = read_pending();
    if (!value.present || value.type != REG_MULTI_SZ)
        return false;
    std::vector<std::wstring> strings;
    const wchar_t* text = (const wchar_t*)value.data.data();
    size_t count = value.data.size() / sizeof(wchar_t);
    for (size_t start = 0; start < count && text[start] != L'\0';) {
        std::wstring item(text + start);
        strings.push_back(item);
        start += item.size() + 1;
        if (start < count && text[start] == L'\0') { // an empty target
            strings.push_back(L"");
            start++;
        }
    }
    std::wstring source = L"\\??\\" + widen(path);
    for (size_t i = 0; i + 1 < strings.size(); i++) {
        if (strings[i] == source && strings[i + 1].empty())
            return true;
    }
    return false;
}

RunResult run_win98_at(Where where, const std::vector<std::string>& paths) {
    RunOptions options;
    options.program = "boot_delete_tool.exe";
    options.windows_version = "win98";
    options.args = paths;
    return run_program_at(where, options);
}
#define run_win98(...) run_win98_at(WT_HERE, __VA_ARGS__)

} // namespace

// ---- gone now ----------------------------------------------------------------------

TEST(BootDelete, FileThatCanGoNowIsDeletedAndNothingIsScheduled) {
    typedef int (*Method)(const char*);
    static const struct {
        const char* name;
        Method method;
    } methods[] = {{"DeleteFileNowOrAtBoot", DeleteFileNowOrAtBoot},
                   {"ScheduleDeleteNT", ScheduleDeleteNT},
                   {"ScheduleDeleteWin9x", ScheduleDeleteWin9x}};
    ListFileGuard list;
    PendingGuard pending;
    RawValue pendingBefore = read_pending();
    std::string dir = make_temp_dir("boot-now");
    for (const auto& method : methods) {
        SCOPED_TRACE(method.name);
        std::string present = dir + "\\Deletable File.txt";
        std::string missing = dir + "\\Never There.txt";
        make_file(present);
        LogCapture log;

        EXPECT_EQ(1, method.method(present.c_str()));
        EXPECT_EQ(1, method.method(missing.c_str()));

        verify_file_missing(present);
        std::vector<std::string> expected = {"    now remove file [" + present + "]",
                                             "    now remove file [" + missing + "]"};
        EXPECT_EQ(expected, log.lines());
        EXPECT_FALSE(exists(wininit_path())) << "WININIT.INI was created";
        EXPECT_EQ(pendingBefore.data, read_pending().data);
    }
    // Held open without sharing, the list file would refuse an attempt to open it.
    make_file(wininit_path(), "[rename]\r\n");
    HANDLE held =
        CreateFileA(wininit_path().c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(1, ScheduleDeleteWin9x((dir + "\\Never There.txt").c_str()));
    CloseHandle(held);
    EXPECT_EQ("[rename]\r\n", read_file(wininit_path()));
    remove_tree(dir);
}

// A name that the platform cannot look up may still be there: it is never reported as
// gone, and each method goes on to its request for the next start.
TEST(BootDelete, UnanswerableLookupIsNotTakenForAGoneFile) {
    ListFileGuard list;
    PendingGuard pending;
    std::string dir = make_temp_dir("boot-invalid");
    std::string invalid = dir + "\\Setup<1>.dll";
    LogCapture log;

    EXPECT_EQ(1, ScheduleDeleteNT(invalid.c_str()));
    EXPECT_EQ(1, ScheduleDeleteWin9x(invalid.c_str()));

    // Wine takes the request for a name it cannot look up.
    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("    next boot, remove file (" + invalid + ").", lines[0]);
    EXPECT_TRUE(deletion_pending(invalid));
    std::string shortDir = short_form(dir);
    EXPECT_EQ("    next boot, remove file [" + shortDir + "\\Setup<1>.dll]", lines[1]);
    EXPECT_EQ("[rename]\r\nNUL=" + shortDir + "\\Setup<1>.dll\r\n", read_file(wininit_path()));
    remove_tree(dir);
}

// ---- the NT line -------------------------------------------------------------------

TEST(BootDelete, NtRegistersFileInUseForNextStart) {
    PendingGuard pending;
    std::string dir = make_temp_dir("boot-nt");
    // Also past the 128 characters an OFSTRUCT can take.
    std::string longName = dir + "\\" + std::string(200 - dir.size(), 'L') + ".txt";
    HeldFile exclusive(dir + "\\Held Exclusively.dll");
    HeldFile readable(longName, FILE_SHARE_READ | FILE_SHARE_WRITE);
    LogCapture log;

    EXPECT_NE(0, ScheduleDeleteNT(exclusive.path().c_str()));
    EXPECT_NE(0, DeleteFileNowOrAtBoot(readable.path().c_str()));

    verify_file_present(exclusive.path());
    verify_file_present(readable.path());
    EXPECT_TRUE(deletion_pending(exclusive.path()));
    EXPECT_TRUE(deletion_pending(readable.path()));
    std::vector<std::string> expected = {"    next boot, remove file (" + exclusive.path() + ").",
                                         "    next boot, remove file (" + readable.path() + ")."};
    EXPECT_EQ(expected, log.lines());
    exclusive.release();
    readable.release();
    remove_tree(dir);
}

TEST(BootDelete, RefusedRequestsReportFailure) {
    ListFileGuard list;
    PendingGuard pending;
    std::string dir = make_temp_dir("boot-refused");
    HeldFile held(dir + "\\Held.dll");
    std::string tooLong = dir + "\\" + std::string(300, 'x');
    // Wine refuses to add to a request list that is not a multi-string.
    RawValue wrongType;
    wrongType.present = true;
    wrongType.type = REG_SZ;
    wrongType.data = {'x', 0, 0, 0};
    write_pending(wrongType);
    LogCapture log;

    EXPECT_EQ(0, ScheduleDeleteNT(held.path().c_str()));
    EXPECT_EQ(0, ScheduleDeleteNT(tooLong.c_str()));
    EXPECT_EQ(0, ScheduleDeleteWin9x(tooLong.c_str()));

    std::vector<std::string> lines = log.lines();
    ASSERT_EQ(3u, lines.size());
    std::string refused = "    ERRO: cannot remove file (" + held.path() + "), code = ";
    EXPECT_TRUE(starts_with(lines[0], refused) && lines[0].size() > refused.size() &&
                lines[0].find_first_not_of("0123456789", refused.size()) == std::string::npos)
        << lines[0];
    EXPECT_EQ("    ERRO: cannot remove file (" + tooLong + "), code = 206", lines[1]);
    EXPECT_EQ("    something error is happend about [" + tooLong + "]", lines[2]);
    verify_file_present(held.path());
    EXPECT_EQ(REG_SZ, read_pending().type);
    EXPECT_FALSE(exists(wininit_path()));
    held.release();
    remove_tree(dir);
}

// ---- short names -------------------------------------------------------------------

TEST(BootDelete, ShortPathNameTakesAlternateNamesComponentByComponent) {
    std::string dir = make_temp_dir("boot-short");
    std::string longDir = dir + "\\Long Directory Name";
    make_file(longDir + "\\Another Long File.txt");
    make_file(dir + "\\short\\FILE.TXT");
    make_file(dir + "\\x y");
    std::string shortDir = short_form(dir);
    std::string alternateDir = alternate_name(longDir);
    std::string alternateFile = alternate_name(longDir + "\\Another Long File.txt");
    // Wine makes up 8.3 names for long ones, as Windows does.
    for (const std::string& alternate : {alternateDir, alternateFile}) {
        EXPECT_TRUE(!alternate.empty() && alternate.size() <= 12 &&
                    alternate.find('~') != std::string::npos)
            << "[" << alternate << "]";
    }
    EXPECT_EQ("", alternate_name(dir + "\\short"));
    static const char* const unchangedNames[] = {"NoBackslash Long Name.txt", "C:", ""};
    struct Case {
        std::string path;
        std::string expected;
    };
    std::vector<Case> cases = {
        {longDir + "\\Another Long File.txt",
         shortDir + "\\" + alternateDir + "\\" + alternateFile},
        {dir + "\\short\\FILE.TXT", shortDir + "\\short\\FILE.TXT"},
        {longDir + "\\", shortDir + "\\" + alternateDir + "\\"},
        {dir + "\\Missing Long Name\\Long Directory Name\\x y",
         shortDir + "\\Missing Long Name\\Long Directory Name\\x y"},
        {longDir + "\\Missing.txt", shortDir + "\\" + alternateDir + "\\Missing.txt"},
        // A wildcard would find some other file, and "." or ".." another name of a
        // directory on the way.
        {dir + "\\Long*", shortDir + "\\Long*"},
        {dir + "\\x ?", shortDir + "\\x ?"},
        {longDir + "\\..\\short\\FILE.TXT",
         shortDir + "\\" + alternateDir + "\\..\\short\\FILE.TXT"},
        {longDir + "\\.\\Another Long File.txt",
         shortDir + "\\" + alternateDir + "\\.\\" + alternateFile},
        {longDir + "\\..", shortDir + "\\" + alternateDir + "\\.."},
    };
    for (const char* name : unchangedNames)
        cases.push_back({name, name});
    for (const Case& c : cases) {
        char buffer[1024];
        strcpy(buffer, c.path.c_str());
        ToShortPathName(buffer, sizeof buffer);
        EXPECT_EQ(c.expected, buffer) << "from " << c.path;
    }
    remove_tree(dir);
}

TEST(BootDelete, ShortPathNameStaysWithinItsCapacity) {
    std::string dir = make_temp_dir("boot-capacity");
    make_file(dir + "\\x y");
    std::string path = short_form(dir) + "\\x y";
    std::string expected = short_form(path);
    ASSERT_GT(expected.size(), path.size());
    for (size_t capacity : {expected.size() + 1, expected.size(), path.size() + 1}) {
        SCOPED_TRACE(capacity);
        char buffer[1024];
        memset(buffer, 'Z', sizeof buffer);
        strcpy(buffer, path.c_str());

        ToShortPathName(buffer, capacity);

        EXPECT_EQ(capacity > expected.size() ? expected : path, buffer);
        for (size_t i = capacity; i < sizeof buffer; i++) {
            if (i > path.size() && buffer[i] != 'Z') {
                ADD_FAILURE() << "written at " << i;
                break;
            }
        }
    }
    remove_tree(dir);
}

TEST(BootDelete, Win9xRefusesShortFormLongerThanAPath) {
    ListFileGuard list;
    std::string dir = make_temp_dir("boot-deep");
    // Each "a b" grows to an 8.3 name of eight characters.
    std::string deep = dir;
    while (deep.size() < 200)
        deep += "\\a b";
    HeldFile held(deep + "\\f");
    ASSERT_GT(short_form(held.path()).size(), (size_t)MAX_PATH - 1);
    LogCapture log;

    EXPECT_EQ(0, ScheduleDeleteWin9x(held.path().c_str()));

    std::vector<std::string> expected = {"    something error is happend about [" + held.path() +
                                         "]"};
    EXPECT_EQ(expected, log.lines());
    EXPECT_FALSE(exists(wininit_path()));
    held.release();
    remove_tree(dir);
}

// ---- Windows 98: WININIT.INI -------------------------------------------------------

// The prefix's own list file kept out of the way, and a folder for the files held open.
class BootDeleteWin98 : public testing::Test {
  protected:
    void TearDown() override {
        remove_tree(dir);
    }
    ListFileGuard list;
    std::string dir = make_temp_dir("boot-98");
};

TEST_F(BootDeleteWin98, NewListFileHoldsHeaderAndEntry) {
    HeldFile held(dir + "\\Program In Use.exe");

    RunResult run = run_win98({held.path()});

    EXPECT_EQ(1u, run.exit_code);
    verify_file_present(held.path());
    EXPECT_EQ(HEADER + entry_for(held.path()), read_file(wininit_path()));
    std::vector<std::string> expected = {"    next boot, remove file [" + short_form(held.path()) +
                                         "]"};
    EXPECT_EQ(expected, last_run(run.log));
    remove_tree(run.temp_dir);
}

TEST_F(BootDeleteWin98, EntriesOpenTheExistingSection) {
    HeldFile first(dir + "\\First Held Library.dll");
    HeldFile second(dir + "\\second.dll", FILE_SHARE_READ | FILE_SHARE_WRITE);
    std::string before = "[boot]\r\nshell=Explorer.exe\r\n[rename]\r\n";
    std::string after = "NUL=C:\\OLD.TXT\r\nC:\\NEW.DLL=C:\\TEMP\\NEW.DLL\r\n[386Enh]\r\nx=1\r\n";
    make_file(wininit_path(), before + after);

    RunResult run = run_win98({first.path(), second.path()});

    EXPECT_EQ(3u, run.exit_code);
    EXPECT_EQ(before + entry_for(second.path()) + entry_for(first.path()) + after,
              read_file(wininit_path()));
    remove_tree(run.temp_dir);
}

TEST_F(BootDeleteWin98, HeaderOnlyInTheExactFormIsFound) {
    static const struct {
        const char* old;
        bool found;
    } cases[] = {
        {"[Rename]\r\nNUL=C:\\OLD.TXT\r\n", false},
        {"[rename]\nNUL=C:\\OLD.TXT\n", false},
        {"[boot]\r\nshell=Explorer.exe", false},
        {"[boot]\r\n[rename]\r\n", true},
    };
    HeldFile held(dir + "\\Held Library.dll");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.old);
        make_file(wininit_path(), c.old);

        RunResult run = run_win98({held.path()});

        EXPECT_EQ(1u, run.exit_code);
        std::string old = c.old;
        std::string expected =
            c.found ? old + entry_for(held.path()) : old + HEADER + entry_for(held.path());
        EXPECT_EQ(expected, read_file(wininit_path()));
        remove_tree(run.temp_dir);
    }
}

TEST_F(BootDeleteWin98, ListFileHeldByAnotherProgramStaysUnchanged) {
    HeldFile target(dir + "\\Held Library.dll");
    std::string content = "[rename]\r\nNUL=C:\\OLD.TXT\r\n";
    make_file(wininit_path(), content);
    HANDLE listFile =
        CreateFileA(wininit_path().c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, listFile);

    RunResult run = run_win98({target.path(), dir + "\\Missing.dll"});

    CloseHandle(listFile);
    EXPECT_EQ(2u, run.exit_code);
    EXPECT_EQ(content, read_file(wininit_path()));
    std::vector<std::string> expected = {"    something error is happend about [" +
                                             short_form(target.path()) + "]",
                                         "    now remove file [" + dir + "\\Missing.dll]"};
    EXPECT_EQ(expected, last_run(run.log));
    remove_tree(run.temp_dir);
}

// ---- the edit, against a model -----------------------------------------------------

namespace {

// List-file contents with lines close to the header in every way the search must tell
// apart, CR LF, bare LF, bare CR and missing line ends, NUL bytes and stray bytes.
std::string generate_content(std::mt19937& random, size_t maxLines) {
    static const char* const lines[] = {"[rename]",
                                        "[rename]",
                                        "[rename]",
                                        "[Rename]",
                                        "[RENAME]",
                                        "[renam",
                                        "rename]",
                                        " [rename]",
                                        "[rename] ",
                                        "[boot]",
                                        "shell=Explorer.exe",
                                        "NUL=C:\\OLD~1.TXT",
                                        "C:\\NEW.DLL=C:\\TEMP\\NEW.DLL",
                                        ""};
    static const char* const ends[] = {"\r\n", "\r\n", "\r\n", "\n", "\r", "\n\r", ""};
    std::string content;
    size_t count = random() % (maxLines + 1);
    for (size_t i = 0; i < count; i++) {
        switch (random() % 10) {
        case 0:
            content += '\0';
            break;
        case 1:
            for (size_t n = random() % 16; n > 0; n--)
                content += (char)(random() % 256);
            break;
        default:
            content += lines[random() % (sizeof lines / sizeof lines[0])];
            break;
        }
        content += ends[random() % (sizeof ends / sizeof ends[0])];
    }
    if (random() % 25 == 0) // beyond a page or two of the mapping
        content.insert(random() % (content.size() + 1), 4000 + random() % 70000, 'x');
    return content;
}

std::string generate_entry(std::mt19937& random) {
    static const char characters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789~_.\\";
    std::string path = "C:";
    for (size_t n = 1 + random() % 257; n > 0; n--)
        path += characters[random() % (sizeof characters - 1)];
    return "NUL=" + path + "\r\n";
}

} // namespace

TEST(BootDeleteEdit, InsertsLikeTheModelWithinTheRegion) {
    std::mt19937 random(20240917);
    const size_t GUARD = 32;
    int headerFound = 0, headerMissing = 0, headerOnlyAfterNul = 0;
    for (int i = 0; i < 4000; i++) {
        std::string old = generate_content(random, 12);
        std::string entry = generate_entry(random);
        std::string expected = model_edit(old, entry);
        SCOPED_TRACE(testing::Message()
                     << "case " << i << " old [" << old << "] entry [" << entry << "]");
        std::string text = old.substr(0, old.find('\0'));
        headerFound += text.find(HEADER) != std::string::npos;
        headerMissing += old.find(HEADER) == std::string::npos;
        headerOnlyAfterNul +=
            text.find(HEADER) == std::string::npos && old.find(HEADER) != std::string::npos;
        // The mapping's size, or just enough; beyond the old end lie headers that must not
        // be found, and beyond the capacity a guard that must stay.
        DWORD capacity =
            (DWORD)(i % 2 ? old.size() + entry.size() + HEADER.size() : expected.size());
        size_t partial = HEADER.size() - 1; // a header begun at the old end completes there
        while (partial > 0 && (old.size() < partial ||
                               old.compare(old.size() - partial, partial, HEADER, 0, partial)))
            partial--;
        std::string region = old + HEADER.substr(partial);
        while (region.size() < capacity)
            region += HEADER;
        region.resize(capacity);
        region.append(GUARD, 'G');
        std::string tooSmall = region;

        DWORD size = InsertRenameEntry(&region[0], capacity, (DWORD)old.size(), entry.data(),
                                       (DWORD)entry.size());
        DWORD refused = InsertRenameEntry(&tooSmall[0], (DWORD)expected.size() - 1,
                                          (DWORD)old.size(), entry.data(), (DWORD)entry.size());

        ASSERT_EQ(expected.size(), size);
        ASSERT_EQ(expected, region.substr(0, size));
        ASSERT_EQ(std::string(GUARD, 'G'), region.substr(capacity));
        ASSERT_EQ(0u, refused);
        ASSERT_EQ(region.size(), tooSmall.size());
    }
    // The generator reaches every kind of content.
    EXPECT_GT(headerFound, 500);
    EXPECT_GT(headerMissing, 500);
    EXPECT_GT(headerOnlyAfterNul, 100);
}

TEST(BootDeleteEdit, RefusedRegionIsLeftUntouched) {
    std::string region = "[boot]\r\n[rename]\r\nNUL=C:\\A.TXT\r\n";
    const DWORD oldSize = (DWORD)region.size();
    region.append(5, '\0');
    std::string before = region;
    const char entry[] = "NUL=C:\\B.TXT\r\n";

    EXPECT_EQ(
        0u, InsertRenameEntry(&region[0], (DWORD)region.size(), oldSize, entry, sizeof entry - 1));
    EXPECT_EQ(0u, InsertRenameEntry(&region[0], oldSize - 1, oldSize, entry, sizeof entry - 1));
    EXPECT_EQ(before, region);
}

TEST(BootDeleteEdit, FileMappingGivesTheModelsFileExactly) {
    ListFileGuard list;
    std::string dir = make_temp_dir("boot-mapping");
    HeldFile held(dir + "\\Held Library.dll");
    std::string entry = entry_for(held.path());
    std::mt19937 random(7031);
    LogCapture log;
    const int CASES = 300;
    for (int i = 0; i < CASES; i++) {
        std::string old = generate_content(random, 12);
        SCOPED_TRACE(testing::Message() << "case " << i << " old [" << old << "]");
        bool missing = i % 50 == 0;
        if (missing) {
            DeleteFileA(wininit_path().c_str());
            old.clear();
        } else {
            make_file(wininit_path(), old);
        }

        ASSERT_EQ(1, ScheduleDeleteWin9x(held.path().c_str()));

        ASSERT_EQ(model_edit(old, entry), read_file(wininit_path()));
    }
    std::vector<std::string> lines = log.lines();
    EXPECT_EQ(std::vector<std::string>(CASES, "    next boot, remove file [" +
                                                  short_form(held.path()) + "]"),
              lines);
    held.release();
    remove_tree(dir);
}

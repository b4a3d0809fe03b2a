// The uninstaller started from inside the folder it removes, as Programs and Features starts
// it: its own file goes to the temporary folder and waits there for the next start, so that
// the folder goes; where that cannot be done safely, file and folder stay, warned about.
#include "boxes.h"
#include "install.h"
#include "logmatch.h"
#include "product.h"
#include "snapshot.h"
#include "wintest.h"

using namespace wintest;

namespace {

const char OWN_NAME[] = "vxwipe.exe";
const char STAYS[] = ": it stays, and with it the install directory";

std::vector<std::string> entries_of(const std::string& dir) {
    std::vector<std::string> entries;
    for (const std::string& name : files_matching(dir, "*"))
        if (name != "." && name != "..")
            entries.push_back(name);
    return entries;
}

std::string short_path(const std::string& path) {
    char shortened[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), shortened, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(shortened, length) : std::string();
}

class OwnImage : public testing::Test {
  protected:
    void SetUp() override {
        remove_product_keys();
        // A long name, so that the folder has an 8.3 name of its own.
        root_ = make_temp_dir("own image folder");
        dir_ = root_ + "\\VORTA\\VORTA-X";
        make_install(dir_);
        own_ = dir_ + "\\" + OWN_NAME;
        ASSERT_TRUE(CopyFileA(binary_path(OWN_NAME).c_str(), own_.c_str(), FALSE));
        options_.args = {"-silent"};
        options_.windows_version = "winxp";
        options_.program_path = own_;
    }
    void TearDown() override {
        delete_value(HKEY_LOCAL_MACHINE, PENDING_RENAMES_KEY, PENDING_RENAMES_VALUE);
        remove_product_keys();
        remove_tree(root_);
    }
    RunResult run(const std::string& install_location) {
        set_string(HKEY_LOCAL_MACHINE, PRODUCT_ENTRY, "InstallLocation", install_location);
        RunResult result = run_program(options_);
        EXPECT_EQ(0u, result.exit_code);
        return result;
    }
    // What vxsample reads of the deletions waiting for the next start.
    std::vector<std::string> pending() {
        std::string out = make_temp_dir("pending") + "\\pending.txt";
        RunOptions sample;
        sample.program = "vxsample.exe";
        sample.args = {"pending", "-out", out};
        EXPECT_EQ(0u, run_program(sample).exit_code);
        std::vector<std::string> lines = split_lines(read_file(out));
        remove_tree(parent_of_file(out));
        return lines;
    }
    static std::string parent_of_file(const std::string& path) {
        return path.substr(0, path.find_last_of('\\'));
    }
    // The folder stayed with the program's own file alone, and nothing waits for a restart.
    void verify_stayed(const RunResult& result, const std::string& why) {
        verify_file_present(own_);
        verify_dir_present(dir_);
        EXPECT_EQ(std::vector<std::string>{OWN_NAME}, entries_of(dir_));
        EXPECT_EQ(std::vector<std::string>{}, pending());
        std::vector<std::string> expected = {"  > MoveOwnImageAside(" + own_ + ")", why};
        for (const std::string& line : expected_box_lines(WARN_DIR_STAYS, false, dir_, IDOK, true))
            expected.push_back(line);
        verify_lines_in_order(result.log, expected);
    }
    std::string root_, dir_, own_;
    RunOptions options_;
};

// However the two paths are written, the program's file is found inside the folder: moved,
// registered, and the folder gone.
TEST_F(OwnImage, FoundInsideTheFolderInEveryFormOfItsPath) {
    struct Case {
        const char* name;
        std::string install_location;
        bool started_by_short_path;
    };
    const std::string upper = root_ + "\\VORTA\\VORTA-X";
    std::string lower = upper;
    for (char& c : lower)
        c = (char)tolower((unsigned char)c);
    const Case cases[] = {
        {"as written", upper, false},
        {"in lower case", lower, false},
        {"with a final backslash", upper + "\\", false},
        {"in its 8.3 form", short_path(upper), false},
        {"through \"..\"", root_ + "\\VORTA\\..\\VORTA\\VORTA-X", false},
        {"started by its 8.3 path", upper, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.install_location.empty());
        if (GetFileAttributesA(dir_.c_str()) == INVALID_FILE_ATTRIBUTES) {
            make_install(dir_);
            ASSERT_TRUE(CopyFileA(binary_path(OWN_NAME).c_str(), own_.c_str(), FALSE));
        }
        options_.program_path = c.started_by_short_path ? short_path(own_) : own_;
        ASSERT_FALSE(options_.program_path.empty());
        RunResult result = run(c.install_location);
        verify_dir_missing(dir_);
        std::vector<std::string> moved = files_matching(result.temp_dir, "vxwipe-*.tmp");
        ASSERT_EQ(1u, moved.size()) << "the moved file in " << result.temp_dir;
        std::string moved_path = result.temp_dir + "\\" + moved[0];
        EXPECT_EQ(std::vector<std::string>{"delete " + moved_path}, pending());
        verify_lines_in_order(result.log, {"  > MoveOwnImageAside(" + own_ + ")",
                                           "MOIA: moved to " + moved_path,
                                           "    next boot, remove file (" + moved_path + ")."});
        std::vector<std::string> completion = expected_box_lines(DONE_ALL, false, "", IDOK, true);
        verify_lines_in_order(result.log, completion);
        delete_value(HKEY_LOCAL_MACHINE, PENDING_RENAMES_KEY, PENDING_RENAMES_VALUE);
        remove_tree(result.temp_dir);
    }
}

// A folder beside the install folder whose name begins like it is not inside it: the run
// goes as from anywhere else, without a word of its own file.
TEST_F(OwnImage, AFolderNamedLikeTheInstallFolderIsNotInsideIt) {
    std::string sibling = dir_ + "2";
    make_dir(sibling);
    std::string copy = sibling + "\\" + OWN_NAME;
    ASSERT_TRUE(CopyFileA(binary_path(OWN_NAME).c_str(), copy.c_str(), FALSE));
    options_.program_path = copy;
    RunResult result = run(dir_);
    EXPECT_EQ(std::vector<std::string>{}, lines_starting(result.log, "  > MoveOwnImageAside"));
    EXPECT_EQ(std::vector<std::string>{}, lines_starting(result.log, "MOIA:"));
    verify_file_present(copy);
    EXPECT_EQ(std::vector<std::string>{}, pending());
}

// The same in code page 932, where the folder's last character "表" ends in the byte 0x5C:
// taken for a final backslash, it would make its sibling "ソフト表2" lie inside it.
TEST_F(OwnImage, AJapaneseFolderEndingInA5CByteHasNoSiblingInside) {
    const std::string install = root_ + "\\VORTA\\ソフト表"; // UTF-8
    const std::string sibling = install + "2";
    const std::string copy = sibling + "\\" + OWN_NAME;
    for (const std::string& dir : {install, sibling})
        ASSERT_TRUE(CreateDirectoryW(utf8_to_wide(dir).c_str(), NULL));
    ASSERT_TRUE(
        CopyFileW(utf8_to_wide(binary_path(OWN_NAME)).c_str(), utf8_to_wide(copy).c_str(), FALSE));
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExW(HKEY_LOCAL_MACHINE, utf8_to_wide(PRODUCT_ENTRY).c_str(), 0, NULL, 0,
                              KEY_ALL_ACCESS, NULL, &key, NULL));
    std::wstring location = utf8_to_wide(install);
    RegSetValueExW(key, L"InstallLocation", 0, REG_SZ, (const BYTE*)location.c_str(),
                   (DWORD)((location.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    options_.japanese = true;
    options_.program_path = from_utf8(copy, 932);
    RunResult result = run_program(options_);
    EXPECT_EQ(0u, result.exit_code);
    EXPECT_EQ(std::vector<std::string>{}, lines_starting(result.log, "  > MoveOwnImageAside"));
    EXPECT_EQ(std::vector<std::string>{}, lines_starting(result.log, "MOIA:"));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(utf8_to_wide(copy).c_str()))
        << "the copy beside the install folder should stay";
    EXPECT_EQ(std::vector<std::string>{}, pending());
}

// Where the file cannot be moved safely it stays where it is, and with it the folder, which
// the run reports; nothing inside the install folder waits for the next start.
TEST_F(OwnImage, StaysWhereItCannotBeMovedSafely) {
    // A temporary folder on another file system, which a move cannot reach: the file is
    // never copied.
    options_.temp_dir = root_ + "\\other volume";
    std::string elsewhere = "/dev/shm/vxwipe-own-image-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(run_unix("mkdir -p '" + elsewhere + "' && ln -s '" + elsewhere + "' '" +
                             unix_path(options_.temp_dir) + "'",
                         "a temporary folder on a tmpfs"));
    RunResult result = run(dir_);
    run_unix("rm -rf '" + elsewhere + "'", "the removal of " + elsewhere);
    verify_stayed(result, "MOIA: cannot move it to " + options_.temp_dir +
                              "\\, code = " + std::to_string(ERROR_NOT_SAME_DEVICE) + STAYS);

    // A temporary folder inside the install folder: what waits there for the restart would
    // be deleted from a new installation too.
    options_.temp_dir = dir_ + "\\temp";
    make_dir(options_.temp_dir);
    result = run(dir_);
    verify_dir_present(dir_);
    verify_file_present(own_);
    EXPECT_EQ(std::vector<std::string>{}, pending());
    verify_lines_in_order(result.log, {"  > MoveOwnImageAside(" + own_ + ")",
                                       "MOIA: the temporary directory " + options_.temp_dir +
                                           "\\ lies in the install directory" + STAYS});
    remove_tree(options_.temp_dir);
}

// An install folder that is a link: nothing is taken from below it, the program's own file
// neither, though it was started there.
TEST_F(OwnImage, NothingIsTakenFromBelowALinkedInstallFolder) {
    std::string real = root_ + "\\real";
    make_install(real);
    ASSERT_TRUE(CopyFileA(binary_path(OWN_NAME).c_str(), (real + "\\" + OWN_NAME).c_str(), FALSE));
    remove_tree(dir_);
    ASSERT_TRUE(run_unix("ln -s '" + unix_path(real) + "' '" + unix_path(dir_) + "'",
                         "the install folder as a link"));
    RunResult result = run(dir_);
    verify_lines_in_order(
        result.log,
        {"  > MoveOwnImageAside(" + own_ + ")",
         std::string("MOIA: the way to it leads through a link or no directory") + STAYS});
    verify_file_present(real + "\\" + OWN_NAME);
    verify_file_present(real + "\\" + manifest_files()[0]);
    EXPECT_EQ(std::vector<std::string>{}, pending());
    run_unix("rm -f '" + unix_path(dir_) + "'", "the removal of the link " + dir_);
}

// A file of more than one name is not the program's own alone: moving it and deleting it at
// the next start would reach the other name's file.
TEST_F(OwnImage, AFileWithASecondNameIsNotMoved) {
    std::string other = root_ + "\\second name.exe";
    ASSERT_TRUE(run_unix("ln '" + unix_path(own_) + "' '" + unix_path(other) + "'",
                         "a second name of " + own_));
    RunResult result = run(dir_);
    verify_stayed(result, "MOIA: " + own_ + " is a link or no plain file" + STAYS);
    verify_file_present(other);
}

} // namespace

// The whole-machine picture: taken again after changes of every kind, here and by another
// program, it is the same as a picture that walks the whole registry afresh, though it walks
// again only what changed.
#include "install.h"
#include "product.h"
#include "snapshot.h"
#include "wintest.h"

using namespace wintest;

namespace {

const char TOP[] = "Software\\VxSnapshot";
const std::string DEEP = std::string(TOP) + "\\a\\b\\c\\d\\e";

void verify_same_at(Where where, const char* after) {
    Snapshot cached = take_snapshot();
    Snapshot afresh = take_snapshot_afresh();
    for (const Change& change : diff_snapshots(afresh, cached))
        ADD_FAILURE_AT(where.file, where.line)
            << "after " << after
            << ", the picture differs from one walked afresh: " << describe_change(change);
}
#define verify_same(...) verify_same_at(WT_HERE, __VA_ARGS__)

class Pictures : public testing::Test {
  protected:
    void TearDown() override {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            delete_link_key(root, std::string(TOP) + "\\link");
            delete_key_tree(root, TOP);
        }
        remove_product_keys();
    }
};

// Each step changes the same places again, so that the later steps meet the parts already
// watched more narrowly: a key told of no change, one split into its subkeys, a subkey gone,
// one deleted and made again under its name, a new one.
TEST_F(Pictures, ShowEveryChangeAsAWalkAfreshWould) {
    const HKEY roots[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    verify_same("the first picture");
    for (HKEY root : roots)
        set_string(root, DEEP, "made", "deep");
    verify_same("deep keys made");
    for (HKEY root : roots) {
        set_string(root, DEEP, "made", "changed");
        set_dword(root, std::string(TOP) + "\\a", "number", 7);
        delete_value(root, DEEP, "missing");
    }
    verify_same("values changed, made and deleted");
    for (HKEY root : roots) {
        delete_key_tree(root, std::string(TOP) + "\\a\\b");
        set_string(root, std::string(TOP) + "\\a\\b", "again", "1");
        set_string(root, std::string(TOP) + "\\x", "new", "1");
    }
    verify_same("a tree deleted and its top made again, a new key");
    add_link_key(HKEY_CURRENT_USER, std::string(TOP) + "\\link", "Software\\VxSnapshot\\a");
    delete_key_tree(HKEY_CURRENT_USER, std::string(TOP) + "\\x");
    if (std::string(run_kind()) == "wow64")
        set_string(HKEY_LOCAL_MACHINE, DEEP, "view", "64", KEY_WOW64_64KEY);
    verify_same("a link key made, a key deleted, a key of the other view");
    // By now "a" is watched on its own: made anew under its name, it is another key.
    for (HKEY root : roots) {
        delete_key_tree(root, std::string(TOP) + "\\a");
        set_string(root, std::string(TOP) + "\\a", "other", "2");
    }
    verify_same("a key watched on its own deleted and made again");
    // Another program's changes: the sample installation, laid and taken away.
    RunOptions sample;
    sample.program = "vxsample.exe";
    sample.args = {"lay", "-dir", make_temp_dir("pictures") + "\\VORTA-X"};
    EXPECT_EQ(0u, run_program(sample).exit_code);
    verify_same("another program's installation");
    remove_product_keys();
    delete_link_key(HKEY_CURRENT_USER, std::string(TOP) + "\\link");
    delete_key_tree(HKEY_LOCAL_MACHINE, TOP, KEY_WOW64_64KEY);
    verify_same("the installation's keys, the link and the other view's tree removed");
}

// One change of each kind, planted between two pictures: the item it changed must be
// among the differences.
struct Planted {
    const char* what;
    void (*plant)(const std::string& dir);
    std::string (*item)(const std::string& dir);
};

const char VIEW_KEY[] = "Software\\VxSnapshot\\view32";

// The link's own times and its targets' times and sizes are the same: only where it leads
// tells the two links apart.
void link_to(const std::string& dir, const char* target) {
    std::string unix_dir = unix_path(dir);
    run_unix("cd '" + unix_dir + "' && touch -r one.txt two.txt && ln -sfn '" + unix_dir + "/" +
                 target + "' link && touch -h -r one.txt link",
             "a link to " + std::string(target));
}

const Planted PLANTED[] = {
    {"a file's content, its size kept",
     [](const std::string& dir) { make_file(dir + "\\content.txt", "bbbb"); },
     [](const std::string& dir) { return lower_case(dir + "\\content.txt"); }},
    {"a file's attribute",
     [](const std::string& dir) {
         SetFileAttributesA((dir + "\\attribute.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
     },
     [](const std::string& dir) { return lower_case(dir + "\\attribute.txt"); }},
    {"a link's target", [](const std::string& dir) { link_to(dir, "two.txt"); },
     [](const std::string& dir) { return lower_case(dir + "\\link"); }},
    {"a value's type, its data kept",
     [](const std::string&) { set_value(HKEY_CURRENT_USER, TOP, "typed", REG_EXPAND_SZ, "x", 2); },
     [](const std::string&) {
         return snapshot_value_name(snapshot_key_name(HKEY_CURRENT_USER, TOP), "typed");
     }},
    {"a key in the 32-bit view only",
     [](const std::string&) { set_string(HKEY_LOCAL_MACHINE, VIEW_KEY, "made", "1"); },
     [](const std::string&) {
         std::vector<std::string> items = snapshot_key_items(HKEY_LOCAL_MACHINE, VIEW_KEY);
         return std::string(run_kind()) == "wow64" ? items[1] : items[0];
     }},
};

TEST_F(Pictures, ShowEveryKindOfPlantedChange) {
    std::string dir = make_temp_dir("planted");
    make_file(dir + "\\content.txt", "aaaa");
    make_file(dir + "\\attribute.txt");
    make_file(dir + "\\one.txt", "one");
    make_file(dir + "\\two.txt", "two");
    link_to(dir, "one.txt");
    set_string(HKEY_CURRENT_USER, TOP, "typed", "x");
    for (const Planted& planted : PLANTED) {
        SCOPED_TRACE(planted.what);
        Snapshot before = take_snapshot();
        planted.plant(dir);
        Snapshot after = take_snapshot();
        std::string item = planted.item(dir);
        bool shown = false;
        for (const Change& change : diff_snapshots(before, after))
            shown = shown || change.item == item;
        EXPECT_TRUE(shown) << item << " is not among the differences; it is \""
                           << after.items[item] << "\"";
    }
    delete_key_tree(HKEY_LOCAL_MACHINE, VIEW_KEY);
}

} // namespace

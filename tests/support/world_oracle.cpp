// The oracle of the worlds: a run judged by what it showed, its trace and the diff of the
// whole machine's pictures before and after it.
#include "world_parts.h"

#include "boxes.h"
#include "install.h"
#include "strings.h"

#include <string.h>

namespace wintest {

namespace {

// The options as the program reads them: a later one overrides an earlier one.
struct Effective {
    bool silent = false, save = false, is_mode = false;
};

Effective effective(const World& world) {
    Effective result;
    for (const std::string& arg : world.args) {
        if (arg == "-silent")
            result.silent = true;
        else if (arg == "-nosilent")
            result.silent = false;
        else if (arg == "-save")
            result.save = true;
        else if (arg == "-nosave")
            result.save = false;
        else if (arg == "-IS")
            result.is_mode = true;
    }
    return result;
}

struct Product {
    std::set<std::string> files;      // the manifest's paths, the install folder
    std::set<std::string> start_menu; // the folder and its shortcuts
    std::vector<std::string> keys;
    std::set<std::string> logs;
};

Product product_items(const World& world, const Laid& laid) {
    Product product;
    std::string dir = lower_case(laid.install_dir);
    product.files.insert(dir);
    if (!laid.own_file.empty())
        product.files.insert(lower_case(laid.own_file));
    for (const std::string& file : manifest_files())
        product.files.insert(dir + "\\" + lower_case(file));
    for (const std::string& subdir : manifest_dirs())
        product.files.insert(dir + "\\" + lower_case(subdir));
    std::string folder = lower_case(laid.folder);
    product.start_menu.insert(folder);
    for (unsigned int id : SHORTCUT_IDS)
        product.start_menu.insert(folder + "\\" + lower_case(expected_text(id, world.japanese)) +
                                  ".lnk");
    for (const wintest::Key& key : PRODUCT_KEYS)
        for (const std::string& item : snapshot_key_items(key.root, key.path))
            product.keys.push_back(item);
    product.logs.insert(lower_case(laid.temp_dir + "\\" + LOG_NAME));
    product.logs.insert(lower_case(laid.cwd + "\\" + LOG_NAME));
    return product;
}

bool is_product_key(const Product& product, const std::string& item) {
    for (const std::string& key : product.keys)
        if (lies_within(item, key))
            return true;
    return false;
}

bool is_product_item(const Product& product, const std::string& item) {
    return product.files.count(item) != 0 || product.start_menu.count(item) != 0 ||
           is_product_key(product, item);
}

bool any_present(const Snapshot& shot, const std::set<std::string>& items) {
    for (const std::string& item : items)
        if (shot.items.count(item) != 0)
            return true;
    return false;
}

// Whether any item at or below one of the keys is in the picture.
bool keys_present(const Snapshot& shot, const std::vector<std::string>& keys) {
    for (const std::string& key : keys) {
        auto found = shot.items.lower_bound(key);
        if (found != shot.items.end() && lies_within(found->first, key))
            return true;
    }
    return false;
}

bool key_tree_unchanged(const std::vector<Change>& changes, const std::vector<std::string>& keys) {
    for (const Change& change : changes)
        for (const std::string& key : keys)
            if (lies_within(change.item, key))
                return false;
    return true;
}

// The keys that normal mode removes and -IS mode leaves: the product's Uninstall entry
// and the file type.
std::vector<std::string> normal_mode_keys() {
    std::vector<std::string> items;
    for (const wintest::Key& key : {wintest::Key{HKEY_LOCAL_MACHINE, PRODUCT_ENTRY},
                                    wintest::Key{HKEY_CLASSES_ROOT, FILE_EXTENSION},
                                    wintest::Key{HKEY_CLASSES_ROOT, FILE_TYPE}})
        for (const std::string& item : snapshot_key_items(key.root, key.path))
            items.push_back(item);
    return items;
}

bool is_box(const Box& box, const ExpectedBox& expected, bool japanese) {
    return box.caption == expected_text(expected.caption, japanese) &&
           box.text == expected_box_text(expected, japanese, "");
}

// The file of its own, "vxwipe-<number>.log" in the temporary folder, that a run writes its
// trace into where "vxwipe.log" is a link, no plain file or closed to it; "" if it made none.
std::string own_log_made(const std::vector<Change>& changes, const Laid& laid) {
    const std::string start = lower_case(laid.temp_dir) + "\\vxwipe-";
    const std::string end = ".log";
    for (const Change& change : changes) {
        const std::string& item = change.item;
        if (!change.before.empty() || !starts_with(item, start) ||
            item.size() <= start.size() + end.size() ||
            item.compare(item.size() - end.size(), end.size(), end) != 0)
            continue;
        std::string number = item.substr(start.size(), item.size() - start.size() - end.size());
        if (number.find_first_not_of("0123456789") == std::string::npos)
            return item;
    }
    return "";
}

bool log_has(const std::vector<std::string>& lines, const std::string& start) {
    for (const std::string& line : lines)
        if (starts_with(line, start))
            return true;
    return false;
}

// A Shell Folders value made to name no folder at all: the forms but the real folder
// without terminator, behind "\\?\" or with a final backslash.
bool misnamed_programs(const World& world) {
    for (const Mutation& m : world.mutations)
        if (m.kind == SHELL_FOLDER && m.c != 7 && m.c != 8 && m.c != 9)
            return true;
    return false;
}

// Whether the installer's own uninstall command is still in its entry, in either view.
bool chained_command_left(const World& world, const Snapshot& after) {
    for (const std::string& key :
         snapshot_key_items(installshield_root(world), INSTALLSHIELD_ENTRY))
        if (after.items.count(snapshot_value_name(key, "uninstallstring.orig")) != 0)
            return true;
    return false;
}

} // namespace

void judge(const World& world, const Laid& laid, const RunResult& run, const Snapshot& before,
           const Snapshot& after, Verdict& verdict) {
    std::vector<std::string>& bad = verdict.violations;
    Effective options = effective(world);
    Product product = product_items(world, laid);

    // Every run ends, with 0 or 1.
    if (run.timed_out)
        bad.push_back("the run did not end within its limit");
    else if (run.exit_code != 0 && run.exit_code != 1)
        bad.push_back("exit code " + testing::PrintToString(run.exit_code));

    // It leaves its trace, behind any earlier one, or in a file of its own where the log's
    // name could not take it.
    std::vector<Change> changes = diff_snapshots(before, after);
    std::string own_log = own_log_made(changes, laid);
    std::string trace = own_log.empty() ? laid.log_path : own_log;
    std::vector<std::string> lines;
    if (!trace.empty()) {
        std::string content = read_file(trace, CP_UTF8);
        bool ended = false;
        lines = last_run(split_lines(content), &ended);
        if (!run.timed_out && !ended)
            bad.push_back("no END line in " + trace);
        if (own_log.empty() && laid.planted &&
            content.compare(0, strlen(PLANTED_TRACE), PLANTED_TRACE) != 0)
            bad.push_back("the earlier trace at the start of the log is gone");
    }

    // Started from the install folder on the NT line, the program's own file may wait in the
    // temporary folder for the next start, registered for deletion there, and nothing else.
    MovedImage moved = find_moved_image(changes, laid.temp_dir);
    if (!moved.registration.empty() && !moved.problem.empty())
        bad.push_back("the deletion at the next start: " + moved.problem);
    bool may_move = laid.started_from_install && !version_of(world).win9x;
    if (!moved.file.empty() && may_move && !moved.registration.empty() && moved.problem.empty())
        verdict.allowed.push_back("OWN_FILE_WAITS_FOR_NEXT_START");
    else
        moved = MovedImage();

    // Nothing changes but the product's items and the run's log.
    std::vector<std::string> product_changes;
    for (const Change& change : changes) {
        if (product.logs.count(change.item) != 0 || change.item == own_log ||
            change.item == moved.file || change.item == moved.registration ||
            wine_own_change(change.item))
            continue;
        if (is_product_item(product, change.item))
            product_changes.push_back(describe_change(change));
        else if (change.after.empty() && laid.link_targets.count(change.item) != 0)
            verdict.allowed.push_back("WINE_DELETES_LINK_TARGET");
        else
            bad.push_back("outside the product: " + describe_change(change));
    }

    // What the run must leave alone by its mode and the answers.
    bool fatal = run.exit_code == 1;
    // The chained uninstall left its command behind: the run ends there, which its trace
    // says where it could be written.
    bool chain_ended =
        log_has(lines, "UBIS: not installed by IS, exit") ||
        (options.is_mode && !fatal && !run.timed_out && chained_command_left(world, after));
    bool cancelled = !options.silent && !options.is_mode && !run.boxes.empty() &&
                     is_box(run.boxes[0], CONFIRM, world.japanese) && !world.picks.empty() &&
                     world.picks[0] % 2 == 1;
    if ((fatal || chain_ended || cancelled) && !product_changes.empty())
        bad.push_back(std::string(fatal         ? "a fatal error"
                                  : chain_ended ? "an unfinished chained "
                                                  "uninstall"
                                                : "a cancelled run") +
                      " changed the product: " + product_changes[0]);
    bool settings_kept = options.save || options.is_mode;
    for (size_t i = 0; i < run.boxes.size(); i++)
        if (is_box(run.boxes[i], ASK_SETTINGS, world.japanese))
            settings_kept = i < world.picks.size() && world.picks[i] % 2 == 1;
    std::vector<std::string> settings = snapshot_key_items(HKEY_CURRENT_USER, USER_SETTINGS);
    if (settings_kept && !key_tree_unchanged(changes, settings))
        bad.push_back("the per-user settings were to stay but changed");
    if (options.is_mode && !key_tree_unchanged(changes, normal_mode_keys()))
        bad.push_back("-IS mode changed a key that only normal mode removes");

    // The boxes tell the truth.
    if (options.silent || fatal || chain_ended || cancelled || run.timed_out)
        return;
    const Box* completion = nullptr;
    bool warned_dir = false, warned_shortcuts = false;
    for (const Box& box : run.boxes) {
        if (is_box(box, DONE_ALL, world.japanese) || is_box(box, DONE_REMAINS, world.japanese))
            completion = &box;
        if (box.caption == expected_text(1060, world.japanese)) {
            if (box.text == expected_box_text(WARN_SHORTCUTS, world.japanese, ""))
                warned_shortcuts = true;
            else
                warned_dir = true;
        }
    }
    bool done_all = completion != nullptr && is_box(*completion, DONE_ALL, world.japanese);
    bool files_remain = any_present(after, product.files);
    bool shortcuts_remain = any_present(after, product.start_menu);
    std::vector<std::string> mode_keys = snapshot_key_items(HKEY_LOCAL_MACHINE, MACHINE_SETTINGS);
    if (!options.is_mode) {
        std::vector<std::string> normal = normal_mode_keys();
        mode_keys.insert(mode_keys.end(), normal.begin(), normal.end());
        if (!settings_kept)
            mode_keys.insert(mode_keys.end(), settings.begin(), settings.end());
    }
    bool keys_remain = keys_present(after, mode_keys);
    bool found_dir = log_has(lines, "  InstallDir is ");
    if (files_remain && !warned_dir) {
        // Without a trace nothing tells whether the folder was found; the completion must
        // still say that something remains.
        if (options.is_mode && (trace.empty() || !found_dir))
            verdict.allowed.push_back("IS_NO_DIR_NO_WARNING");
        else
            bad.push_back("the install folder or a manifest entry remains, without a warning");
    }
    // The Programs folders are where the Shell Folders values say: a value that names no
    // folder hides the real one, and with it the product's folder (and, for the older
    // installers, the per-user scope itself).
    if (shortcuts_remain && misnamed_programs(world)) {
        verdict.allowed.push_back("SHORTCUTS_WHERE_SHELL_FOLDERS_DO_NOT_LEAD");
        shortcuts_remain = false;
        warned_shortcuts = true;
    }
    if (shortcuts_remain && !warned_shortcuts)
        bad.push_back("the Start-menu folder or a shortcut remains, without a warning");
    if ((files_remain || shortcuts_remain) && (completion == nullptr || done_all))
        bad.push_back(
            std::string("something of the product remains, yet the completion ") +
            (completion == nullptr ? "was not shown" : "says all steps succeeded (1002)"));
    if (!options.is_mode && completion == nullptr)
        bad.push_back("normal mode ended without its completion message");
    if (done_all && keys_remain)
        verdict.allowed.push_back("KEY_FAILURE_LOGGED_ONLY");
}

} // namespace wintest

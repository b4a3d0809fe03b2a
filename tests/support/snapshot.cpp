#include "snapshot.h"

#include "helpers.h"
#include "wintest.h"

#include <algorithm>
#include <stdio.h>
#include <string.h>

namespace wintest {

namespace {

std::string lower_utf8(const wchar_t* text, size_t length) {
    std::wstring wide(text, length);
    if (!wide.empty())
        CharLowerBuffW(&wide[0], (DWORD)wide.size());
    return wide_to_utf8(wide);
}

// A directory's own time follows its children, which are items of their own: a
// directory is only its attributes.
void walk_files(const std::wstring& dir, const std::string& name, Snapshot& shot) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const wchar_t* leaf = found.cFileName;
        if (wcscmp(leaf, L".") == 0 || wcscmp(leaf, L"..") == 0)
            continue;
        std::string item = name + "\\" + lower_utf8(leaf, wcslen(leaf));
        char state[96];
        bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (directory)
            sprintf(state, "dir a=%lx", (unsigned long)found.dwFileAttributes);
        else
            sprintf(state, "file a=%lx s=%lu:%lu t=%lx:%lx", (unsigned long)found.dwFileAttributes,
                    (unsigned long)found.nFileSizeHigh, (unsigned long)found.nFileSizeLow,
                    (unsigned long)found.ftLastWriteTime.dwHighDateTime,
                    (unsigned long)found.ftLastWriteTime.dwLowDateTime);
        shot.items[item] = state;
        // A link leads elsewhere: what is behind it is not this folder's.
        if (directory && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            walk_files(dir + L"\\" + leaf, item, shot);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

REGSAM whole_view() {
    return std::string(run_kind()) == "wow64" ? KEY_WOW64_64KEY : 0;
}

// The values of a key as last read, with the key's last-write time then. Every change of
// a value moves that time on: a key whose time stayed has the values read before, so a
// picture reads only the values of the keys written since the last one.
struct ReadValues {
    FILETIME written;
    std::vector<std::pair<std::string, std::string>> values; // item, state
};
std::map<std::string, ReadValues> values_read;

void read_values(HKEY key, const std::string& name, DWORD values, DWORD max_value_name,
                 DWORD max_data, ReadValues& read) {
    read.values.clear();
    std::vector<wchar_t> value_name(max_value_name + 2);
    std::vector<BYTE> data(max_data + 2);
    for (DWORD i = 0; i < values; i++) {
        DWORD name_length = (DWORD)value_name.size();
        DWORD size = (DWORD)data.size();
        DWORD type = 0;
        if (RegEnumValueW(key, i, value_name.data(), &name_length, NULL, &type, data.data(),
                          &size) != ERROR_SUCCESS)
            continue;
        char head[32];
        sprintf(head, "t=%lu ", (unsigned long)type);
        read.values.push_back(
            {snapshot_value_name(name, lower_utf8(value_name.data(), name_length)),
             head + std::string((const char*)data.data(), size)});
    }
}

// The key's own item and its values, with the count and longest name of its subkeys; false
// when the key cannot be asked.
bool read_key_itself(HKEY key, const std::string& name, Snapshot& shot, DWORD* subkeys,
                     DWORD* max_subkey) {
    DWORD values = 0, max_value_name = 0, max_data = 0;
    FILETIME written = {0, 0};
    if (RegQueryInfoKeyW(key, NULL, NULL, NULL, subkeys, max_subkey, NULL, &values, &max_value_name,
                         &max_data, NULL, &written) != ERROR_SUCCESS)
        return false;
    shot.items[name] = "key";
    ReadValues& read = values_read[name];
    if (read.written.dwLowDateTime != written.dwLowDateTime ||
        read.written.dwHighDateTime != written.dwHighDateTime || read.values.size() != values) {
        read_values(key, name, values, max_value_name, max_data, read);
        read.written = written;
    }
    for (const auto& value : read.values)
        shot.items.insert(shot.items.end(), value);
    return true;
}

// A key's subkey: its name, its item in the picture and its last-write time.
struct Subkey {
    std::wstring name;
    std::string item;
    FILETIME written;
};

std::vector<Subkey> subkeys_of(HKEY key, const std::string& name, DWORD subkeys, DWORD max_subkey) {
    std::vector<Subkey> names;
    std::vector<wchar_t> child(max_subkey + 2);
    for (DWORD i = 0; i < subkeys; i++) {
        DWORD length = (DWORD)child.size();
        FILETIME written = {0, 0};
        if (RegEnumKeyExW(key, i, child.data(), &length, NULL, NULL, NULL, &written) ==
            ERROR_SUCCESS)
            names.push_back({std::wstring(child.data(), length),
                             name + "\\" + lower_utf8(child.data(), length), written});
    }
    return names;
}

// A subkey as itself: a link is not followed. NULL when it cannot be opened.
HKEY open_subkey(HKEY key, const std::wstring& child) {
    HKEY opened;
    if (RegOpenKeyExW(key, child.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | whole_view(), &opened) !=
        ERROR_SUCCESS)
        return NULL;
    return opened;
}

const char UNREADABLE_KEY[] = "key (unreadable)";

void walk_key(HKEY key, const std::string& name, Snapshot& shot) {
    DWORD subkeys = 0, max_subkey = 0;
    if (!read_key_itself(key, name, shot, &subkeys, &max_subkey))
        return;
    for (const Subkey& child : subkeys_of(key, name, subkeys, max_subkey)) {
        HKEY opened = open_subkey(key, child.name);
        if (opened == NULL) {
            shot.items[child.item] = UNREADABLE_KEY;
            continue;
        }
        walk_key(opened, child.item, shot);
        RegCloseKey(opened);
    }
}

void walk_root(HKEY root, const char* name, Snapshot& shot) {
    HKEY opened;
    if (RegOpenKeyExW(root, NULL, 0, KEY_READ | whole_view(), &opened) != ERROR_SUCCESS)
        return;
    walk_key(opened, name, shot);
    RegCloseKey(opened);
}

// The whole registry, every key read again.
void walk_registry(Snapshot& shot) {
    walk_root(HKEY_LOCAL_MACHINE, "hklm", shot);
    walk_root(HKEY_CURRENT_USER, "hkcu", shot);
}

// A picture walks again only what changed since the one before. Every key is a node that
// the platform tells of any change in its subtree (RegNotifyChangeKeyValue over the whole
// subtree, asked before the key is read and anew after each change); a node told of none
// gives its items of the last walk again, and one told of a change reads the key itself
// again and asks each subkey the same, so that only the path to each change is walked.
// Walking the registry is most of a picture: a few seconds for its 25,000 to 45,000
// items, a round trip to the server for every key and value.
const DWORD ANY_CHANGE = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                         REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;

struct KeyNode {
    HKEY key = NULL;
    HANDLE changed = NULL; // set by the platform on a change anywhere in the subtree
    bool watched = false;
    FILETIME written = {0, 0}; // the key's own last change, as its parent's list showed it
    std::vector<std::pair<std::string, std::string>> items; // the key itself and its values
    std::map<std::string, KeyNode> children;                // its subkeys, by item
};

void close_node(KeyNode& node) {
    for (auto& child : node.children)
        close_node(child.second);
    node.children.clear();
    RegCloseKey(node.key);
    CloseHandle(node.changed);
}

bool open_node(KeyNode& node, HKEY key) {
    node.key = key;
    node.changed = CreateEventA(NULL, TRUE, FALSE, NULL);
    return node.changed != NULL;
}

// A handle to a key that was deleted since answers ERROR_KEY_DELETED, and is told of
// nothing: a key made anew under that name is another.
bool still_there(const KeyNode& node) {
    return RegQueryInfoKeyW(node.key, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL,
                            NULL) == ERROR_SUCCESS;
}

void give(const KeyNode& node, Snapshot& shot) {
    shot.items.insert(node.items.begin(), node.items.end());
    for (const auto& child : node.children)
        give(child.second, shot);
}

// Asked before the key is read, so that a change made meanwhile shows the next time.
void watch(KeyNode& node) {
    ResetEvent(node.changed);
    node.watched =
        node.changed != NULL &&
        RegNotifyChangeKeyValue(node.key, TRUE, ANY_CHANGE, node.changed, TRUE) == ERROR_SUCCESS;
}

bool changed_since(const KeyNode& node) {
    return !node.watched || WaitForSingleObject(node.changed, 0) != WAIT_TIMEOUT;
}

void read_node(KeyNode& node, const std::string& name, Snapshot& shot);

bool same_time(const FILETIME& a, const FILETIME& b) {
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// Which of the nodes the platform told of a change, 64 events to a call.
std::vector<bool> told_of_change(const std::vector<KeyNode*>& nodes) {
    std::vector<bool> told(nodes.size(), false);
    for (size_t start = 0; start < nodes.size();) {
        HANDLE events[MAXIMUM_WAIT_OBJECTS];
        DWORD count = 0;
        for (size_t i = start; i < nodes.size() && count < MAXIMUM_WAIT_OBJECTS; i++) {
            if (!nodes[i]->watched) {
                told[i] = true;
                break;
            }
            events[count++] = nodes[i]->changed;
        }
        if (count > 0) {
            DWORD result = WaitForMultipleObjects(count, events, FALSE, 0);
            if (result < WAIT_OBJECT_0 + count) {
                told[start + (result - WAIT_OBJECT_0)] = true;
                start += result - WAIT_OBJECT_0 + 1;
                continue;
            }
            if (result != WAIT_TIMEOUT) {
                for (DWORD i = 0; i < count; i++)
                    told[start + i] = true;
            }
        }
        start += count == 0 ? 1 : count;
    }
    return told;
}

// The node's subkeys as they are now: a kept node asked again, a new one read whole. A
// subkey whose time stayed is the key read before, its values unchanged: a key deleted and
// made anew under the name has the time of its making.
void read_children(KeyNode& node, const std::string& name, DWORD subkeys, DWORD max_subkey,
                   Snapshot& part, Snapshot& shot) {
    std::map<std::string, KeyNode> now;
    std::vector<KeyNode*> kept;
    std::vector<const std::string*> kept_items;
    for (const Subkey& child : subkeys_of(node.key, name, subkeys, max_subkey)) {
        auto found = node.children.find(child.item);
        if (found != node.children.end() && same_time(found->second.written, child.written)) {
            KeyNode& same = now[child.item] = std::move(found->second);
            node.children.erase(found);
            kept.push_back(&same);
            kept_items.push_back(&now.find(child.item)->first);
            continue;
        }
        if (found != node.children.end() && still_there(found->second)) {
            KeyNode& changed = now[child.item] = std::move(found->second);
            node.children.erase(found);
            changed.written = child.written;
            read_node(changed, child.item, shot);
            continue;
        }
        HKEY opened = open_subkey(node.key, child.name);
        if (opened == NULL) {
            part.items[child.item] = UNREADABLE_KEY;
            continue;
        }
        KeyNode& made = now[child.item];
        open_node(made, opened);
        made.written = child.written;
        read_node(made, child.item, shot);
    }
    for (auto& gone : node.children)
        close_node(gone.second);
    node.children.swap(now);
    std::vector<bool> told = told_of_change(kept);
    for (size_t i = 0; i < kept.size(); i++) {
        if (told[i])
            read_node(*kept[i], *kept_items[i], shot);
        else
            give(*kept[i], shot);
    }
}

void read_node(KeyNode& node, const std::string& name, Snapshot& shot) {
    watch(node);
    Snapshot part;
    DWORD subkeys = 0, max_subkey = 0;
    if (read_key_itself(node.key, name, part, &subkeys, &max_subkey)) {
        read_children(node, name, subkeys, max_subkey, part, shot);
    } else {
        for (auto& gone : node.children)
            close_node(gone.second);
        node.children.clear();
    }
    node.items.assign(part.items.begin(), part.items.end());
    shot.items.insert(node.items.begin(), node.items.end());
}

void refresh(KeyNode& node, const std::string& name, Snapshot& shot) {
    if (changed_since(node))
        read_node(node, name, shot);
    else
        give(node, shot);
}

struct Roots {
    KeyNode hklm, hkcu;
    DWORD thread = 0; // the notifications belong to the thread that asked for them
};
Roots roots;

bool open_root(KeyNode& node, HKEY root) {
    HKEY opened;
    if (RegOpenKeyExW(root, NULL, 0, KEY_READ | whole_view(), &opened) != ERROR_SUCCESS)
        return false;
    return open_node(node, opened);
}

// The registry into shot, walking again only what changed since the last picture of this
// thread; a picture from another thread walks it all.
void read_registry(Snapshot& shot) {
    if (roots.thread == 0 && open_root(roots.hklm, HKEY_LOCAL_MACHINE) &&
        open_root(roots.hkcu, HKEY_CURRENT_USER))
        roots.thread = GetCurrentThreadId();
    if (roots.thread != GetCurrentThreadId()) {
        walk_registry(shot);
        return;
    }
    refresh(roots.hklm, "hklm", shot);
    refresh(roots.hkcu, "hkcu", shot);
}

// Bytes as they are where printable, the others as \xNN; long data cut for the message.
std::string printable(const std::string& state) {
    const size_t SHOWN = 160;
    std::string text;
    for (size_t i = 0; i < state.size() && i < SHOWN; i++) {
        unsigned char c = (unsigned char)state[i];
        if (c >= 0x20 && c < 0x7F) {
            text += (char)c;
        } else {
            char hex[8];
            sprintf(hex, "\\x%02X", c);
            text += hex;
        }
    }
    if (state.size() > SHOWN)
        text += "... (" + std::to_string(state.size()) + " bytes)";
    return text;
}

// Wine's own changes while programs run, each with its reason.
struct Ignored {
    const char* prefix;
    const char* why;
};
const Ignored WINE_CHANGES[] = {
    {"hklm\\software\\microsoft\\windows nt\\currentversion\\networkcards",
     "the network adapters, listed anew by Wine's services when they start"},
    {"hklm\\system\\currentcontrolset\\control\\servicecurrent",
     "a counter that Wine's service manager raises for each service it starts"},
    {"hklm\\system\\currentcontrolset\\control\\deviceclasses",
     "the devices that Wine's plug-and-play service marks as linked each time it starts"},
    {"hkcu\\control panel\\international",
     "the user's locale, which Wine writes anew whenever a program starts under another Unix "
     "locale (the Japanese worlds)"},
    {"hkcu\\keyboard layout\\preload", "the same, for the keyboard layout"},
    {"hklm\\system\\currentcontrolset\\control\\nls\\codepage", "the same, for the code pages"},
    {"hklm\\system\\currentcontrolset\\control\\fontassoc", "the same, for the font links"},
    {"hklm\\system\\currentcontrolset\\control\\timezoneinformation",
     "the same, for the time zone's names"},
    {"hklm\\system\\currentcontrolset\\hardware profiles\\current\\software\\fonts",
     "the same, for the system fonts"},
    {"hkcu\\software\\wine\\fonts", "the same, for the fonts of the locale's code page"},
    {"hklm\\software\\microsoft\\windows nt\\currentversion\\fonts", "the same"},
    {"hklm\\software\\microsoft\\windows nt\\currentversion\\fontsubstitutes", "the same"},
    {"hklm\\software\\microsoft\\windows\\currentversion\\fonts", "the same"},
    {"hklm\\software\\wow6432node\\microsoft\\windows\\currentversion\\fonts",
     "the same in the 32-bit view of a 64-bit prefix, which Wine's 32-bit half fills when the "
     "first 32-bit program there loads its fonts, and writes anew under another Unix locale"},
    {"hkcu\\software\\wine\\appdefaults\\vxwipe.exe",
     "the version Wine poses as, written again unchanged by the test driver as it starts the run"},
    {"hklm\\hardware\\devicemap\\video",
     "the display, which Wine registers when the first window of a prefix opens"},
    {"hklm\\system\\currentcontrolset\\control\\video", "the same"},
    {"hklm\\system\\currentcontrolset\\hardware profiles\\current\\system", "the same"},
    {"hklm\\system\\currentcontrolset\\control\\class\\{4d36e968-e325-11ce-bfc1-08002be10318}",
     "the same, for the display adapter's class"},
    {"hklm\\system\\currentcontrolset\\control\\class\\{4d36e96e-e325-11ce-bfc1-08002be10318}",
     "the same, for the monitors' class"},
    {"hkcu\\software\\wine\\temporary system parameters",
     "the same, for the display's colours and metrics"},
};

} // namespace

bool lies_within(const std::string& item, const std::string& place) {
    return item == place ||
           (item.size() > place.size() && item.compare(0, place.size(), place) == 0 &&
            item[place.size()] == '\\');
}

std::string lower_case(const std::string& text) {
    std::wstring wide = utf8_to_wide(text);
    return lower_utf8(wide.data(), wide.size());
}

// A folder of this picture's own outside C:\, which the picture would otherwise show: in
// Z:\tmp, which every lane shares, under a name that no other has made (CreateDirectory
// refuses one that is there).
std::string outside_folder() {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; attempt++) {
        char name[96];
        sprintf(name, "Z:\\tmp\\wintest-links-%lu-%lu-%u", (unsigned long)GetCurrentProcessId(),
                (unsigned long)GetTickCount(), counter++);
        if (CreateDirectoryA(name, NULL))
            return name;
    }
    return std::string();
}

// Where the links below C:\ lead, as the Unix side reads them: Wine shows a Unix link to a
// file as the file, and hands out no target of its own. One Unix command for them all.
void add_link_targets(Snapshot& shot) {
    std::string dir = outside_folder();
    std::string drive = unix_path("C:\\");
    if (dir.empty() || drive.empty()) {
        ADD_FAILURE() << "cannot read where the links lead: no folder or no drive C:";
        return;
    }
    std::string list = dir + "\\links";
    std::string marker_dir = dir + "\\unix"; // which the command removes
    CreateDirectoryA(marker_dir.c_str(), NULL);
    std::string text;
    if (run_unix_in(WT_HERE, marker_dir,
                    "find -H " + shell_word(drive) + " -type l -printf '%P\\t%l\\n' >" +
                        shell_word(unix_path(list)),
                    "reading where the links lead"))
        text = read_file(list);
    remove_tree(dir);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        size_t tab = line.find('\t');
        if (tab == std::string::npos)
            continue;
        std::string path = line.substr(0, tab);
        std::replace(path.begin(), path.end(), '/', '\\');
        shot.items[lower_case("c:\\" + path)] += " link -> " + line.substr(tab + 1);
    }
}

// The files are read by a thread of their own while this one reads the registry: both
// wait mostly for the server, which answers them in turn.
DWORD WINAPI walk_drive(void* files) {
    Snapshot* shot = static_cast<Snapshot*>(files);
    shot->items["c:"] = "dir";
    walk_files(L"C:", "c:", *shot);
    return 0;
}

static Snapshot picture(bool afresh) {
    Snapshot shot, files;
    HANDLE thread = CreateThread(NULL, 0, walk_drive, &files, 0, NULL);
    if (thread == NULL)
        walk_drive(&files);
    if (afresh)
        walk_registry(shot);
    else
        read_registry(shot);
    if (thread != NULL) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    // Here, not in the walk's thread: the Unix command reports its failures as a test's.
    add_link_targets(files);
    shot.items.insert(files.items.begin(), files.items.end());
    return shot;
}

Snapshot take_snapshot() {
    return picture(false);
}

Snapshot take_snapshot_afresh() {
    return picture(true);
}

std::vector<Change> diff_snapshots(const Snapshot& before, const Snapshot& after) {
    std::vector<Change> changes;
    auto a = before.items.begin();
    auto b = after.items.begin();
    while (a != before.items.end() || b != after.items.end()) {
        if (b == after.items.end() || (a != before.items.end() && a->first < b->first)) {
            changes.push_back({a->first, a->second, ""});
            ++a;
        } else if (a == before.items.end() || b->first < a->first) {
            changes.push_back({b->first, "", b->second});
            ++b;
        } else {
            if (a->second != b->second)
                changes.push_back({a->first, a->second, b->second});
            ++a;
            ++b;
        }
    }
    return changes;
}

std::string describe_change(const Change& change) {
    if (change.before.empty())
        return change.item + " added (" + printable(change.after) + ")";
    if (change.after.empty())
        return change.item + " removed (was " + printable(change.before) + ")";
    return change.item + " changed (" + printable(change.before) + " -> " +
           printable(change.after) + ")";
}

bool wine_own_change(const std::string& item) {
    for (const Ignored& entry : WINE_CHANGES)
        if (item.compare(0, strlen(entry.prefix), entry.prefix) == 0)
            return true;
    return false;
}

std::string snapshot_key_name(HKEY root, const std::string& path) {
    if (root == HKEY_CLASSES_ROOT)
        return lower_case("hklm\\software\\classes\\" + path);
    return lower_case((root == HKEY_CURRENT_USER ? "hkcu\\" : "hklm\\") + path);
}

std::vector<std::string> snapshot_key_items(HKEY root, const std::string& path) {
    std::string lower = lower_case(path);
    std::vector<std::string> items;
    if (root == HKEY_CLASSES_ROOT) {
        for (const char* base :
             {"hklm\\software\\classes\\", "hkcu\\software\\classes\\",
              "hklm\\software\\classes\\wow6432node\\", "hklm\\software\\wow6432node\\classes\\"})
            items.push_back(base + lower);
        return items;
    }
    std::string root_name = root == HKEY_LOCAL_MACHINE ? "hklm\\" : "hkcu\\";
    items.push_back(root_name + lower);
    if (lower.compare(0, 9, "software\\") == 0)
        items.push_back(root_name + "software\\wow6432node\\" + lower.substr(9));
    return items;
}

std::string snapshot_value_name(const std::string& key_item, const std::string& lower_value) {
    return key_item + "\\\\" + lower_value;
}

void verify_only_changed_at(Where where, const Snapshot& before, const Snapshot& after,
                            const std::vector<std::string>& allowed) {
    std::vector<std::string> places;
    for (const std::string& place : allowed)
        places.push_back(lower_case(place));
    for (const Change& change : diff_snapshots(before, after)) {
        bool may = wine_own_change(change.item);
        for (const std::string& place : places)
            may = may || lies_within(change.item, place);
        if (!may)
            ADD_FAILURE_AT(where.file, where.line)
                << "outside the places allowed: " << describe_change(change);
    }
}

namespace {

bool is_moved_image_name(const std::string& item, const std::string& folder) {
    const std::string start = folder + "\\vxwipe-";
    const std::string end = ".tmp";
    return starts_with(item, start) && item.size() > start.size() + end.size() &&
           item.compare(item.size() - end.size(), end.size(), end) == 0 &&
           item.find('\\', start.size()) == std::string::npos;
}

// The entries of a REG_MULTI_SZ value as a picture holds it ("t=7 " and its bytes).
std::vector<std::string> multi_string_entries(const std::string& state) {
    std::vector<std::string> entries;
    const std::string head = "t=7 ";
    if (state.compare(0, head.size(), head) != 0)
        return entries;
    std::string bytes = state.substr(head.size());
    std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
    memcpy(&wide[0], bytes.data(), wide.size() * sizeof(wchar_t));
    size_t at = 0;
    while (at < wide.size() && wide[at] != L'\0') {
        size_t end = wide.find(L'\0', at);
        if (end == std::wstring::npos)
            end = wide.size();
        entries.push_back(wide_to_utf8(wide.substr(at, end - at)));
        at = end + 1;
        // An empty target ends the pair: the entry is a deletion.
        if (at < wide.size() && wide[at] == L'\0') {
            entries.push_back("");
            at++;
        }
    }
    return entries;
}

} // namespace

MovedImage find_moved_image(const std::vector<Change>& changes, const std::string& temp_dir_utf8) {
    MovedImage moved;
    std::string folder = lower_case(temp_dir_utf8);
    std::string value =
        snapshot_value_name(snapshot_key_name(HKEY_LOCAL_MACHINE, PENDING_RENAMES_KEY),
                            lower_case(PENDING_RENAMES_VALUE));
    const Change* registration = nullptr;
    for (const Change& change : changes) {
        if (change.before.empty() && is_moved_image_name(change.item, folder))
            moved.file = change.item;
        if (change.item == value)
            registration = &change;
    }
    if (registration == nullptr)
        return moved;
    moved.registration = registration->item;
    std::vector<std::string> entries = multi_string_entries(registration->after);
    std::string names;
    for (const std::string& entry : entries)
        names += " [" + entry + "]";
    if (!registration->before.empty())
        moved.problem = "it was there before the run";
    else if (moved.file.empty())
        moved.problem = "no moved file appeared in " + temp_dir_utf8;
    else if (entries.size() != 2 || lower_case(entries[0]) != "\\??\\" + moved.file ||
             !entries[1].empty())
        moved.problem =
            "it should name " + moved.file + " for deletion and nothing else, not" + names;
    return moved;
}

} // namespace wintest

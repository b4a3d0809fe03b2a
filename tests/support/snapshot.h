// A picture of the whole machine, for proving that a run touched nothing but what it may:
// every file and directory below C:\ and every key and value of HKLM and HKCU.
#pragma once

#include "wintest.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace wintest {

// Items by name, each with its state. Names are lower case, UTF-8:
//   "c:\dir\file"                 attributes, size and last-write time; a link with where
//                                 it leads, and not entered
//   "hklm\software\key"           a key (a link key with its target among its values)
//   "hklm\software\key\\name"     a value: its type and data ("\\" then the value name)
// In a WoW64 prefix the registry is read in the 64-bit view, which holds the 32-bit one
// under Wow6432Node.
struct Snapshot {
    std::map<std::string, std::string> items;
};

// The registry is walked again only where it changed since the thread's last picture.
Snapshot take_snapshot();
// The same, with the whole registry walked again: what a picture must equal.
Snapshot take_snapshot_afresh();

struct Change {
    std::string item;
    std::string before; // "" when the item was not there
    std::string after;  // "" when it is gone
};

std::vector<Change> diff_snapshots(const Snapshot& before, const Snapshot& after);

// One line for a change: the item, then "added", "removed" or "changed".
std::string describe_change(const Change& change);

// Whether item is place or lies below it (a value's name follows its key after "\\").
bool lies_within(const std::string& item, const std::string& place);

// A change that Wine itself makes while programs run, none of them the uninstaller's doing.
bool wine_own_change(const std::string& item);

// The name of a key in a picture: "hklm\software\..." (HKCR as its HKLM classes).
std::string snapshot_key_name(HKEY root, const std::string& path);

// The names of a key in a picture in every view: "hklm\software\x" and, where a 32-bit
// program's view differs, "hklm\software\wow6432node\x"; HKCR's keys in each of their
// places.
std::vector<std::string> snapshot_key_items(HKEY root, const std::string& path);

// The name of a value in a picture: its key's name, "\\", then the value's name, which
// the caller gives in lower case.
std::string snapshot_value_name(const std::string& key_item, const std::string& lower_value);

// Fails once for every item that appeared, went or changed, unless Wine made the change or
// the item is one of the places allowed ("C:\..." paths or snapshot_key_name names) or
// lies within one.
void verify_only_changed_at(Where, const Snapshot& before, const Snapshot& after,
                            const std::vector<std::string>& allowed);

std::string lower_case(const std::string& text);

// Where the NT line keeps the deletions waiting for the next start (HKLM), as pairs of
// "\??\<path>" and an empty target.
const char PENDING_RENAMES_KEY[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char PENDING_RENAMES_VALUE[] = "PendingFileRenameOperations";

// The program's own file moved aside by a run started from its install folder: a new
// "vxwipe-<pid>-<time>.tmp" in the run's temporary folder, left to the deletion at the
// next start. Found among the changes of a run.
struct MovedImage {
    std::string file;         // its item in the picture; "" when none appeared
    std::string registration; // the item of the value that registers it; "" when none
    std::string problem;      // "" when the value registers exactly that file, and only it
};
MovedImage find_moved_image(const std::vector<Change>& changes, const std::string& temp_dir_utf8);

} // namespace wintest

#define verify_only_changed(...) wintest::verify_only_changed_at(WT_HERE, __VA_ARGS__)

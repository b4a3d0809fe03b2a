// A picture of the whole machine, for proving that a run touched nothing but what it may:
// every file and directory below C:\ and every key and value of HKLM and HKCU.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace wintest {

// Items by name, each with its state. Names are lower case, UTF-8:
//   "c:\dir\file"                 attributes, size and last-write time (links not entered)
//   "hklm\software\key"           a key (a link key with its target among its values)
//   "hklm\software\key\\name"     a value: its type and data ("\\" then the value name)
// In a WoW64 prefix the registry is read in the 64-bit view, which holds the 32-bit one
// under Wow6432Node.
struct Snapshot {
    std::map<std::string, std::string> items;
};

Snapshot take_snapshot();

struct Change {
    std::string item;
    std::string before; // "" when the item was not there
    std::string after;  // "" when it is gone
};

std::vector<Change> diff_snapshots(const Snapshot& before, const Snapshot& after);

// One line for a change: the item, then "added", "removed" or "changed".
std::string describe_change(const Change& change);

std::string lower_case(const std::string& text);

} // namespace wintest

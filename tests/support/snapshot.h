// The whole prefix before and after a run: every file and directory of drive C: and every
// key and value of the programs' settings, HKLM\Software and HKCU\Software (HKCR lies
// within them), to prove that a run changed nothing but what it may. The System and
// Hardware keys describe the machine's devices, which Wine sets up again when the first
// window of a prefix opens.
#pragma once

#include "wintest.h"

#include <map>
#include <string>
#include <vector>

namespace wintest {

// Items named "C:\...", "HKLM\Software\..." or "HKCU\Software\..." (a value as
// "<key> : <name>"), each with what describes its state: a file's size, time and
// attributes, a directory's attributes, a value's type and data. Links are recorded, not followed. The keys that Wine itself
// writes again when a process starts (its settings, the font tables) are left out.
typedef std::map<std::string, std::string> Snapshot;
Snapshot take_snapshot();

// Fails once for every item that appeared, went or changed, unless it is one of the places
// allowed or lies within one (names compared without case).
void verify_only_changed_at(Where, const Snapshot& before, const Snapshot& after,
                            const std::vector<std::string>& allowed);

// The name of a product key in a snapshot, for the places allowed to change.
std::string snapshot_key_name(HKEY root, const std::string& path);

} // namespace wintest

#define verify_only_changed(...) wintest::verify_only_changed_at(WT_HERE, __VA_ARGS__)

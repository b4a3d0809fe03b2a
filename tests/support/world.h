// Generated hostile worlds: from a seed, a sample installation of some generation, scope,
// language and Windows version, a few mutations of what the uninstaller reads and walks,
// decoys outside the product, and random options and box answers. run_world lays it,
// runs the shipped program on it and judges the run by a whole-machine diff.
#pragma once

#include "wintest.h"

#include <string>
#include <vector>

namespace wintest {

enum MutationKind {
    DIR_VALUE,       // a: which install-directory value, b: type, c: form
    CHAINED_VALUE,   // "UninstallString.ORIG": b type, c form
    SHELL_FOLDER,    // a: 0 "Common Programs", 1 "Programs"; b type, c form
    LINK_KEY,        // a: place at or below a product key, b: target
    DEEP_TREE,       // a: product key, b: depth
    WIDE_TREE,       // a: product key, b: width
    FILE_MISSING,    // a: manifest file
    FILE_ATTRIBUTES, // a: manifest file, b: read-only 1 | hidden 2 | system 4
    FILE_AS_DIR,     // a: manifest file, b: 1 with a user's file inside
    FILE_AS_LINK,    // a: manifest file, replaced by a link to a decoy file
    DIR_AS_FILE,     // a: manifest directory, replaced by a file
    DIR_AS_LINK,     // a: manifest directory, replaced by a link to the decoy folder's
    FILE_HELD_OPEN,  // a: manifest file, b: sharing 0 none, 1 read, 2 read-write-delete
    USER_FILE,       // a: 0 install folder, 1 manifest subdirectory b, 2 Start-menu folder,
                     //    3 a user's subdirectory in the install folder
    PROGRAMS_FOLDER, // a: 0 the scope's Programs folder missing, 1 a file in its place
    TEMP_FOLDER,     // a: 0 missing, 1 read-only, 2 planted log, 3 planted read-only log,
                     //    4 a folder named like the log, 5 a path too long for the log
    KEY_MISSING,     // a: which product keys are gone
    INSTALL_MISSING, // the install folder is gone
    MUTATION_KINDS
};

struct Mutation {
    int kind;
    int a, b, c;
};

struct World {
    unsigned long seed = 0;
    int generation = 3;
    int scope = 0; // 0 all users, 1 this user
    bool japanese = false;
    std::string windows = "winxp";
    int chain = 0; // -IS: 0 the installer's uninstall completes, 1 it leaves its entry
    // Started from its own copy in the install folder, as Programs and Features starts it
    // (where that copy is still there), or from elsewhere.
    bool from_install = false;
    std::vector<std::string> args;
    std::vector<unsigned> picks; // the button chosen in each box, by position
    std::vector<Mutation> mutations;
};

World generate_world(unsigned long seed);
// The run a world belongs to, as run_kind() names it ("win32" or "wow64"); the x86_64
// twin ("win64") runs every world.
const char* world_run(const World& world);
bool world_fits_run(const World& world);

// One line that parse_world reads back: the world with its mutations, for a test row.
std::string world_text(const World& world);
bool parse_world(const std::string& text, World* world);
// The mutation in words, for the reports.
std::string describe_mutation(const Mutation& mutation);
const char* mutation_name(int kind);

// The phases of a world, for the campaign's account of where its time goes.
enum Phase {
    PHASE_SAMPLE,   // the sample installation, by vxsample.exe
    PHASE_LAY,      // the decoys, the mutations and the temporary folder
    PHASE_PICTURES, // the whole-machine pictures before and after the run
    PHASE_RUN,      // the uninstaller's run, its boxes pressed
    PHASE_JUDGE,    // the oracle
    PHASE_CLEANUP,  // the machine put back
    PHASE_CHECK,    // the picture that proves the cleanup (not every world's)
    PHASES
};
const char* phase_name(int phase);

struct Verdict {
    std::vector<std::string> violations; // empty: the world held
    std::vector<std::string> allowed;    // behaviours kept on purpose that the run showed
    std::string summary;                 // exit code, boxes
    double seconds[PHASES] = {};
    int items = 0; // in the picture after the run
};

// The time of each phase, for a world's line.
std::string describe_times(const Verdict& verdict);

// Lays the world, runs the program on it, judges the run, and cleans the machine up.
Verdict run_world(const World& world);

// Makes the machine ready for worlds, takes its picture, and afterwards proves that a
// world's cleanup left it as it was.
void prepare_machine();
std::vector<std::string> leftovers_of_world();

} // namespace wintest

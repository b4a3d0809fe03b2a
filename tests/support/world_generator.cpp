// The generator of worlds: from a seed, the same world on every machine, and a world as
// one line of text and back.
#include "world_parts.h"

#include "install.h"

#include "removal/manifest.h"

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace wintest {

namespace {

// splitmix64: the same worlds from the same seed on every machine.
struct Random {
    unsigned long long state;
    unsigned long long next() {
        state += 0x9E3779B97F4A7C15ULL;
        unsigned long long z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int count) {
        return (int)(next() % (unsigned long long)count);
    }
    bool chance(int percent) {
        return below(100) < percent;
    }
};

const Version VERSIONS[] = {
    {"win95", true, "win32"},  {"win98", true, "win32"},  {"winme", true, "win32"},
    {"nt40", false, "win32"},  {"win2k", false, "win32"}, {"winxp", false, "win32"},
    {"vista", false, "wow64"}, {"win7", false, "wow64"},  {"win10", false, "wow64"},
};
const int VERSION_COUNT = sizeof VERSIONS / sizeof VERSIONS[0];

// Unknown ones among them; "-silent" twice, so that most worlds run without boxes.
const char* const OPTIONS[] = {"-silent", "-silent", "-nosilent", "-save",   "-nosave", "-IS",
                               "-is",     "-x",      "/silent",   "-SILENT", ""};
const int OPTION_COUNT = sizeof OPTIONS / sizeof OPTIONS[0];

const char* const VALUE_TYPE_NAMES[] = {"REG_SZ",     "REG_EXPAND_SZ", "REG_MULTI_SZ",
                                        "REG_BINARY", "REG_DWORD",     "REG_NONE"};
const int VALUE_TYPE_COUNT = sizeof VALUE_TYPES / sizeof VALUE_TYPES[0];
static_assert(sizeof VALUE_TYPE_NAMES / sizeof VALUE_TYPE_NAMES[0] == VALUE_TYPE_COUNT,
              "a name for every value type");

// The install-directory values, by DIR_VALUE's a.
const char* const DIR_VALUE_NAMES[] = {"InstallLocation of the product's entry",
                                       "InstallLocation of the InstallShield entry",
                                       "InstallDirectory4", "InstallDirectory"};

// The forms of a directory text (DirForm), by c.
const char* const DIR_FORM_NAMES[] = {"empty",
                                      "relative",
                                      "drive-relative",
                                      "UNC",
                                      "\\\\?\\D",
                                      "drive root",
                                      "D\\",
                                      "259 characters",
                                      "260 characters",
                                      "1023 characters",
                                      "1024 characters",
                                      "5000 characters",
                                      "D without terminator",
                                      "code page 932 text with 0x5C trail bytes",
                                      "%ProgramFiles% form",
                                      "missing",
                                      "D\\..\\leaf"};

// Forms of the chained uninstall command, by c.
const char* const CHAINED_FORM_NAMES[] = {
    "the stand-in, completing",        "empty",           "\"/uninst\" alone",
    "a program that is not there",     "1023 characters", "5000 characters",
    "the stand-in without terminator", "relative program"};
const int CHAINED_FORM_COUNT = 8;

// Forms of a Shell Folders value, by c; "P" is the folder as Wine wrote it.
const char* const SHELL_FORM_NAMES[] = {"missing",
                                        "empty",
                                        "relative",
                                        "drive-relative",
                                        "UNC",
                                        "520 characters",
                                        "600 characters",
                                        "P without terminator",
                                        "\\\\?\\P",
                                        "P\\",
                                        "code page 932 text with 0x5C trail bytes"};
const int SHELL_FORM_COUNT = 11;

const int LINK_PLACE_COUNT = sizeof LINK_PLACES / sizeof LINK_PLACES[0];
const char* const LINK_TARGET_NAMES[] = {"a decoy key", "its own parent", "a neighbour key"};

const char* const KEY_MISSING_NAMES[] = {"the product's Uninstall entry", "the per-user settings",
                                         "the entry and the settings", "the machine-wide settings",
                                         "the file type"};

const char* const TEMP_NAMES[] = {"missing",
                                  "read-only",
                                  "holding a planted log",
                                  "holding a planted read-only log",
                                  "holding a folder named like the log",
                                  "too long for the log"};
const char* const USER_FILE_NAMES[] = {"in the install folder", "in a manifest subdirectory",
                                       "in the Start-menu folder",
                                       "in a user's subdirectory of the install folder"};

const char* const MUTATION_NAMES[] = {
    "DirValue",   "ChainedValue", "ShellFolder",    "LinkKey",   "DeepTree",
    "WideTree",   "FileMissing",  "FileAttributes", "FileAsDir", "FileAsLink",
    "DirAsFile",  "DirAsLink",    "FileHeldOpen",   "UserFile",  "ProgramsFolder",
    "TempFolder", "KeyMissing",   "InstallMissing"};
static_assert(sizeof MUTATION_NAMES / sizeof MUTATION_NAMES[0] == MUTATION_KINDS,
              "a name for every mutation");

bool has_arg(const World& world, const char* option) {
    return std::find(world.args.begin(), world.args.end(), option) != world.args.end();
}

// What a mutation of each kind draws: how many values its a, b and c take, drawn in that
// order (0: not drawn, it stays 0), b counting from b_first.
struct Draw {
    MutationKind kind;
    int a_count, b_count, c_count, b_first;
};
const Draw DRAWS[] = {
    {DIR_VALUE, 4, VALUE_TYPE_COUNT, DIR_FORM_COUNT, 0},
    {CHAINED_VALUE, 0, VALUE_TYPE_COUNT, CHAINED_FORM_COUNT, 0},
    {SHELL_FOLDER, 2, VALUE_TYPE_COUNT, SHELL_FORM_COUNT, 0},
    {LINK_KEY, LINK_PLACE_COUNT, 3, 0, 0},
    {DEEP_TREE, 3, 3, 0, 0},
    {WIDE_TREE, 3, 3, 0, 0},
    {FILE_MISSING, INSTALLED_FILE_COUNT, 0, 0, 0},
    {FILE_ATTRIBUTES, INSTALLED_FILE_COUNT, 7, 0, 1},
    {FILE_AS_DIR, INSTALLED_FILE_COUNT, 2, 0, 0},
    {FILE_AS_LINK, INSTALLED_FILE_COUNT, 0, 0, 0},
    {DIR_AS_FILE, INSTALLED_DIR_COUNT, 0, 0, 0},
    {DIR_AS_LINK, INSTALLED_DIR_COUNT, 0, 0, 0},
    {FILE_HELD_OPEN, INSTALLED_FILE_COUNT, 3, 0, 0},
    {USER_FILE, 4, INSTALLED_DIR_COUNT, 0, 0},
    {PROGRAMS_FOLDER, 2, 0, 0, 0},
    {TEMP_FOLDER, 6, 0, 0, 0},
    {KEY_MISSING, 5, 0, 0, 0},
    {INSTALL_MISSING, 0, 0, 0, 0},
};

int draw_below(Random& random, int count) {
    return count > 0 ? random.below(count) : 0;
}

Mutation draw_mutation(Random& random, const World& world) {
    for (;;) {
        Mutation m = {random.below(MUTATION_KINDS), 0, 0, 0};
        if (m.kind == CHAINED_VALUE && !has_arg(world, "-IS"))
            continue;
        // Windows 9x has no link keys.
        if (m.kind == LINK_KEY && version_of(world).win9x)
            continue;
        for (const Draw& draw : DRAWS)
            if (draw.kind == m.kind) {
                m.a = draw_below(random, draw.a_count);
                m.b = draw.b_first + draw_below(random, draw.b_count);
                m.c = draw_below(random, draw.c_count);
            }
        return m;
    }
}

} // namespace

const Version& version_of(const World& world) {
    for (const Version& version : VERSIONS)
        if (world.windows == version.name)
            return version;
    return VERSIONS[5];
}

const char* mutation_name(int kind) {
    return kind >= 0 && kind < MUTATION_KINDS ? MUTATION_NAMES[kind] : "?";
}

World generate_world(unsigned long seed) {
    Random random = {seed * 0x2545F4914F6CDD1DULL + 1};
    World world;
    world.seed = seed;
    const Version& version = VERSIONS[random.below(VERSION_COUNT)];
    world.windows = version.name;
    world.generation = 1 + random.below(3);
    world.scope = version.win9x ? 0 : random.below(2);
    world.japanese = random.chance(15);
    world.chain = random.below(2);
    int count = random.below(4);
    for (int i = 0; i < count; i++)
        world.args.push_back(OPTIONS[random.below(OPTION_COUNT)]);
    for (int i = 0; i < 4; i++)
        world.picks.push_back(random.chance(75) ? 0 : 1);
    int mutations = 1 + random.below(4);
    for (int i = 0; i < mutations; i++)
        world.mutations.push_back(draw_mutation(random, world));
    // From a stream of its own, so that every seed draws the rest of its world as before.
    Random where = {seed * 0x9E3779B97F4A7C15ULL + 0xD1B54A32D192ED03ULL};
    world.from_install = where.chance(50);
    return world;
}

const char* world_run(const World& world) {
    return version_of(world).run;
}

bool world_fits_run(const World& world) {
    std::string run = run_kind();
    return run == "win64" || run == world_run(world);
}

std::string world_text(const World& world) {
    std::string text = "seed=" + std::to_string(world.seed) +
                       " gen=" + std::to_string(world.generation) +
                       " scope=" + (world.scope == 1 ? "user" : "system") +
                       " lang=" + (world.japanese ? "ja" : "en") + " windows=" + world.windows +
                       " chain=" + std::to_string(world.chain) +
                       " from=" + (world.from_install ? "install" : "elsewhere") + " args=";
    for (const std::string& arg : world.args)
        text += "[" + arg + "]";
    text += " picks=";
    for (size_t i = 0; i < world.picks.size(); i++)
        text += (i == 0 ? "" : ",") + std::to_string(world.picks[i]);
    text += " |";
    for (size_t i = 0; i < world.mutations.size(); i++) {
        const Mutation& m = world.mutations[i];
        text += std::string(i == 0 ? " " : "; ") + MUTATION_NAMES[m.kind] + " " +
                std::to_string(m.a) + " " + std::to_string(m.b) + " " + std::to_string(m.c);
    }
    return text;
}

bool parse_world(const std::string& text, World* world) {
    World parsed;
    char scope[16], lang[8], windows[16];
    int chain = 0;
    if (sscanf(text.c_str(), "seed=%lu gen=%d scope=%15s lang=%7s windows=%15s chain=%d",
               &parsed.seed, &parsed.generation, scope, lang, windows, &chain) != 6)
        return false;
    parsed.scope = strcmp(scope, "user") == 0;
    parsed.japanese = strcmp(lang, "ja") == 0;
    parsed.windows = windows;
    parsed.chain = chain;
    // Rows written before the worlds drew it ran from elsewhere.
    parsed.from_install = text.find(" from=install ") != std::string::npos;
    size_t args = text.find(" args=");
    size_t picks = text.find(" picks=");
    size_t bar = text.find(" |");
    if (args == std::string::npos || picks == std::string::npos || bar == std::string::npos)
        return false;
    for (size_t at = text.find('[', args); at != std::string::npos && at < picks;
         at = text.find('[', at + 1)) {
        size_t close = text.find(']', at);
        parsed.args.push_back(text.substr(at + 1, close - at - 1));
        at = close;
    }
    std::string pick_list = text.substr(picks + 7, bar - picks - 7);
    for (size_t at = 0; at < pick_list.size();) {
        parsed.picks.push_back((unsigned)atoi(pick_list.c_str() + at));
        size_t comma = pick_list.find(',', at);
        at = comma == std::string::npos ? pick_list.size() : comma + 1;
    }
    std::string rest = text.substr(bar + 2);
    for (size_t at = 0; at < rest.size();) {
        size_t end = rest.find(';', at);
        std::string one = rest.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? rest.size() : end + 1;
        char name[32];
        Mutation m = {0, 0, 0, 0};
        if (sscanf(one.c_str(), " %31s %d %d %d", name, &m.a, &m.b, &m.c) != 4)
            continue;
        m.kind = -1;
        for (int kind = 0; kind < MUTATION_KINDS; kind++)
            if (strcmp(name, MUTATION_NAMES[kind]) == 0)
                m.kind = kind;
        if (m.kind < 0)
            return false;
        parsed.mutations.push_back(m);
    }
    *world = parsed;
    return true;
}

std::string describe_mutation(const Mutation& m) {
    std::string what = MUTATION_NAMES[m.kind];
    switch (m.kind) {
    case DIR_VALUE:
        return what + ": " + DIR_VALUE_NAMES[m.a] + " as " + VALUE_TYPE_NAMES[m.b] + ", " +
               DIR_FORM_NAMES[m.c];
    case CHAINED_VALUE:
        return what + ": UninstallString.ORIG as " + VALUE_TYPE_NAMES[m.b] + ", " +
               CHAINED_FORM_NAMES[m.c];
    case SHELL_FOLDER:
        return what + ": " + SHELL_VALUE_NAMES[m.a] + " as " + VALUE_TYPE_NAMES[m.b] + ", " +
               SHELL_FORM_NAMES[m.c];
    case LINK_KEY:
        return what + ": " + LINK_PLACES[m.a].path + (LINK_PLACES[m.a].replaces ? " is" : "") +
               " a link to " + LINK_TARGET_NAMES[m.b];
    case DEEP_TREE:
        return what + ": " + std::to_string(DEPTHS[m.b]) + " levels below " + TREE_PLACES[m.a].path;
    case WIDE_TREE:
        return what + ": " + std::to_string(WIDTHS[m.b]) + " subkeys below " +
               TREE_PLACES[m.a].path;
    case FILE_MISSING:
    case FILE_AS_LINK:
        return what + ": " + manifest_files()[m.a];
    case FILE_ATTRIBUTES:
        return what + ": " + manifest_files()[m.a] + ((m.b & 1) ? " read-only" : "") +
               ((m.b & 2) ? " hidden" : "") + ((m.b & 4) ? " system" : "");
    case FILE_AS_DIR:
        return what + ": " + manifest_files()[m.a] + (m.b ? ", with a file inside" : ", empty");
    case DIR_AS_FILE:
    case DIR_AS_LINK:
        return what + ": " + manifest_dirs()[m.a];
    case FILE_HELD_OPEN:
        return what + ": " + manifest_files()[m.a] + ", sharing " +
               (m.b == 0   ? "nothing"
                : m.b == 1 ? "reading"
                           : "everything");
    case USER_FILE:
        return what + ": " + USER_FILE_NAMES[m.a] +
               (m.a == 1 ? std::string(" ") + manifest_dirs()[m.b] : std::string());
    case PROGRAMS_FOLDER:
        return what + ": " + (m.a == 0 ? "missing" : "a file in its place");
    case TEMP_FOLDER:
        return what + ": " + TEMP_NAMES[m.a];
    case KEY_MISSING:
        return what + ": " + KEY_MISSING_NAMES[m.a];
    default:
        return what;
    }
}

} // namespace wintest

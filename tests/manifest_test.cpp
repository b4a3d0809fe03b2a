// The install manifest, checked by the rules it must keep rather than restated.
#include "install.h"
#include "removal/manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

using wintest::manifest_dirs;
using wintest::manifest_files;

namespace {

std::string first_component(const std::string& path) {
    size_t slash = path.find('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string directory_of(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string without_directory(const std::string& path) {
    return path.substr(path.rfind('\\') + 1);
}

std::string lower(std::string text) {
    for (char& c : text)
        c = (char)tolower((unsigned char)c);
    return text;
}

struct Group {
    std::string directory; // first path component; "" for the install directory itself
    size_t first;
    size_t count;
};

// The runs of entries that share their first path component, in table order.
std::vector<Group> groups() {
    std::vector<Group> runs;
    std::vector<std::string> list = manifest_files();
    for (size_t i = 0; i < list.size(); i++) {
        std::string directory = first_component(list[i]);
        if (runs.empty() || runs.back().directory != directory)
            runs.push_back({directory, i, 0});
        runs.back().count++;
    }
    return runs;
}

std::vector<std::string> group_entries(const Group& group) {
    std::vector<std::string> list = manifest_files();
    return std::vector<std::string>(list.begin() + group.first,
                                    list.begin() + group.first + group.count);
}

void expect_ascending(const std::vector<std::string>& list, const std::string& what) {
    for (size_t i = 1; i < list.size(); i++)
        EXPECT_LT(strcmp(list[i - 1].c_str(), list[i].c_str()), 0)
            << what << ": " << list[i - 1] << " before " << list[i];
}

TEST(Manifest, TablesHoldTheirCountsBeforeTheEndMarker) {
    EXPECT_EQ((size_t)INSTALLED_FILE_COUNT, manifest_files().size());
    EXPECT_EQ(616u, manifest_files().size());
    EXPECT_EQ((size_t)INSTALLED_DIR_COUNT, manifest_dirs().size());
    EXPECT_EQ(15u, manifest_dirs().size());
}

TEST(Manifest, FilesComeInEightGroupsOfTheirSizes) {
    struct Expected {
        const char* directory;
        size_t count;
    };
    const Expected expected[] = {{"", 91},       {"100dpi", 200}, {"75dpi", 200},  {"misc", 76},
                                 {"speedo", 10}, {"type1", 19},   {"aliases", 16}, {"support", 4}};
    std::vector<Group> runs = groups();
    ASSERT_EQ(8u, runs.size());
    for (size_t i = 0; i < runs.size(); i++) {
        EXPECT_EQ(expected[i].directory, runs[i].directory) << "group " << i + 1;
        EXPECT_EQ(expected[i].count, runs[i].count) << "group " << i + 1;
    }
}

TEST(Manifest, GroupsKeepTheirStatedOrder) {
    std::vector<Group> runs = groups();
    ASSERT_EQ(8u, runs.size());
    std::vector<std::string> dpi100, dpi75;
    for (const std::string& entry : group_entries(runs[1]))
        dpi100.push_back(without_directory(entry));
    for (const std::string& entry : group_entries(runs[2]))
        dpi75.push_back(without_directory(entry));
    EXPECT_EQ(dpi100, dpi75) << "the two bitmap font groups hold the same names";
    expect_ascending(dpi100, "100dpi");
    expect_ascending(group_entries(runs[3]), "misc");
    expect_ascending(group_entries(runs[6]), "aliases");

    // Group 7: two rows per vendor directory, in this order.
    const char* vendors[] = {"dec", "hp", "ibm", "nec-bmp", "nec", "sony-bmp", "sun-bmp", "sun"};
    std::vector<std::string> aliases = group_entries(runs[6]);
    ASSERT_EQ(16u, aliases.size());
    for (size_t v = 0; v < 8; v++) {
        std::string directory = std::string("aliases\\") + vendors[v] + "\\";
        EXPECT_EQ(directory + "fonts.ali", aliases[2 * v]);
        EXPECT_EQ(directory + "fonts.bak", aliases[2 * v + 1]);
    }
}

TEST(Manifest, BackupsFollowTheirFile) {
    std::vector<Group> runs = groups();
    ASSERT_EQ(8u, runs.size());
    // Group 1: "x.bak" right after a file x.*, then "x.000", "x.001", ... without gaps.
    std::vector<std::string> product = group_entries(runs[0]);
    for (size_t i = 0; i < product.size(); i++) {
        std::string stem = product[i].substr(0, product[i].find('.'));
        std::string extension = product[i].substr(product[i].find('.') + 1);
        bool numbered = extension.size() == 3 && isdigit((unsigned char)extension[0]) &&
                        isdigit((unsigned char)extension[1]) &&
                        isdigit((unsigned char)extension[2]);
        if (extension != "bak" && !numbered)
            continue;
        ASSERT_GT(i, 0u);
        std::string before = product[i - 1];
        if (extension == "bak") {
            EXPECT_EQ(stem + ".", before.substr(0, stem.size() + 1)) << product[i];
            EXPECT_NE(stem + ".bak", before);
        } else {
            int number = atoi(extension.c_str());
            char expected[32];
            sprintf(expected, number == 0 ? "%s.bak" : "%s.%03d", stem.c_str(), number - 1);
            EXPECT_EQ(expected, before) << product[i];
        }
    }
    EXPECT_EQ(product.end(), std::find(product.begin(), product.end(), "kbdhook.bak"));

    // Among the fonts outside group 7 there is one backup, right after its font.
    std::vector<std::string> backups;
    std::vector<std::string> list = manifest_files();
    for (size_t i = runs[1].first; i < list.size(); i++) {
        if (first_component(list[i]) != "aliases" && list[i].size() > 4 &&
            list[i].compare(list[i].size() - 4, 4, ".bak") == 0) {
            backups.push_back(list[i]);
            EXPECT_EQ("type1\\c0419bt_.pfb", list[i - 1]);
        }
    }
    EXPECT_EQ(std::vector<std::string>{"type1\\c0419bt_.bak"}, backups);
}

TEST(Manifest, EveryFileLiesInTheInstallDirectoryOrAListedDirectory) {
    std::vector<std::string> directories = manifest_dirs();
    std::set<std::string> listed(directories.begin(), directories.end());
    std::set<std::string> used;
    for (const std::string& entry : manifest_files()) {
        std::string directory = directory_of(entry);
        EXPECT_TRUE(directory.empty() || listed.count(directory)) << entry;
        EXPECT_NE('\\', entry[0]) << entry;
        EXPECT_EQ(std::string::npos, entry.find('/')) << entry;
        EXPECT_LE(entry.size(), 26u) << entry;
        used.insert(directory);
    }
    // Every listed directory holds files or other listed directories.
    for (const std::string& directory : directories) {
        bool parent = false;
        for (const std::string& other : directories)
            parent = parent || directory_of(other) == directory;
        EXPECT_TRUE(used.count(directory) || parent) << directory;
        EXPECT_TRUE(directory_of(directory).empty() || listed.count(directory_of(directory)))
            << directory;
    }
}

TEST(Manifest, EachDirectoryComesBeforeItsParent) {
    std::vector<std::string> list = manifest_dirs();
    for (size_t i = 0; i < list.size(); i++) {
        for (size_t j = 0; j < list.size(); j++) {
            if (list[i].compare(0, list[j].size() + 1, list[j] + "\\") == 0) {
                EXPECT_LT(i, j) << list[i] << " must come before " << list[j];
            }
        }
    }
}

TEST(Manifest, NoEntryTwice) {
    // The file system ignores case, so neither may the check.
    for (const std::vector<std::string>& list : {manifest_files(), manifest_dirs()}) {
        std::set<std::string> seen;
        for (const std::string& entry : list)
            EXPECT_TRUE(seen.insert(lower(entry)).second) << entry;
    }
}

// ---- the manifest as it is described --------------------------------------------

// Appends, for each name, its path under directory ("" = the install directory).
void add_under(std::vector<std::string>& list, const std::string& directory,
               const std::vector<std::string>& names) {
    for (const std::string& name : names)
        list.push_back(directory.empty() ? name : directory + "\\" + name);
}

// A product file with its backups: "stem.ext", then "stem.bak" unless there is none,
// then "stem.000" to "stem.<last>" (none when last is negative).
struct Product {
    const char* stem;
    const char* extension;
    bool backup;
    int last;
};

// One name per point size for each family ("chari08.pcf"), or a row of its own.
struct FontRun {
    std::vector<std::string> families;
    std::vector<const char*> sizes; // empty: the families are whole names
};

std::vector<std::string> described_files() {
    const Product products[] = {
        {"aliases", "cfg", true, 3},    {"cfgwiz", "exe", true, -1},
        {"vortasvc", "exe", true, 10},  {"vortax", "exe", true, 10},
        {"bdftopcf", "exe", true, -1},  {"mkfntdir", "exe", true, -1},
        {"kbdhook", "dll", false, -1},  {"readme", "txt", true, 10},
        {"rgb", "txt", true, -1},       {"security", "txt", true, 3},
        {"update", "txt", true, 10},    {"imgext", "dll", true, -1},
        {"xstarter", "exe", true, -1},  {"vxnat", "dll", true, -1},
        {"vxsecsh", "exe", true, -1},   {"vxglx_mgl", "dll", true, -1},
        {"vxglx_wgl", "dll", true, -1}, {"help", "chm", true, -1},
        {"xrun", "cmd", true, -1},      {"hostkb", "kmp", true, -1},
    };
    const std::vector<const char*> six = {"08", "10", "12", "14", "18", "24"};
    const std::vector<FontRun> bitmapFonts = {
        {{"chari", "charr", "courb", "courbo", "couro", "courr"}, six},
        {{"fonts.ali", "fonts.dir"}, {}},
        {{"helvb", "helvbo", "helvo", "helvr"}, six},
        {{"lubb", "lubbi", "lubi", "lubis", "lubr", "lubs", "luis", "lurs", "lutbs", "lutrs"},
         {"08", "10", "12", "14", "18", "19", "24"}},
        {{"ncenb", "ncenbi", "nceni", "ncenr", "symb"}, six},
        {{"tech14.pcf", "techb14.pcf", "term14.pcf", "termb14.pcf"}, {}},
        {{"timb", "timbi", "timi", "timr"}, six},
        {{"uti___", "utrg__"}, {"10", "12", "14", "18", "24"}},
    };
    const std::vector<std::string> misc = {
        "10x20.pcf",   "12x24.pcf",    "12x24rk.pcf",  "5x7.pcf",       "5x8.pcf",
        "6x10.pcf",    "6x12.pcf",     "6x13.pcf",     "6x13b.pcf",     "6x9.pcf",
        "7x13.pcf",    "7x13b.pcf",    "7x13euro.pcf", "7x13eurob.pcf", "7x14.pcf",
        "7x14b.pcf",   "7x14rk.pcf",   "8x13.pcf",     "8x13b.pcf",     "8x16.pcf",
        "8x16rk.pcf",  "9x15.pcf",     "9x15b.pcf",    "clb6x10.pcf",   "clb6x12.pcf",
        "clb8x10.pcf", "clb8x12.pcf",  "clb8x13.pcf",  "clb8x14.pcf",   "clb8x16.pcf",
        "clb8x8.pcf",  "clb9x15.pcf",  "cli6x12.pcf",  "cli8x8.pcf",    "clr4x6.pcf",
        "clr5x10.pcf", "clr5x6.pcf",   "clr5x8.pcf",   "clr6x10.pcf",   "clr6x12.pcf",
        "clr6x13.pcf", "clr6x6.pcf",   "clr6x8.pcf",   "clr7x10.pcf",   "clr7x12.pcf",
        "clr7x14.pcf", "clr7x8.pcf",   "clr8x10.pcf",  "clr8x12.pcf",   "clr8x13.pcf",
        "clr8x14.pcf", "clr8x16.pcf",  "clr8x8.pcf",   "clr9x15.pcf",   "cursor.pcf",
        "deccurs.pcf", "decsess.pcf",  "fonts.ali",    "fonts.dir",     "gb16fs.pcf",
        "gb16st.pcf",  "gb24st.pcf",   "hanglg16.pcf", "hanglm16.pcf",  "hanglm24.pcf",
        "heb6x13.pcf", "heb8x13.pcf",  "jiskan16.pcf", "jiskan24.pcf",  "k14.pcf",
        "nil2.pcf",    "olcursor.pcf", "olgl10.pcf",   "olgl12.pcf",    "olgl14.pcf",
        "olgl19.pcf",
    };
    const std::vector<std::string> speedo = {
        "font0419.spd", "font0582.spd", "font0583.spd", "font0611.spd", "font0648.spd",
        "font0649.spd", "font0709.spd", "font0710.spd", "fonts.dir",    "fonts.sca",
    };
    const std::vector<std::string> type1 = {
        "c0419bt_.pfb", "c0419bt_.bak", "c0582bt_.pfb", "c0583bt_.pfb", "c0611bt_.pfb",
        "c0632bt_.pfb", "c0633bt_.pfb", "c0648bt_.pfb", "c0649bt_.pfb", "cour.pfa",
        "courb.pfa",    "courbi.pfa",   "couri.pfa",    "fonts.dir",    "fonts.sca",
        "utb_____.pfa", "utbi____.pfa", "uti_____.pfa", "utrg____.pfa",
    };
    const char* const vendors[] = {"dec", "hp",       "ibm",     "nec-bmp",
                                   "nec", "sony-bmp", "sun-bmp", "sun"};

    std::vector<std::string> list;
    for (const Product& p : products) {
        list.push_back(std::string(p.stem) + "." + p.extension);
        if (p.backup)
            list.push_back(std::string(p.stem) + ".bak");
        for (int n = 0; n <= p.last; n++) {
            char numbered[32];
            sprintf(numbered, "%s.%03d", p.stem, n);
            list.push_back(numbered);
        }
    }
    std::vector<std::string> fonts;
    for (const FontRun& run : bitmapFonts) {
        for (const std::string& family : run.families) {
            if (run.sizes.empty())
                fonts.push_back(family);
            for (const char* size : run.sizes)
                fonts.push_back(family + size + ".pcf");
        }
    }
    add_under(list, "100dpi", fonts);
    add_under(list, "75dpi", fonts);
    add_under(list, "misc", misc);
    add_under(list, "speedo", speedo);
    add_under(list, "type1", type1);
    for (const char* vendor : vendors)
        add_under(list, std::string("aliases\\") + vendor, {"fonts.ali", "fonts.bak"});
    add_under(list, "support", {"news_os.txt", "owbitmap.txt", "owttfont.txt", "readme.txt"});
    return list;
}

// The tables against their description, entry by entry and in order: a misspelt or
// misplaced name shows here, though the sample installation and every removal that
// reads the same table would agree with it.
TEST(Manifest, TablesAreTheDescribedManifestEntryByEntry) {
    std::vector<std::string> described = described_files();
    std::vector<std::string> table = manifest_files();
    EXPECT_EQ(616u, described.size());
    for (size_t i = 0; i < std::max(described.size(), table.size()); i++) {
        EXPECT_EQ(i < described.size() ? described[i] : "(none)",
                  i < table.size() ? table[i] : "(none)")
            << "file entry " << i;
    }
    const std::vector<std::string> describedDirs = {"100dpi",
                                                    "75dpi",
                                                    "aliases\\dec",
                                                    "aliases\\hp",
                                                    "aliases\\ibm",
                                                    "aliases\\nec",
                                                    "aliases\\nec-bmp",
                                                    "aliases\\sony-bmp",
                                                    "aliases\\sun",
                                                    "aliases\\sun-bmp",
                                                    "aliases",
                                                    "misc",
                                                    "speedo",
                                                    "support",
                                                    "type1"};
    EXPECT_EQ(describedDirs, manifest_dirs());
}

} // namespace

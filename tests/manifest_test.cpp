// The install manifest, checked by the rules it must keep rather than restated.
#include "removal/manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::string> files() {
    std::vector<std::string> list;
    for (int i = 0; InstalledFileTable[i] != NULL; i++)
        list.push_back(InstalledFileTable[i]);
    return list;
}

std::vector<std::string> dirs() {
    std::vector<std::string> list;
    for (int i = 0; InstalledDirTable[i] != NULL; i++)
        list.push_back(InstalledDirTable[i]);
    return list;
}

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
    std::vector<std::string> list = files();
    for (size_t i = 0; i < list.size(); i++) {
        std::string directory = first_component(list[i]);
        if (runs.empty() || runs.back().directory != directory)
            runs.push_back({directory, i, 0});
        runs.back().count++;
    }
    return runs;
}

std::vector<std::string> group_entries(const Group& group) {
    std::vector<std::string> list = files();
    return std::vector<std::string>(list.begin() + group.first,
                                    list.begin() + group.first + group.count);
}

void expect_ascending(const std::vector<std::string>& list, const std::string& what) {
    for (size_t i = 1; i < list.size(); i++)
        EXPECT_LT(strcmp(list[i - 1].c_str(), list[i].c_str()), 0)
            << what << ": " << list[i - 1] << " before " << list[i];
}

TEST(Manifest, TablesHoldTheirCountsBeforeTheEndMarker) {
    EXPECT_EQ((size_t)INSTALLED_FILE_COUNT, files().size());
    EXPECT_EQ(616u, files().size());
    EXPECT_EQ((size_t)INSTALLED_DIR_COUNT, dirs().size());
    EXPECT_EQ(15u, dirs().size());
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
    std::vector<std::string> list = files();
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
    std::vector<std::string> directories = dirs();
    std::set<std::string> listed(directories.begin(), directories.end());
    std::set<std::string> used;
    for (const std::string& entry : files()) {
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
    std::vector<std::string> list = dirs();
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
    for (const std::vector<std::string>& list : {files(), dirs()}) {
        std::set<std::string> seen;
        for (const std::string& entry : list)
            EXPECT_TRUE(seen.insert(lower(entry)).second) << entry;
    }
}

} // namespace

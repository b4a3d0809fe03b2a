#include "install.h"

#include "product.h"

#include "removal/manifest.h"

namespace wintest {

namespace {

std::vector<std::string> entries_of(const char* table) {
    std::vector<std::string> entries;
    for (const char* entry = table; *entry != '\0'; entry = NextManifestEntry(entry))
        entries.push_back(entry);
    return entries;
}

} // namespace

const std::vector<std::string>& manifest_files() {
    static const std::vector<std::string> files = entries_of(InstalledFileTable);
    return files;
}

const std::vector<std::string>& manifest_dirs() {
    static const std::vector<std::string> dirs = entries_of(InstalledDirTable);
    return dirs;
}

void make_install_at(Where where, const std::string& dir) {
    make_dir_at(where, dir);
    for (const std::string& subdir : manifest_dirs())
        make_dir_at(where, dir + "\\" + subdir);
    for (size_t i = 0; i < manifest_files().size(); i++) {
        const std::string& entry = manifest_files()[i];
        std::string path = dir + "\\" + entry;
        make_file_at(where, path, entry);
        DWORD attributes = 0;
        if (i % 7 == 0)
            attributes |= FILE_ATTRIBUTE_READONLY;
        if (i % 50 == 3)
            attributes |= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if (attributes != 0 && !SetFileAttributesA(path.c_str(), attributes))
            ADD_FAILURE_AT(where.file, where.line) << "cannot set the attributes of " << path;
    }
}

void remove_product_keys(REGSAM view) {
    for (const Key& key : PRODUCT_KEYS)
        delete_key_tree(key.root, key.path, view);
    for (const Key& key : NEIGHBOUR_KEYS)
        delete_key_tree(key.root, key.path, view);
    delete_key_tree(HKEY_CURRENT_USER, VORTA_KEY, view);
    delete_key_tree(HKEY_LOCAL_MACHINE, VORTA_KEY, view);
}

} // namespace wintest

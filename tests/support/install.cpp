#include "install.h"

#include "product.h"

#include "removal/manifest.h"

namespace wintest {

void make_install_at(Where where, const std::string& dir) {
    make_dir_at(where, dir);
    for (const char* entry = InstalledDirTable; *entry != '\0'; entry = NextManifestEntry(entry))
        make_dir_at(where, dir + "\\" + entry);
    int i = 0;
    for (const char* entry = InstalledFileTable; *entry != '\0';
         entry = NextManifestEntry(entry), i++) {
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

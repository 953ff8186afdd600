#include "console/files.h"

#include <dirent.h>
#include <sys/stat.h>

const char PATH_SEPARATOR = '/';

PathKind KindOfPath(const char* path) {
    struct stat info;
    if (stat(path, &info) != 0) return PATH_NONE;
    return S_ISDIR(info.st_mode) ? PATH_FOLDER : PATH_FILE;
}

int ListRegularFiles(const char* folder, std::vector<std::string>* names) {
    DIR* listing = opendir(folder);
    if (listing == nullptr) return 1;
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    const size_t folderLength = path.size();
    while (const struct dirent* entry = readdir(listing)) {
        // Most file systems say what an entry is; a link or an unknown
        // kind is asked of the system.
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            path.resize(folderLength);
            path += entry->d_name;
            struct stat info;
            regular = stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
        }
        if (regular) names->push_back(entry->d_name);
    }
    closedir(listing);
    return 0;
}

bool IsPathSeparator(char character) {
    return character == '/';
}

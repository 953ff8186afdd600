#include "console/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <string>

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

namespace {

constexpr int LINKS_FOLLOWED_MAX = 40;  // as the system itself follows
constexpr int TEMPORARY_TRIES = 100;

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a report at `target` replaces: the target itself, or the file
// its links lead to, whether that exists yet or not. Returns 0, or 1 when a
// link cannot be read or the links go round.
int FollowLinks(const char* target, std::string* place) {
    std::string path = target;
    for (int step = 0; step < LINKS_FOLLOWED_MAX; ++step) {
        struct stat info;
        if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            *place = path;
            return 0;
        }
        char link[PATH_MAX];
        ssize_t length = readlink(path.c_str(), link, sizeof link - 1);
        if (length < 0) return 1;
        link[length] = '\0';
        path = link[0] == '/' ? std::string(link) : FolderOf(path) + "/" + link;
    }
    return 1;
}

bool SameIdentity(const struct stat& first, const struct stat& second) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool IsStandardStream(const struct stat& info) {
    struct stat stream;
    for (int descriptor = 1; descriptor <= 2; ++descriptor) {
        if (fstat(descriptor, &stream) == 0 && SameIdentity(info, stream)) return true;
    }
    return false;
}

enum TargetKind { TARGET_REFUSED, TARGET_IN_PLACE, TARGET_REPLACED };

// How the report gets to `target`; for TARGET_REPLACED, `place` is the file
// it replaces.
TargetKind KindOf(const char* target, std::string* place) {
    struct stat info;
    if (stat(target, &info) == 0) {
        if (S_ISDIR(info.st_mode)) return TARGET_REFUSED;
        if (!S_ISREG(info.st_mode) || IsStandardStream(info)) return TARGET_IN_PLACE;
    }
    return FollowLinks(target, place) == 0 ? TARGET_REPLACED : TARGET_REFUSED;
}

// A fresh file in `folder`, never one that exists. Returns its descriptor,
// or -1.
int CreateTemporary(const std::string& folder, std::string* name) {
    for (int attempt = 0; attempt < TEMPORARY_TRIES; ++attempt) {
        char leaf[64];
        snprintf(leaf, sizeof leaf, "/.recmeter-%ld-%d.tmp", static_cast<long>(getpid()), attempt);
        *name = folder + leaf;
        int descriptor = open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    return -1;
}

int WriteAll(int descriptor, const char* bytes, size_t length) {
    while (length > 0) {
        ssize_t written = write(descriptor, bytes, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return 1;
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return 0;
}

// The folder's own record of the rename, on disk. Some file systems cannot
// flush a folder (EINVAL): the rename is then as safe as they make it.
int FlushFolder(const std::string& folder) {
    int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return 1;
    int status = fsync(descriptor) == 0 || errno == EINVAL ? 0 : 1;
    close(descriptor);
    return status;
}

int WriteInPlace(const char* target, const char* bytes, size_t length) {
    int descriptor = open(target, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (descriptor < 0) return 1;
    int status = WriteAll(descriptor, bytes, length);
    return close(descriptor) == 0 ? status : 1;
}

int WriteAndReplace(const std::string& place, const char* bytes, size_t length) {
    const std::string folder = FolderOf(place);
    std::string temporary;
    int descriptor = CreateTemporary(folder, &temporary);
    if (descriptor < 0) return 1;
    int status = WriteAll(descriptor, bytes, length);
    if (status == 0 && fsync(descriptor) != 0) status = 1;
    if (close(descriptor) != 0) status = 1;
    if (status == 0 && rename(temporary.c_str(), place.c_str()) != 0) status = 1;
    if (status != 0) {
        unlink(temporary.c_str());
        return 1;
    }
    return FlushFolder(folder);
}

// WHOLE_FILE_NOT_OURS when `place` is a regular file that may not be
// replaced; 0 when it may be, or does not exist.
int CheckReplaced(const std::string& place, ReplaceAllowed mayReplace) {
    struct stat info;
    if (stat(place.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return mayReplace(place.c_str()) ? 0 : WHOLE_FILE_NOT_OURS;
}

}  // namespace

int SameExistingFile(const char* first, const char* second) {
    struct stat one;
    struct stat other;
    return stat(first, &one) == 0 && stat(second, &other) == 0 && SameIdentity(one, other) ? 1 : 0;
}

int CheckWholeFileTarget(const char* target, ReplaceAllowed mayReplace) {
    std::string place;
    switch (KindOf(target, &place)) {
        case TARGET_REFUSED:
            return WHOLE_FILE_UNWRITABLE;
        case TARGET_IN_PLACE:
            return access(target, W_OK) == 0 ? 0 : WHOLE_FILE_UNWRITABLE;
        case TARGET_REPLACED:
            break;
    }
    if (CheckReplaced(place, mayReplace) != 0) return WHOLE_FILE_NOT_OURS;
    const std::string folder = FolderOf(place);
    long nameMax = pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::string name = NameOf(place);
    if (nameMax < 0 || name.empty() || name.size() > static_cast<size_t>(nameMax) ||
        place.size() >= PATH_MAX) {
        return WHOLE_FILE_UNWRITABLE;
    }
    std::string temporary;
    int descriptor = CreateTemporary(folder, &temporary);
    if (descriptor < 0) return WHOLE_FILE_UNWRITABLE;
    close(descriptor);
    unlink(temporary.c_str());
    return 0;
}

int WriteWholeFile(const char* target, const char* bytes, size_t length,
                   ReplaceAllowed mayReplace) {
    std::string place;
    switch (KindOf(target, &place)) {
        case TARGET_REFUSED:
            return WHOLE_FILE_UNWRITABLE;
        case TARGET_IN_PLACE:
            return WriteInPlace(target, bytes, length);
        case TARGET_REPLACED:
            break;
    }
    if (CheckReplaced(place, mayReplace) != 0) return WHOLE_FILE_NOT_OURS;
    return WriteAndReplace(place, bytes, length);
}

NewFile CreateNewFile(const char* path, int* exists) {
    int descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    *exists = descriptor < 0 && errno == EEXIST;
    return descriptor < 0 ? NO_NEW_FILE : descriptor;
}

int WriteNewFile(NewFile file, const char* bytes, size_t length) {
    return WriteAll(static_cast<int>(file), bytes, length);
}

int FinishNewFile(NewFile file, const char* path) {
    int status = fsync(static_cast<int>(file)) == 0 ? 0 : 1;
    if (close(static_cast<int>(file)) != 0) status = 1;
    return status == 0 ? FlushFolder(FolderOf(path)) : 1;
}

void AbandonNewFile(NewFile file, const char* path) {
    close(static_cast<int>(file));
    unlink(path);
}

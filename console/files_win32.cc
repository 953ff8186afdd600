#include "console/files.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

// The program matches the patterns it is given itself, the same way on
// every system: the C runtime must hand them over as typed, unexpanded.
extern "C" {
int _dowildcard = 0;
}

const char PATH_SEPARATOR = '\\';

PathKind KindOfPath(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return PATH_NONE;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PATH_FOLDER : PATH_FILE;
}

int ListRegularFiles(const char* folder, std::vector<std::string>* names) {
    std::string pattern = folder;
    if (!pattern.empty() && !IsPathSeparator(pattern.back())) pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA(pattern.c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : 1;
    do {
        const DWORD notRegular = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
        if ((entry.dwFileAttributes & notRegular) == 0) names->push_back(entry.cFileName);
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return 0;
}

bool IsPathSeparator(char character) {
    return character == '/' || character == '\\' || character == ':';
}

namespace {

constexpr size_t NAME_CHARS_MAX = 255;  // one name in a path, on the usual file systems
constexpr int TEMPORARY_TRIES = 100;
constexpr DWORD SHARE_ALL = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The folder of a full path, with its separator ("C:\" for the root).
std::string FolderOf(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && !IsPathSeparator(path[end - 1])) --end;
    return path.substr(0, end);
}

bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& one, const BY_HANDLE_FILE_INFORMATION& other) {
    return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
           one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

// True when `handle` reads the file standard output or error goes to.
bool IsStandardStream(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    BY_HANDLE_FILE_INFORMATION stream;
    if (!GetFileInformationByHandle(handle, &info)) return false;
    for (DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        HANDLE standard = GetStdHandle(which);
        if (standard != nullptr && standard != INVALID_HANDLE_VALUE &&
            GetFileType(standard) == FILE_TYPE_DISK &&
            GetFileInformationByHandle(standard, &stream) && SameIdentity(info, stream)) {
            return true;
        }
    }
    return false;
}

int Identify(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE handle = CreateFileA(path, 0, SHARE_ALL, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    BOOL known = GetFileInformationByHandle(handle, info);
    CloseHandle(handle);
    return known ? 1 : 0;
}

// The full path of the file an open handle reads, links resolved, without
// the "\\?\" prefix the system puts before it. Empty when unknown.
std::string FinalPathOf(HANDLE handle) {
    char path[MAX_PATH + 8];
    DWORD length = GetFinalPathNameByHandleA(handle, path, sizeof path, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= sizeof path) return std::string();
    if (strncmp(path, "\\\\?\\UNC\\", 8) == 0) return "\\" + std::string(path + 7);
    if (strncmp(path, "\\\\?\\", 4) == 0) return std::string(path + 4);
    return std::string(path);
}

enum TargetKind { TARGET_REFUSED, TARGET_IN_PLACE, TARGET_REPLACED };

// How the report gets to `target`. For TARGET_IN_PLACE, *handle is open on
// it for writing; for TARGET_REPLACED, `place` is the full path of the file
// the report replaces, whether that exists yet or not, and *exists says
// which.
TargetKind KindOf(const char* target, HANDLE* handle, std::string* place, bool* exists) {
    *exists = false;
    DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return TARGET_REFUSED;
    }
    *handle = CreateFileA(target, GENERIC_WRITE, SHARE_ALL, nullptr, OPEN_EXISTING, 0, nullptr);
    if (*handle != INVALID_HANDLE_VALUE) {
        // NUL, CON, a pipe: no file on a disk to put another in place of;
        // the file standard output goes to: the document follows the text.
        if (GetFileType(*handle) != FILE_TYPE_DISK) return TARGET_IN_PLACE;
        if (IsStandardStream(*handle)) {
            SetFilePointer(*handle, 0, nullptr, FILE_END);
            return TARGET_IN_PLACE;
        }
        *place = FinalPathOf(*handle);
        *exists = true;
        CloseHandle(*handle);
        *handle = INVALID_HANDLE_VALUE;
        return place->empty() ? TARGET_REFUSED : TARGET_REPLACED;
    }
    // There but not to be written (read-only, say): it could not be replaced.
    if (attributes != INVALID_FILE_ATTRIBUTES) return TARGET_REFUSED;
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(target, sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return TARGET_REFUSED;
    *place = full;
    return TARGET_REPLACED;
}

// A fresh file in `folder`, never one that exists. Returns its handle, or
// INVALID_HANDLE_VALUE.
HANDLE CreateTemporary(const std::string& folder, std::string* name) {
    for (int attempt = 0; attempt < TEMPORARY_TRIES; ++attempt) {
        char leaf[64];
        snprintf(leaf, sizeof leaf, "~recmeter-%lu-%d.tmp",
                 static_cast<unsigned long>(GetCurrentProcessId()), attempt);
        *name = folder + leaf;
        if (name->size() >= MAX_PATH) return INVALID_HANDLE_VALUE;
        HANDLE handle = CreateFileA(name->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return handle;
    }
    return INVALID_HANDLE_VALUE;
}

int WriteAll(HANDLE handle, const char* bytes, size_t length) {
    while (length > 0) {
        DWORD part = length > 0x40000000u ? 0x40000000u : static_cast<DWORD>(length);
        DWORD written = 0;
        if (!WriteFile(handle, bytes, part, &written, nullptr) || written == 0) return 1;
        bytes += written;
        length -= written;
    }
    return 0;
}

int WriteAndReplace(const std::string& place, const char* bytes, size_t length) {
    std::string temporary;
    HANDLE handle = CreateTemporary(FolderOf(place), &temporary);
    if (handle == INVALID_HANDLE_VALUE) return 1;
    int status = WriteAll(handle, bytes, length);
    if (status == 0 && !FlushFileBuffers(handle)) status = 1;
    if (!CloseHandle(handle)) status = 1;
    if (status == 0 && !MoveFileExA(temporary.c_str(), place.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        status = 1;
    }
    if (status != 0) DeleteFileA(temporary.c_str());
    return status;
}

}  // namespace

int SameExistingFile(const char* first, const char* second) {
    BY_HANDLE_FILE_INFORMATION one;
    BY_HANDLE_FILE_INFORMATION other;
    return Identify(first, &one) && Identify(second, &other) && SameIdentity(one, other) ? 1 : 0;
}

int CheckWholeFileTarget(const char* target, ReplaceAllowed mayReplace) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string place;
    bool exists = false;
    switch (KindOf(target, &handle, &place, &exists)) {
        case TARGET_REFUSED:
            return WHOLE_FILE_UNWRITABLE;
        case TARGET_IN_PLACE:
            CloseHandle(handle);
            return 0;
        case TARGET_REPLACED:
            break;
    }
    if (exists && !mayReplace(place.c_str())) return WHOLE_FILE_NOT_OURS;
    const std::string folder = FolderOf(place);
    if (place.size() == folder.size() || place.size() - folder.size() > NAME_CHARS_MAX) {
        return WHOLE_FILE_UNWRITABLE;
    }
    std::string temporary;
    handle = CreateTemporary(folder, &temporary);
    if (handle == INVALID_HANDLE_VALUE) return WHOLE_FILE_UNWRITABLE;
    CloseHandle(handle);
    DeleteFileA(temporary.c_str());
    return 0;
}

int WriteWholeFile(const char* target, const char* bytes, size_t length,
                   ReplaceAllowed mayReplace) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string place;
    bool exists = false;
    switch (KindOf(target, &handle, &place, &exists)) {
        case TARGET_REFUSED:
            return WHOLE_FILE_UNWRITABLE;
        case TARGET_IN_PLACE: {
            int status = WriteAll(handle, bytes, length);
            return CloseHandle(handle) && status == 0 ? 0 : WHOLE_FILE_UNWRITABLE;
        }
        case TARGET_REPLACED:
            break;
    }
    if (exists && !mayReplace(place.c_str())) return WHOLE_FILE_NOT_OURS;
    return WriteAndReplace(place, bytes, length);
}

NewFile CreateNewFile(const char* path, int* exists) {
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    *exists = handle == INVALID_HANDLE_VALUE &&
              (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
    return handle == INVALID_HANDLE_VALUE ? NO_NEW_FILE : reinterpret_cast<NewFile>(handle);
}

int WriteNewFile(NewFile file, const char* bytes, size_t length) {
    return WriteAll(reinterpret_cast<HANDLE>(file), bytes, length);
}

// Windows offers no flush of a folder: the file's own flush, data and
// metadata, is what there is.
int FinishNewFile(NewFile file, const char*) {
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    int status = FlushFileBuffers(handle) ? 0 : 1;
    if (!CloseHandle(handle)) status = 1;
    return status;
}

void AbandonNewFile(NewFile file, const char* path) {
    CloseHandle(reinterpret_cast<HANDLE>(file));
    DeleteFileA(path);
}

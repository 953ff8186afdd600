#include "console/files.h"

#include <windows.h>

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

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "engine/library.h"

namespace {

const char ENGINE_LIBRARY[] = "w3btrv7.dll";
constexpr DWORD FOLDER_CHARS = MAX_PATH;

// Appends the library's name to `folder` (which holds `length` characters)
// and loads that file when it is there. False when it is not; *library is
// the loaded module, or null when the file is there but cannot be loaded.
bool LoadFromFolder(char* folder, DWORD length, HMODULE* library) {
    if (length == 0 || length + 1 + sizeof ENGINE_LIBRARY > FOLDER_CHARS) return false;
    if (folder[length - 1] != '\\' && folder[length - 1] != '/') folder[length++] = '\\';
    memcpy(folder + length, ENGINE_LIBRARY, sizeof ENGINE_LIBRARY);
    if (GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES) return false;
    // The engine's own DLLs are then looked for beside it first.
    *library = LoadLibraryExA(folder, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return true;
}

// A folder PATH names as "C:\...", "\\server\..." or "\..." (on the current
// drive): a relative one would be looked for from the current folder.
bool IsAbsoluteFolder(const char* folder, size_t length) {
    return (length >= 3 && folder[1] == ':' && (folder[2] == '\\' || folder[2] == '/')) ||
           (length >= 1 && (folder[0] == '\\' || folder[0] == '/'));
}

// The program's own folder, the system folder, the Windows folder, then the
// folders on PATH in their order: the system's own search with the current
// folder left out, since a folder of received data files may hold a
// w3btrv7.dll that is no engine. The first file found is the one loaded.
HMODULE LoadEngine() {
    char folder[FOLDER_CHARS];
    HMODULE library = nullptr;
    DWORD length = GetModuleFileNameA(nullptr, folder, FOLDER_CHARS);
    while (length > 0 && folder[length - 1] != '\\' && folder[length - 1] != '/') --length;
    if (LoadFromFolder(folder, length, &library)) return library;
    length = GetSystemDirectoryA(folder, FOLDER_CHARS);
    if (length < FOLDER_CHARS && LoadFromFolder(folder, length, &library)) return library;
    length = GetWindowsDirectoryA(folder, FOLDER_CHARS);
    if (length < FOLDER_CHARS && LoadFromFolder(folder, length, &library)) return library;

    static char path[32768];
    DWORD pathLength = GetEnvironmentVariableA("PATH", path, sizeof path);
    if (pathLength >= sizeof path) pathLength = 0;
    for (char* entry = path; pathLength > 0 && *entry != '\0';) {
        char* end = strchr(entry, ';');
        size_t entryLength = end != nullptr ? static_cast<size_t>(end - entry) : strlen(entry);
        if (entryLength > 0 && entryLength < FOLDER_CHARS && IsAbsoluteFolder(entry, entryLength)) {
            memcpy(folder, entry, entryLength);
            if (LoadFromFolder(folder, static_cast<DWORD>(entryLength), &library)) return library;
        }
        if (end == nullptr) break;
        entry = end + 1;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

}  // namespace

const char* EngineLibraryName() {
    return ENGINE_LIBRARY;
}

const char* EngineEntryName(EngineEntryKind kind) {
    return kind == STANDARD_ENTRY ? "ordinal 1" : "BTRVEX";
}

void* OpenEngineLibrary() {
    // Nor are the engine's own DLLs taken from the current folder.
    SetDllDirectoryA("");
    return reinterpret_cast<void*>(LoadEngine());
}

void* FindEngineEntry(void* library, EngineEntryKind kind) {
    LPCSTR symbol = kind == STANDARD_ENTRY ? MAKEINTRESOURCEA(1) : "BTRVEX";
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), symbol));
}

// The system's text for the last error, without its line end.
void EngineLibraryReason(char* text, size_t size) {
    DWORD error = GetLastError();
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, static_cast<DWORD>(size), nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == ' ' || text[length - 1] == '.')) {
        text[--length] = '\0';
    }
    if (length == 0) snprintf(text, size, "error %lu", static_cast<unsigned long>(error));
}

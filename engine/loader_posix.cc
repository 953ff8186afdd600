#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "engine/library.h"

namespace {

char lastFailure[256];

void NoteFailure(const char* reason) {
    snprintf(lastFailure, sizeof lastFailure, "%s", reason != nullptr ? reason : "");
}

// The folder of the running program, with a trailing "/", or "" when unknown.
void ProgramFolder(char* folder, size_t size) {
    folder[0] = '\0';
    ssize_t length = readlink("/proc/self/exe", folder, size - 1);
    if (length <= 0) return;
    folder[length] = '\0';
    char* slash = strrchr(folder, '/');
    if (slash != nullptr) slash[1] = '\0'; else folder[0] = '\0';
}

}  // namespace

const char* EngineLibraryName() {
    return RECMETER_ENGINE_LIBRARY;
}

const char* EngineEntryName(EngineEntryKind kind) {
    return kind == STANDARD_ENTRY ? RECMETER_ENGINE_ENTRY : RECMETER_ENGINE_ENTRY_EX;
}

// A bare library name is looked for beside the program first, as Windows
// searches the program's folder first; then where the system's loader looks
// (never the current folder).
void* OpenEngineLibrary() {
    const char* name = RECMETER_ENGINE_LIBRARY;
    const char* chosen = name;
    char path[PATH_MAX];
    if (strchr(name, '/') == nullptr) {
        ProgramFolder(path, sizeof path);
        if (path[0] != '\0' && strlen(path) + strlen(name) < sizeof path) {
            strcat(path, name);
            if (access(path, F_OK) == 0) chosen = path;
        }
    }
    void* library = dlopen(chosen, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) NoteFailure(dlerror());
    return library;
}

void* FindEngineEntry(void* library, EngineEntryKind kind) {
    dlerror();
    void* entry = dlsym(library, EngineEntryName(kind));
    if (entry == nullptr) {
        const char* reason = dlerror();
        NoteFailure(reason != nullptr ? reason : "null symbol");
    }
    return entry;
}

void EngineLibraryReason(char* text, size_t size) {
    snprintf(text, size, "%s", lastFailure);
}

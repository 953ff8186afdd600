#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "cli/output.h"
#include "engine/loader.h"

namespace {

using StandardEntry = int16_t (*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t);
using ExtendedEntry = int (*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t);

void* library;
StandardEntry standardEntry;
ExtendedEntry extendedEntry;

// The folder of the running program, with a trailing "/", or "" when unknown.
void ProgramFolder(char* folder, size_t size) {
    folder[0] = '\0';
    ssize_t length = readlink("/proc/self/exe", folder, size - 1);
    if (length <= 0) return;
    folder[length] = '\0';
    char* slash = strrchr(folder, '/');
    if (slash != nullptr) slash[1] = '\0'; else folder[0] = '\0';
}

// A bare library name is looked for beside the program first, as Windows
// searches the program's folder first; then where the system looks.
void* LoadLibraryFile() {
    const char* name = RECMETER_ENGINE_LIBRARY;
    if (strchr(name, '/') == nullptr) {
        char path[PATH_MAX];
        ProgramFolder(path, sizeof path);
        if (path[0] != '\0' && strlen(path) + strlen(name) < sizeof path) {
            strcat(path, name);
            if (access(path, F_OK) == 0) return dlopen(path, RTLD_NOW | RTLD_LOCAL);
        }
    }
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

void* EntryPoint(const char* symbol) {
    if (library == nullptr) {
        library = LoadLibraryFile();
        if (library == nullptr) {
            ErrorPrintf("Cannot load the engine library %s: %s\n", RECMETER_ENGINE_LIBRARY,
                        dlerror());
            exit(1);
        }
    }
    dlerror();
    void* entry = dlsym(library, symbol);
    if (entry == nullptr) {
        const char* reason = dlerror();
        ErrorPrintf("The engine library %s has no entry point %s: %s\n", RECMETER_ENGINE_LIBRARY,
                    symbol, reason != nullptr ? reason : "null symbol");
        exit(1);
    }
    return entry;
}

}  // namespace

int16_t EngineStandardCall(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                           void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    if (standardEntry == nullptr) {
        standardEntry = reinterpret_cast<StandardEntry>(EntryPoint(RECMETER_ENGINE_ENTRY));
    }
    return standardEntry(op, posBlock, dataBuf, dataLen, keyBuf, keyLen, keyNum);
}

int EngineExtendedCall(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                       void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    if (extendedEntry == nullptr) {
        extendedEntry = reinterpret_cast<ExtendedEntry>(EntryPoint(RECMETER_ENGINE_ENTRY_EX));
    }
    return extendedEntry(op, posBlock, dataBuf, dataLen, keyBuf, keyLen, keyNum);
}

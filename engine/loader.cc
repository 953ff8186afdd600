// Binds the engine's two entry points at their first request. When the
// library or an entry cannot be found the run cannot go on: one line naming
// the library and the system's reason, and exit code 1.
#include "engine/loader.h"

#include <cstdlib>

#include "console/output.h"
#include "engine/library.h"

namespace {

void* library;
void* entries[2];

void* EntryPoint(EngineEntryKind kind) {
    if (entries[kind] != nullptr) return entries[kind];
    char reason[256];
    if (library == nullptr) {
        library = OpenEngineLibrary();
        if (library == nullptr) {
            EngineLibraryReason(reason, sizeof reason);
            ErrorPrintf("Cannot load the engine library %s: %s\n", EngineLibraryName(), reason);
            exit(1);
        }
    }
    entries[kind] = FindEngineEntry(library, kind);
    if (entries[kind] == nullptr) {
        EngineLibraryReason(reason, sizeof reason);
        ErrorPrintf("The engine library %s has no entry point %s: %s\n", EngineLibraryName(),
                    EngineEntryName(kind), reason);
        exit(1);
    }
    return entries[kind];
}

}  // namespace

int16_t EngineStandardCall(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                           void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    auto entry = reinterpret_cast<StandardEntry>(EntryPoint(STANDARD_ENTRY));
    return entry(op, posBlock, dataBuf, dataLen, keyBuf, keyLen, keyNum);
}

int EngineExtendedCall(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                       void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    auto entry = reinterpret_cast<ExtendedEntry>(EntryPoint(EXTENDED_ENTRY));
    return entry(op, posBlock, dataBuf, dataLen, keyBuf, keyLen, keyNum);
}

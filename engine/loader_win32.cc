#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "cli/output.h"
#include "engine/loader.h"

namespace {

using StandardEntry = int16_t(WINAPI*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t);
using ExtendedEntry = int(WINAPI*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t, int8_t);

const char ENGINE_LIBRARY[] = "w3btrv7.dll";
const char EXTENDED_ENTRY_NAME[] = "BTRVEX";

HMODULE library;
StandardEntry standardEntry;
ExtendedEntry extendedEntry;

// The system's text for the last error, without its line end.
void SystemReason(char* text, DWORD size) {
    DWORD error = GetLastError();
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, size, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                          text[length - 1] == ' ' || text[length - 1] == '.')) {
        text[--length] = '\0';
    }
    if (length == 0) snprintf(text, size, "error %lu", static_cast<unsigned long>(error));
}

// Returns the entry as a plain pointer, for the caller to give it its type.
void* EntryPoint(LPCSTR symbol, const char* symbolName) {
    char reason[256];
    if (library == nullptr) {
        library = LoadLibraryA(ENGINE_LIBRARY);
        if (library == nullptr) {
            SystemReason(reason, sizeof reason);
            ErrorPrintf("Cannot load the engine library %s: %s\n", ENGINE_LIBRARY, reason);
            exit(1);
        }
    }
    FARPROC entry = GetProcAddress(library, symbol);
    if (entry == nullptr) {
        SystemReason(reason, sizeof reason);
        ErrorPrintf("The engine library %s has no entry point %s: %s\n", ENGINE_LIBRARY,
                    symbolName, reason);
        exit(1);
    }
    return reinterpret_cast<void*>(entry);
}

}  // namespace

int16_t EngineStandardCall(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                           void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    if (standardEntry == nullptr) {
        standardEntry =
            reinterpret_cast<StandardEntry>(EntryPoint(MAKEINTRESOURCEA(1), "ordinal 1"));
    }
    return standardEntry(op, posBlock, dataBuf, dataLen, keyBuf, keyLen, keyNum);
}

int EngineExtendedCall(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                       void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    if (extendedEntry == nullptr) {
        extendedEntry =
            reinterpret_cast<ExtendedEntry>(EntryPoint(EXTENDED_ENTRY_NAME, EXTENDED_ENTRY_NAME));
    }
    return extendedEntry(op, posBlock, dataBuf, dataLen, keyBuf, keyLen, keyNum);
}

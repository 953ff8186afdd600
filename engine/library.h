// The engine's client library as the system finds, loads and calls it: the
// primitives under engine/loader.cc, one file of them per system.
#pragma once

#include <cstddef>
#include <cstdint>

enum EngineEntryKind { STANDARD_ENTRY = 0, EXTENDED_ENTRY = 1 };

// The library's name as messages give it.
const char* EngineLibraryName();
// The entry's name as messages give it.
const char* EngineEntryName(EngineEntryKind kind);

// Loads the library; null when it cannot be loaded.
void* OpenEngineLibrary();
// The entry's address; null when the library has none.
void* FindEngineEntry(void* library, EngineEntryKind kind);
// The system's reason for the last failure of the two above, on one line.
void EngineLibraryReason(char* text, size_t size);

// The entries as the system calls them: the build defines
// RECMETER_ENGINE_CALL as the engine's calling convention (__stdcall on
// Windows, nothing elsewhere). Declared here, not taken from the local
// engine's header: the program ships to run with another maker's engine,
// and neither includes nor links the local one that stands in for it.
using StandardEntry = int16_t(RECMETER_ENGINE_CALL*)(uint16_t, void*, void*, uint32_t*, void*,
                                                     uint8_t, int8_t);
using ExtendedEntry = int(RECMETER_ENGINE_CALL*)(uint16_t, void*, void*, uint32_t*, void*, uint8_t,
                                                 int8_t);

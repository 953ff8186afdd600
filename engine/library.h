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

// Calls an entry found above with the system's calling convention.
int16_t CallStandardEntry(void* entry, uint16_t op, void* posBlock, void* dataBuf,
                          uint32_t* dataLen, void* keyBuf, uint8_t keyLen, int8_t keyNum);
int CallExtendedEntry(void* entry, uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                      void* keyBuf, uint8_t keyLen, int8_t keyNum);

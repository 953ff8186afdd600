// The engine's client library, loaded at the first request. When it or an
// entry point cannot be found, these write one line naming the library and
// the system's reason to standard error and end the process with exit code 1.
#pragma once

#include <cstdint>

int16_t EngineStandardCall(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                           void* keyBuf, uint8_t keyLen, int8_t keyNum);
int EngineExtendedCall(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                       void* keyBuf, uint8_t keyLen, int8_t keyNum);

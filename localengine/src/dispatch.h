// Carries out one request as both entry points receive it.
#pragma once

#include <cstdint>

namespace localengine {

// `extended`: the full 32-bit *dataLen is honoured going in (else its low 16 bits).
int dispatch(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t keyLen,
             int8_t keyNum, bool extended);

}  // namespace localengine

// The two entry points a program finds in the library.
#include "dispatch.h"
#include "localengine.h"

#if defined(_WIN32)
#define LOCALENGINE_EXPORT
#else
#define LOCALENGINE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

LOCALENGINE_EXPORT int16_t LOCALENGINE_API RECCALL(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                                                   void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    // The standard entry answers in 16 bits; wider injected statuses are cut.
    return static_cast<int16_t>(
        localengine::dispatch(op, posBlock, dataBuf, dataLen, keyBuf, keyLen, keyNum, /*extended=*/false));
}

LOCALENGINE_EXPORT int LOCALENGINE_API BTRVEX(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                                              void* keyBuf, uint8_t keyLen, int8_t keyNum) {
    return localengine::dispatch(op, posBlock, dataBuf, dataLen, keyBuf, keyLen, keyNum, /*extended=*/true);
}
}

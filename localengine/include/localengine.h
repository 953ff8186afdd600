// The local engine's two entry points, as a program loads them.
//
// On Windows they are exported from w3btrv7.dll: RECCALL at ordinal 1 and
// BTRVEX by name, both __stdcall with undecorated names. On POSIX they are
// C-linkage symbols of liblocalengine.so.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define LOCALENGINE_API __stdcall
#else
#define LOCALENGINE_API
#endif

extern "C" {

// Standard entry: the length is 32 bits wide in memory, but only its low 16
// bits are honoured going in; the status is 16 bits.
int16_t LOCALENGINE_API RECCALL(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                                void* keyBuf, uint8_t keyLen, int8_t keyNum);

// Extended entry: the same requests with the full 32-bit length, status as int.
int LOCALENGINE_API BTRVEX(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen,
                           void* keyBuf, uint8_t keyLen, int8_t keyNum);
}

namespace localengine {

// The entries' types, for a program that finds them at run time.
using RecCallFn = decltype(&RECCALL);
using BtrvExFn = decltype(&BTRVEX);

// Operation codes.
enum Op : uint16_t {
    kOpOpen = 0,
    kOpClose = 1,
    kOpInsert = 2,
    kOpUpdate = 3,
    kOpCreate = 14,
    kOpGetPosition = 22,
    kOpGetDirectChunk = 23,
    kOpStepNext = 24,
    kOpVersion = 26,
    kOpReset = 28,
    kOpStepFirst = 33,
    kOpCheck = 90,  // our own: verify the whole open file; 0 when sound
};

// Statuses.
enum Status : int {
    kOk = 0,
    kInvalidOp = 1,
    kDamaged = 2,
    kPosBlockNotOpen = 3,   // the position block is not one an Open filled
    kBadKeyNumber = 6,      // Get Direct/Chunk with a key number other than -2
    kNoCurrentRecord = 8,   // Update or Get Position before any Step or Insert
    kEndOfFile = 9,
    kBadFileName = 11,      // no path, or one longer than kMaxPathLen
    kFileNotFound = 12,
    kDiskError = 18,        // the system refused a read, write or create
    kBufferTooShort = 22,
    kNotOurFile = 30,
    kBadChunkPosition = 43, // Get Direct/Chunk at a position that starts no record
    kAccessDenied = 46,     // Insert or Update on a file opened read-only; Open of one with a journal
    kOwnerError = 51,
    kFileExists = 59,
    kBadDescriptor = 62,    // Get Direct/Chunk descriptor: short or unknown subfunction
    kInUse = 85,
    kRecordTooLong = 97,    // Update beyond the record's allocation; record over 1 GiB
    kChunkPastEnd = 103,
};

constexpr uint32_t kPosBlockSize = 128;
constexpr uint32_t kMaxOwnerLen = 66;
constexpr uint32_t kMaxPathLen = 4095;
constexpr uint32_t kRectangleSubfunction = 0x80000002u;

}  // namespace localengine

// The on-disk layout of a local engine data file (see ../FORMAT.md).
// Everything is little-endian and the same on every target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace localengine {

constexpr uint32_t kFormatVersion = 1;
constexpr uint32_t kFileHeaderSize = 512;
constexpr uint32_t kAlignment = 16;  // records start on 16-byte boundaries
constexpr uint32_t kRecordHeaderSize = 16;
constexpr uint32_t kMaxRecordLength = 1u << 30;
constexpr unsigned char kMagic[8] = {'L', 'E', 'N', 'G', 'R', 'E', 'C', 0x1A};

// Offsets inside the file header.
constexpr uint32_t kHeaderCrcOffset = 252;  // CRC of bytes [0, 252)
constexpr uint32_t kStateOffset = 256;      // the state block, rewritten as one
constexpr uint32_t kStateSize = 32;         // write that stays inside one sector

// A record's 32-bit position is its file offset divided by the alignment, so
// positions reach 64 GiB of file.
constexpr uint64_t kMaxFileOffset = (uint64_t{1} << 32) * kAlignment;

inline uint64_t alignUp(uint64_t v) { return (v + kAlignment - 1) & ~uint64_t{kAlignment - 1}; }
inline uint32_t positionOf(uint64_t offset) { return static_cast<uint32_t>(offset / kAlignment); }
inline uint64_t offsetOf(uint32_t position) { return uint64_t{position} * kAlignment; }

// File offset just past a record of `capacity` data bytes that starts at `offset`.
inline uint64_t recordEnd(uint64_t offset, uint32_t capacity) {
    return alignUp(offset + kRecordHeaderSize + capacity);
}

void put16(unsigned char* p, uint16_t v);
void put32(unsigned char* p, uint32_t v);
void put64(unsigned char* p, uint64_t v);
uint16_t get16(const unsigned char* p);
uint32_t get32(const unsigned char* p);
uint64_t get64(const unsigned char* p);

// The fixed part of the file header, written once at Create.
struct FileHeader {
    std::string owner;  // empty: no owner; up to kMaxOwnerLen arbitrary bytes
};

// The mutable part: where the records end and how many there are, as of the
// last Close (records appended later by a process that died are recovered).
struct FileState {
    uint64_t dataEnd = kFileHeaderSize;
    uint64_t recordCount = 0;
};

enum class HeaderCheck { Ok, Foreign, Damaged };

void encodeHeader(const FileHeader& h, const FileState& s, unsigned char out[kFileHeaderSize]);
HeaderCheck decodeHeader(const unsigned char in[kFileHeaderSize], FileHeader* h);
void encodeState(const FileState& s, unsigned char out[kStateSize]);
bool decodeState(const unsigned char in[kStateSize], FileState* s);

// The 16 bytes in front of each record's data.
struct RecordHeader {
    uint32_t length = 0;    // live bytes
    uint32_t capacity = 0;  // bytes allocated at Insert; length never exceeds it
    uint32_t dataCrc = 0;   // CRC32C of the first `length` data bytes
};

// The header's own checksum covers the record's offset, so a copy of a header
// found anywhere else (say inside another record's data) does not pass.
void encodeRecordHeader(const RecordHeader& r, uint64_t offset, unsigned char out[kRecordHeaderSize]);
bool decodeRecordHeader(const unsigned char in[kRecordHeaderSize], uint64_t offset, RecordHeader* r);

// The journal an Update that changes bytes writes first: the record's offset,
// its old header and the old bytes it is about to overwrite.
struct JournalEntry {
    uint64_t offset = 0;
    RecordHeader old;
    std::string beforeImage;
};
std::string encodeJournal(const JournalEntry& j);
// False when the bytes are not one whole, intact journal.
bool decodeJournal(const std::string& bytes, JournalEntry* j);

}  // namespace localengine

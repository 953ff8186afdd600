// CRC32C (Castagnoli), the checksum of every header and record in the file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace localengine {

// Continues a CRC32C over `n` more bytes; start with crc = 0.
// Uses the processor's crc32 instruction where it has one.
uint32_t crc32c(uint32_t crc, const void* data, size_t n);

// The portable slicing-by-8 form, always available (tests compare the two).
uint32_t crc32cPortable(uint32_t crc, const void* data, size_t n);

// True when crc32c() runs on the processor's instruction.
bool crc32cAccelerated();

}  // namespace localengine

// CRC32C (Castagnoli), the checksum of every header and record in the file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace localengine {

// Continues a CRC32C over `n` more bytes; start with crc = 0.
// Uses the processor's crc32 instruction where it has one.
uint32_t crc32c(uint32_t crc, const void* data, size_t n);

// Copies `n` bytes from `src` to `dst` (when dst is not null; the two must
// not overlap) and continues the CRC over them in the same pass.
uint32_t crc32cCopy(uint32_t crc, void* dst, const void* src, size_t n);

// The carry-less multiply form that 32-bit builds take for long runs, here
// so tests cover it on every build: false, leaving *out alone, when the
// processor lacks the instructions or the run is under 64 bytes.
bool crc32cFolded(uint32_t crc, void* dst, const void* src, size_t n, uint32_t* out);

// The portable slicing-by-8 form, always available (tests compare the two).
uint32_t crc32cPortable(uint32_t crc, const void* data, size_t n);

// True when crc32c() runs on the processor's instruction.
bool crc32cAccelerated();

}  // namespace localengine

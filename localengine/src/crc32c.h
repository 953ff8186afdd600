// CRC32C (Castagnoli), the checksum of every header and record in the file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace localengine {

// Continues a CRC32C over `n` more bytes; start with crc = 0.
// Uses the fastest form the processor has (below).
uint32_t crc32c(uint32_t crc, const void* data, size_t n);

// Copies `n` bytes from `src` to `dst` (when dst is not null; the two must
// not overlap) and continues the CRC over them in the same pass.
uint32_t crc32cCopy(uint32_t crc, void* dst, const void* src, size_t n);

// The portable slicing-by-8 form, always available.
uint32_t crc32cPortable(uint32_t crc, const void* data, size_t n);

// The ways the checksum can be computed: lookup tables; the crc32
// instruction in three interleaved stripes; folding with carry-less
// multiplies in four 16-byte lanes; the same in eight lanes of 32-byte
// registers.
enum class Crc32cForm { kTables, kInstruction, kFolding, kWideFolding };

bool crc32cAvailable(Crc32cForm form);

// The form crc32c() takes for long runs on this processor and build.
Crc32cForm crc32cFastestForm();

// crc32cCopy in one given form, so tests cover every form the processor has
// on every build: false, leaving *out alone, when it lacks it.
bool crc32cUsing(Crc32cForm form, uint32_t crc, void* dst, const void* src, size_t n, uint32_t* out);

}  // namespace localengine

// CRC32C (Castagnoli), the checksum of every header and record in the file.
#pragma once

#include <cstddef>
#include <cstdint>

namespace localengine {

// Continues a CRC32C over `n` more bytes; start with crc = 0.
uint32_t crc32c(uint32_t crc, const void* data, size_t n);

// Copies `n` bytes from `src` to `dst` (when dst is not null; the two must
// not overlap) and continues the CRC over them in the same pass.
uint32_t crc32cCopy(uint32_t crc, void* dst, const void* src, size_t n);

}  // namespace localengine

// A sketch of a faster CRC32C for the engine's record checksum: three
// independent crc32 instruction chains over three adjacent stripes, joined
// by shifting. One chain waits on each instruction's latency; three keep the
// unit busy. Gives exactly the engine's CRC32C (the benchmark checks it).
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench {

// Same contract as localengine::crc32c: continue `crc` over n more bytes.
uint32_t crc32cStriped(uint32_t crc, const void* data, size_t n);

}  // namespace bench

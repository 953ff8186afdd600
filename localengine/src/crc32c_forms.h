// The two ways this build can compute the checksum, for the tests and
// benchmarks that run each one separately; the engine itself calls only
// crc32c() and crc32cCopy(), which take the fast form when the processor has
// it and the portable one otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

namespace localengine {

// crc32cCopy's signature: copies `n` bytes to `dst` (when not null) and
// continues `crc` over them.
using Crc32cCopyForm = uint32_t (*)(uint32_t crc, void* dst, const void* src, size_t n);

// Lookup tables, eight bytes a step: every processor has this form.
uint32_t crc32cPortableCopy(uint32_t crc, void* dst, const void* src, size_t n);

// This build's fast form, or null when the build has none (crc32c_x86.cc is
// compiled only for x86 processors) or this processor lacks what it needs.
Crc32cCopyForm crc32cFastForm();

}  // namespace localengine

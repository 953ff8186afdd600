#include "crc32c.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "crc32c_forms.h"

namespace localengine {
namespace {

constexpr uint32_t kPoly = 0x82F63B78u;  // reflected Castagnoli polynomial

struct Tables {
    std::array<std::array<uint32_t, 256>, 8> t{};
    Tables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (kPoly & (0u - (c & 1u)));
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (size_t s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

const Tables& tables() {
    static const Tables t;
    return t;
}

// Four bytes, the first the lowest, whatever order the processor keeps them
// in (compilers make this one load where it is little-endian).
uint32_t load32(const unsigned char* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The processor's fast form when it has one, else the tables.
Crc32cCopyForm chosenForm() {
    const Crc32cCopyForm fast = crc32cFastForm();
    return fast ? fast : crc32cPortableCopy;
}

}  // namespace

uint32_t crc32cPortableCopy(uint32_t crc, void* dst, const void* src, size_t n) {
    if (dst && n > 0) std::memcpy(dst, src, n);
    const auto& t = tables().t;
    const auto* p = static_cast<const unsigned char*>(src);
    crc = ~crc;
    for (; n >= 8; n -= 8, p += 8) {
        uint32_t lo = load32(p) ^ crc;
        uint32_t hi = load32(p + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; n > 0; --n, ++p) crc = (crc >> 8) ^ t[0][(crc ^ *p) & 0xFF];
    return ~crc;
}

uint32_t crc32c(uint32_t crc, const void* data, size_t n) { return crc32cCopy(crc, nullptr, data, n); }

uint32_t crc32cCopy(uint32_t crc, void* dst, const void* src, size_t n) {
    static const Crc32cCopyForm form = chosenForm();
    return form(crc, dst, src, n);
}

}  // namespace localengine

#include "crc32c.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <nmmintrin.h>
#define LOCALENGINE_X86 1
#endif

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

uint32_t load32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;  // both targets are little-endian
}

#ifdef LOCALENGINE_X86
// Long runs are checksummed as three interleaved stripes, so the processor
// overlaps three crc32 chains instead of waiting on one; the stripes' results
// are then joined with a table that appends kStripe zero bytes to a register.
constexpr size_t kStripe = 128;

struct ZeroShift {
    std::array<std::array<uint32_t, 256>, 4> t{};
    ZeroShift() {
        const auto& t0 = tables().t[0];
        for (uint32_t k = 0; k < 4; ++k)
            for (uint32_t b = 0; b < 256; ++b) {
                uint32_t reg = b << (8 * k);
                for (size_t i = 0; i < kStripe; ++i) reg = (reg >> 8) ^ t0[reg & 0xFF];
                t[k][b] = reg;
            }
    }
    uint32_t operator()(uint32_t r) const {
        return t[0][r & 0xFF] ^ t[1][(r >> 8) & 0xFF] ^ t[2][(r >> 16) & 0xFF] ^ t[3][r >> 24];
    }
};

const ZeroShift& zeroShift() {
    static const ZeroShift z;
    return z;
}

// Eight bytes into a raw (not inverted) register.
__attribute__((target("sse4.2"))) inline uint32_t step8(uint32_t reg, const unsigned char* p) {
#if defined(__x86_64__)
    uint64_t v;
    std::memcpy(&v, p, 8);
    return static_cast<uint32_t>(_mm_crc32_u64(reg, v));
#else
    return _mm_crc32_u32(_mm_crc32_u32(reg, load32(p)), load32(p + 4));
#endif
}

__attribute__((target("sse4.2"))) uint32_t crcHardware(uint32_t crc, const unsigned char* p, size_t n) {
    if (n >= 3 * kStripe) {
        const ZeroShift& shift = zeroShift();
        for (; n >= 3 * kStripe; n -= 3 * kStripe, p += 3 * kStripe) {
            uint32_t a = crc, b = 0, c = 0;
            for (size_t i = 0; i < kStripe; i += 8) {
                a = step8(a, p + i);
                b = step8(b, p + kStripe + i);
                c = step8(c, p + 2 * kStripe + i);
            }
            crc = shift(shift(a) ^ b) ^ c;
        }
    }
    for (; n >= 8; n -= 8, p += 8) crc = step8(crc, p);
    for (; n > 0; --n, ++p) crc = _mm_crc32_u8(crc, *p);
    return crc;
}

bool detectHardware() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse4.2");
}
#endif

}  // namespace

uint32_t crc32cPortable(uint32_t crc, const void* data, size_t n) {
    const auto& t = tables().t;
    const auto* p = static_cast<const unsigned char*>(data);
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

bool crc32cAccelerated() {
#ifdef LOCALENGINE_X86
    static const bool hw = detectHardware();
    return hw;
#else
    return false;
#endif
}

uint32_t crc32c(uint32_t crc, const void* data, size_t n) {
#ifdef LOCALENGINE_X86
    if (crc32cAccelerated()) return ~crcHardware(~crc, static_cast<const unsigned char*>(data), n);
#endif
    return crc32cPortable(crc, data, n);
}

}  // namespace localengine

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
__attribute__((target("sse4.2"))) uint32_t crcHardware(uint32_t crc, const unsigned char* p, size_t n) {
#if defined(__x86_64__)
    uint64_t c = crc;
    for (; n >= 8; n -= 8, p += 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        c = _mm_crc32_u64(c, v);
    }
    crc = static_cast<uint32_t>(c);
#endif
    for (; n >= 4; n -= 4, p += 4) crc = _mm_crc32_u32(crc, load32(p));
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

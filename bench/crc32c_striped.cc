#include "bench/crc32c_striped.h"

#include <cstring>

#include "crc32c.h"

#if defined(__x86_64__)
#include <nmmintrin.h>

namespace bench {
namespace {

constexpr size_t kStripe = 128;  // bytes per chain and round: 3 * 128 per round

uint64_t load64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

__attribute__((target("sse4.2"))) uint32_t serial(uint32_t crc, const unsigned char* p, size_t n) {
    uint64_t c = crc;
    for (; n >= 8; n -= 8, p += 8) c = _mm_crc32_u64(c, load64(p));
    crc = static_cast<uint32_t>(c);
    for (; n > 0; --n, ++p) crc = _mm_crc32_u8(crc, *p);
    return crc;
}

// The state after kStripe more zero bytes, by linearity one table per byte
// of the state: shift(x) = XOR of table[k][byte k of x].
struct Shift {
    uint32_t table[4][256];
    Shift() {
        static const unsigned char zeros[kStripe] = {};
        for (int k = 0; k < 4; ++k)
            for (uint32_t b = 0; b < 256; ++b) table[k][b] = serial(b << (8 * k), zeros, kStripe);
    }
    uint32_t operator()(uint32_t x) const {
        return table[0][x & 0xFF] ^ table[1][(x >> 8) & 0xFF] ^ table[2][(x >> 16) & 0xFF] ^ table[3][x >> 24];
    }
};

__attribute__((target("sse4.2"))) uint32_t striped(uint32_t crc, const unsigned char* p, size_t n) {
    static const Shift shift;
    while (n >= 3 * kStripe) {
        uint64_t c0 = crc, c1 = 0, c2 = 0;
        for (size_t i = 0; i < kStripe; i += 8) {
            c0 = _mm_crc32_u64(c0, load64(p + i));
            c1 = _mm_crc32_u64(c1, load64(p + kStripe + i));
            c2 = _mm_crc32_u64(c2, load64(p + 2 * kStripe + i));
        }
        crc = shift(shift(static_cast<uint32_t>(c0)) ^ static_cast<uint32_t>(c1)) ^ static_cast<uint32_t>(c2);
        p += 3 * kStripe;
        n -= 3 * kStripe;
    }
    return serial(crc, p, n);
}

}  // namespace

uint32_t crc32cStriped(uint32_t crc, const void* data, size_t n) {
    if (!localengine::crc32cAccelerated()) return localengine::crc32c(crc, data, n);
    return ~striped(~crc, static_cast<const unsigned char*>(data), n);
}

}  // namespace bench

#else

namespace bench {
uint32_t crc32cStriped(uint32_t crc, const void* data, size_t n) { return localengine::crc32c(crc, data, n); }
}  // namespace bench

#endif

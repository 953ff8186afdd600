#include "crc32c.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <nmmintrin.h>
#include <wmmintrin.h>
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

// A 32-bit build, whose crc32 instruction takes only 4 bytes, folds runs of
// kFoldFrom bytes or more with carry-less multiplies instead: four 16-byte
// lanes, each carried 64 bytes forward per step. The lanes are finally folded
// into one 16-byte block that has the same remainder as everything before it,
// and its checksum, continued over the last bytes, is the run's. The loads
// that feed the folds also serve a copy. A 64-bit build keeps the three
// crc32 stripes, which measure faster there than folding or a fused copy.
#if defined(__x86_64__)
constexpr size_t kFoldFrom = SIZE_MAX;
#else
constexpr size_t kFoldFrom = 256;
#endif

// x^e mod P as the multiply takes it: bit-reflected and one place up, so that
// bit j of the constant stands for x^(32 - j).
constexpr uint64_t foldConstant(unsigned e) {
    uint64_t r = 1;  // x^0, plainly ordered: bit m is the coefficient of x^m
    for (unsigned i = 0; i < e; ++i) {
        r <<= 1;
        if (r & (uint64_t{1} << 32)) r ^= 0x11EDC6F41ull;  // P, plainly ordered
    }
    uint64_t k = 0;
    for (unsigned m = 0; m < 32; ++m)
        if (r & (uint64_t{1} << m)) k |= uint64_t{1} << (32 - m);
    return k;
}

// Carrying a 16-byte block d bits forward: its first half (the higher powers)
// is multiplied by x^(d+32), its second by x^(d-32).
struct FoldBy {
    uint64_t first, second;
};
constexpr FoldBy kFold512{foldConstant(512 + 32), foldConstant(512 - 32)};
constexpr FoldBy kFold128{foldConstant(128 + 32), foldConstant(128 - 32)};

__attribute__((target("sse4.2,pclmul"))) inline __m128i fold(__m128i acc, __m128i k, __m128i next) {
    __m128i first = _mm_clmulepi64_si128(acc, k, 0x00);
    __m128i second = _mm_clmulepi64_si128(acc, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(first, second), next);
}

__attribute__((target("sse4.2,pclmul"))) inline __m128i constants(const FoldBy& f) {
    return _mm_set_epi64x(static_cast<long long>(f.second), static_cast<long long>(f.first));
}

// One 16-byte block, also copied when dst is not null.
__attribute__((target("sse4.2,pclmul"))) inline __m128i take(const unsigned char* p, unsigned char* dst) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (dst) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), v);
    return v;
}

// n >= 64; a raw register in and out.
__attribute__((target("sse4.2,pclmul"))) uint32_t crcFolded(uint32_t crc, unsigned char* dst, const unsigned char* p,
                                                             size_t n) {
    __m128i x0 = _mm_xor_si128(take(p, dst), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = take(p + 16, dst ? dst + 16 : nullptr);
    __m128i x2 = take(p + 32, dst ? dst + 32 : nullptr);
    __m128i x3 = take(p + 48, dst ? dst + 48 : nullptr);
    p += 64;
    n -= 64;
    if (dst) dst += 64;
    const __m128i k512 = constants(kFold512);
    for (; n >= 64; n -= 64, p += 64) {
        x0 = fold(x0, k512, take(p, dst));
        x1 = fold(x1, k512, take(p + 16, dst ? dst + 16 : nullptr));
        x2 = fold(x2, k512, take(p + 32, dst ? dst + 32 : nullptr));
        x3 = fold(x3, k512, take(p + 48, dst ? dst + 48 : nullptr));
        if (dst) dst += 64;
    }
    const __m128i k128 = constants(kFold128);
    __m128i x = fold(fold(fold(x0, k128, x1), k128, x2), k128, x3);
    for (; n >= 16; n -= 16, p += 16) {
        x = fold(x, k128, take(p, dst));
        if (dst) dst += 16;
    }
    unsigned char last[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(last), x);
    crc = step8(step8(0, last), last + 8);
    if (n > 0) {
        if (dst) std::memcpy(dst, p, n);
        crc = crcHardware(crc, p, n);
    }
    return crc;
}

bool detectHardware() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse4.2");
}

bool detectFolding() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("pclmul");
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

#ifdef LOCALENGINE_X86
namespace {
bool foldingAvailable() {
    static const bool fold = detectFolding();
    return fold;
}
}  // namespace
#endif

bool crc32cFolded(uint32_t crc, void* dst, const void* src, size_t n, uint32_t* out) {
#ifdef LOCALENGINE_X86
    if (n < 64 || !foldingAvailable()) return false;
    *out = ~crcFolded(~crc, static_cast<unsigned char*>(dst), static_cast<const unsigned char*>(src), n);
    return true;
#else
    (void)crc, (void)dst, (void)src, (void)n, (void)out;
    return false;
#endif
}

uint32_t crc32c(uint32_t crc, const void* data, size_t n) {
    return crc32cCopy(crc, nullptr, data, n);
}

uint32_t crc32cCopy(uint32_t crc, void* dst, const void* src, size_t n) {
    auto* out = static_cast<unsigned char*>(dst);
    const auto* in = static_cast<const unsigned char*>(src);
#ifdef LOCALENGINE_X86
    if (n >= kFoldFrom && foldingAvailable()) return ~crcFolded(~crc, out, in, n);
    if (out && n > 0) std::memcpy(out, in, n);
    if (crc32cAccelerated()) return ~crcHardware(~crc, in, n);
#else
    if (out && n > 0) std::memcpy(out, in, n);
#endif
    return crc32cPortable(crc, in, n);
}

}  // namespace localengine

#include "crc32c.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <nmmintrin.h>
#include <wmmintrin.h>
#include <immintrin.h>
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

// Long runs are folded with carry-less multiplies: the run is split into
// lanes of 16 bytes, and each lane is carried forward over the others, step
// by step, by multiplying it with a power of x modulo P. The lanes are
// finally folded into one 16-byte block with the same remainder as all that
// came before it; its checksum, continued over the last bytes, is the run's.
// The loads that feed the folds also serve a copy, so a record is copied out
// and checked in one pass. Folding four 16-byte lanes beats the crc32
// instruction where that takes only 4 bytes (32-bit builds); eight lanes in
// 32-byte registers beat it everywhere.

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
    long long first, second;
};
constexpr FoldBy foldBy(unsigned bits) {
    return {static_cast<long long>(foldConstant(bits + 32)), static_cast<long long>(foldConstant(bits - 32))};
}
constexpr FoldBy kFold128 = foldBy(128), kFold256 = foldBy(256), kFold512 = foldBy(512), kFold1024 = foldBy(1024);

#define LOCALENGINE_FOLD __attribute__((target("sse4.2,pclmul")))
#define LOCALENGINE_WIDE __attribute__((target("sse4.2,pclmul,avx2,vpclmulqdq")))

LOCALENGINE_FOLD inline __m128i fold(__m128i acc, __m128i k, __m128i next) {
    __m128i first = _mm_clmulepi64_si128(acc, k, 0x00);
    __m128i second = _mm_clmulepi64_si128(acc, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(first, second), next);
}

LOCALENGINE_FOLD inline __m128i constants(const FoldBy& f) { return _mm_set_epi64x(f.second, f.first); }

// 16 bytes at `p`, also copied to `dst` (when not null), which then moves on.
LOCALENGINE_FOLD inline __m128i take(const unsigned char*& p, unsigned char*& dst) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    p += 16;
    if (dst) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), v);
        dst += 16;
    }
    return v;
}

// The end of every fold: the rest of the run in 16-byte steps, the checksum
// of the last block, then the bytes after it.
LOCALENGINE_FOLD uint32_t finishFold(__m128i x, unsigned char* dst, const unsigned char* p, size_t n) {
    const __m128i k128 = constants(kFold128);
    for (; n >= 16; n -= 16) x = fold(x, k128, take(p, dst));
    unsigned char last[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(last), x);
    uint32_t crc = step8(step8(0, last), last + 8);
    if (n > 0) {
        if (dst) std::memcpy(dst, p, n);
        crc = crcHardware(crc, p, n);
    }
    return crc;
}

// A raw register in and out, like crcHardware, which short runs are left to.
LOCALENGINE_FOLD uint32_t crcFolded(uint32_t crc, unsigned char* dst, const unsigned char* p, size_t n) {
    if (n < 64) {
        if (dst && n > 0) std::memcpy(dst, p, n);
        return crcHardware(crc, p, n);
    }
    __m128i x0 = _mm_xor_si128(take(p, dst), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = take(p, dst), x2 = take(p, dst), x3 = take(p, dst);
    const __m128i k512 = constants(kFold512);
    for (n -= 64; n >= 64; n -= 64) {
        x0 = fold(x0, k512, take(p, dst));
        x1 = fold(x1, k512, take(p, dst));
        x2 = fold(x2, k512, take(p, dst));
        x3 = fold(x3, k512, take(p, dst));
    }
    const __m128i k128 = constants(kFold128);
    return finishFold(fold(fold(fold(x0, k128, x1), k128, x2), k128, x3), dst, p, n);
}

LOCALENGINE_WIDE inline __m256i fold(__m256i acc, __m256i k, __m256i next) {
    __m256i first = _mm256_clmulepi64_epi128(acc, k, 0x00);
    __m256i second = _mm256_clmulepi64_epi128(acc, k, 0x11);
    return _mm256_xor_si256(_mm256_xor_si256(first, second), next);
}

LOCALENGINE_WIDE inline __m256i wideConstants(const FoldBy& f) {
    return _mm256_set_epi64x(f.second, f.first, f.second, f.first);
}

LOCALENGINE_WIDE inline __m256i takeWide(const unsigned char*& p, unsigned char*& dst) {
    __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    p += 32;
    if (dst) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), v);
        dst += 32;
    }
    return v;
}

// Eight lanes in four 32-byte registers, each carried 128 bytes per step.
LOCALENGINE_WIDE uint32_t crcWide(uint32_t crc, unsigned char* dst, const unsigned char* p, size_t n) {
    if (n < 128) return crcFolded(crc, dst, p, n);
    __m256i y0 = _mm256_xor_si256(takeWide(p, dst), _mm256_zextsi128_si256(_mm_cvtsi32_si128(static_cast<int>(crc))));
    __m256i y1 = takeWide(p, dst), y2 = takeWide(p, dst), y3 = takeWide(p, dst);
    const __m256i k1024 = wideConstants(kFold1024);
    for (n -= 128; n >= 128; n -= 128) {
        y0 = fold(y0, k1024, takeWide(p, dst));
        y1 = fold(y1, k1024, takeWide(p, dst));
        y2 = fold(y2, k1024, takeWide(p, dst));
        y3 = fold(y3, k1024, takeWide(p, dst));
    }
    const __m256i k256 = wideConstants(kFold256);
    __m256i y = fold(fold(fold(y0, k256, y1), k256, y2), k256, y3);
    for (; n >= 32; n -= 32) y = fold(y, k256, takeWide(p, dst));
    // The register's two halves are consecutive 16-byte blocks.
    __m128i x = fold(_mm256_castsi256_si128(y), constants(kFold128), _mm256_extracti128_si256(y, 1));
    // The rest is 16-byte code without the wide encoding, which some
    // processors run slowly while the upper halves of the registers are in use.
    _mm256_zeroupper();
    return finishFold(x, dst, p, n);
}

// Runs shorter than these are quicker on the instruction alone.
constexpr size_t kFoldFrom = 256;
constexpr size_t kWideFrom = 128;

struct Processor {
    bool instruction = false, folding = false, wideFolding = false;
    Processor() {
        __builtin_cpu_init();
        instruction = __builtin_cpu_supports("sse4.2");
        folding = instruction && __builtin_cpu_supports("pclmul");
        wideFolding = folding && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("vpclmulqdq");
    }
};

const Processor& processor() {
    static const Processor p;
    return p;
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

bool crc32cAvailable(Crc32cForm form) {
#ifdef LOCALENGINE_X86
    switch (form) {
    case Crc32cForm::kTables:
        return true;
    case Crc32cForm::kInstruction:
        return processor().instruction;
    case Crc32cForm::kFolding:
        return processor().folding;
    case Crc32cForm::kWideFolding:
        return processor().wideFolding;
    }
    return false;
#else
    return form == Crc32cForm::kTables;
#endif
}

Crc32cForm crc32cFastestForm() {
    if (crc32cAvailable(Crc32cForm::kWideFolding)) return Crc32cForm::kWideFolding;
#if !defined(__x86_64__)
    // Four folding lanes beat a crc32 instruction that takes only 4 bytes,
    // but not one that takes 8.
    if (crc32cAvailable(Crc32cForm::kFolding)) return Crc32cForm::kFolding;
#endif
    if (crc32cAvailable(Crc32cForm::kInstruction)) return Crc32cForm::kInstruction;
    return Crc32cForm::kTables;
}

bool crc32cUsing(Crc32cForm form, uint32_t crc, void* dst, const void* src, size_t n, uint32_t* out) {
    if (!crc32cAvailable(form)) return false;
    auto* to = static_cast<unsigned char*>(dst);
    const auto* from = static_cast<const unsigned char*>(src);
    switch (form) {
#ifdef LOCALENGINE_X86
    case Crc32cForm::kWideFolding:
        *out = ~crcWide(~crc, to, from, n);
        return true;
    case Crc32cForm::kFolding:
        *out = ~crcFolded(~crc, to, from, n);
        return true;
    case Crc32cForm::kInstruction:
        if (to && n > 0) std::memcpy(to, from, n);
        *out = ~crcHardware(~crc, from, n);
        return true;
#endif
    default:
        if (to && n > 0) std::memcpy(to, from, n);
        *out = crc32cPortable(crc, from, n);
        return true;
    }
}

uint32_t crc32c(uint32_t crc, const void* data, size_t n) { return crc32cCopy(crc, nullptr, data, n); }

uint32_t crc32cCopy(uint32_t crc, void* dst, const void* src, size_t n) {
    static const Crc32cForm fastest = crc32cFastestForm();
    Crc32cForm form = fastest;
    // Short runs are quicker on the instruction alone.
    if ((form == Crc32cForm::kWideFolding && n < kWideFrom) || (form == Crc32cForm::kFolding && n < kFoldFrom))
        form = Crc32cForm::kInstruction;
    uint32_t out = 0;
    crc32cUsing(form, crc, dst, src, n, &out);
    return out;
}

}  // namespace localengine

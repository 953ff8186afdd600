// The fast form on x86 processors: folding with carry-less multiplies in
// four 16-byte lanes, with the crc32 instruction for short runs and the last
// bytes. Compiled only for x86 builds (32- and 64-bit alike); taken when the
// processor has SSE4.2 and PCLMULQDQ, as every x86 processor since about
// 2010 has, the portable tables otherwise.
//
// Why this form, against the other forms it was measured against (figures
// in bench/README.md, "Measured choices": checksum form):
// - eight lanes in 32-byte registers were faster, but they need AVX2 and
//   VPCLMULQDQ, which many x86 processors in use lack, and there the engine
//   would fall back to the tables, which make a scan much slower;
// - the crc32 instruction in three interleaved stripes plus a copy matched
//   this form in the 64-bit build but was slower in the 32-bit one, where the
//   instruction takes 4 bytes, and cost that build's scan more CPU.
// One form for both builds is also one piece of code that both test.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "crc32c_forms.h"

#define LOCALENGINE_FOLD __attribute__((target("sse4.2,pclmul")))

namespace localengine {
namespace {

// Eight bytes into a raw (not inverted) register.
LOCALENGINE_FOLD inline uint32_t step8(uint32_t reg, const unsigned char* p) {
#if defined(__x86_64__)
    uint64_t v;
    std::memcpy(&v, p, 8);
    return static_cast<uint32_t>(_mm_crc32_u64(reg, v));
#else
    uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + 4, 4);
    return _mm_crc32_u32(_mm_crc32_u32(reg, lo), hi);
#endif
}

// The crc32 instruction alone: short runs, and the bytes after the folds.
LOCALENGINE_FOLD uint32_t crcInstruction(uint32_t reg, const unsigned char* p, size_t n) {
    for (; n >= 8; n -= 8, p += 8) reg = step8(reg, p);
    for (; n > 0; --n, ++p) reg = _mm_crc32_u8(reg, *p);
    return reg;
}

// Long runs are folded: the run is split into lanes of 16 bytes, and each
// lane is carried forward over the others, step by step, by multiplying it
// with a power of x modulo P. The lanes are finally folded into one 16-byte
// block with the same remainder as all that came before it; its checksum,
// continued over the last bytes, is the run's. The loads that feed the folds
// also serve the copy, so a record is copied out and checked in one pass.

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
constexpr FoldBy kFold128 = foldBy(128), kFold512 = foldBy(512);

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

// The four lanes start with 64 bytes; shorter runs take the instruction alone.
constexpr size_t kFoldFrom = 64;

// How far ahead of the folds the bytes are asked for. A scan reads what the
// read window's reader thread has just written on another core, and the
// processor's own prefetching stops at each 4 KiB page: asking 2 KiB ahead
// saves the checksumming thread much of its CPU time (bench/README.md,
// "Measured choices": checksum prefetch).
constexpr size_t kPrefetchAhead = 2048;

// A raw register in and out.
LOCALENGINE_FOLD uint32_t crcFolded(uint32_t crc, unsigned char* dst, const unsigned char* p, size_t n) {
    if (n < kFoldFrom) {
        if (dst && n > 0) std::memcpy(dst, p, n);
        return crcInstruction(crc, p, n);
    }
    __m128i x0 = _mm_xor_si128(take(p, dst), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = take(p, dst), x2 = take(p, dst), x3 = take(p, dst);
    const __m128i k512 = constants(kFold512);
    for (n -= 64; n >= 64; n -= 64) {
        _mm_prefetch(reinterpret_cast<const char*>(p) + kPrefetchAhead, _MM_HINT_T0);  // never faults
        x0 = fold(x0, k512, take(p, dst));
        x1 = fold(x1, k512, take(p, dst));
        x2 = fold(x2, k512, take(p, dst));
        x3 = fold(x3, k512, take(p, dst));
    }
    const __m128i k128 = constants(kFold128);
    __m128i x = fold(fold(fold(x0, k128, x1), k128, x2), k128, x3);
    for (; n >= 16; n -= 16) x = fold(x, k128, take(p, dst));
    unsigned char last[16];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(last), x);
    crc = step8(step8(0, last), last + 8);
    if (n > 0) {
        if (dst) std::memcpy(dst, p, n);
        crc = crcInstruction(crc, p, n);
    }
    return crc;
}

uint32_t foldedCopy(uint32_t crc, void* dst, const void* src, size_t n) {
    return ~crcFolded(~crc, static_cast<unsigned char*>(dst), static_cast<const unsigned char*>(src), n);
}

}  // namespace

Crc32cCopyForm crc32cFastForm() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("pclmul")) return foldedCopy;
    return nullptr;
}

}  // namespace localengine

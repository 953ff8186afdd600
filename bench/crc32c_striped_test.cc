// The striped CRC32C sketch must give the engine's checksum exactly, for any
// length (around the stripe and round sizes), any alignment and when a CRC is
// continued over a second piece.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "bench/crc32c_striped.h"
#include "crc32c.h"

namespace {

std::vector<unsigned char> pattern(size_t n) {
    std::vector<unsigned char> v(n);
    uint32_t x = 2463534242u;
    for (auto& b : v) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<unsigned char>(x);
    }
    return v;
}

TEST(Crc32cStriped, MatchesTheEngineForEveryLengthAndAlignment) {
    const auto data = pattern(70000);
    const size_t lengths[] = {0, 1, 7, 8, 127, 128, 383, 384, 385, 767, 768, 769, 1000, 1151, 2000, 65539};
    for (size_t length : lengths) {
        for (size_t offset = 0; offset < 8; ++offset) {
            const unsigned char* p = data.data() + offset;
            EXPECT_EQ(bench::crc32cStriped(0, p, length), localengine::crc32cPortable(0, p, length))
                << "length " << length << ", offset " << offset;
        }
    }
}

TEST(Crc32cStriped, ContinuesACrcLikeTheEngine) {
    const auto data = pattern(5000);
    const size_t splits[] = {0, 1, 384, 1000, 4999, 5000};
    for (size_t split : splits) {
        uint32_t first = bench::crc32cStriped(0, data.data(), split);
        EXPECT_EQ(bench::crc32cStriped(first, data.data() + split, data.size() - split),
                  localengine::crc32c(0, data.data(), data.size()))
            << "split at " << split;
    }
}

}  // namespace

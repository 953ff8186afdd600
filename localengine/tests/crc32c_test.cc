#include "crc32c.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace localengine {
namespace {

struct Vector {
    std::string data;
    uint32_t crc;
};

// Published CRC32C check values.
TEST(Crc32c, KnownValues) {
    const Vector vectors[] = {
        {"", 0x00000000u},
        {"a", 0xC1D04330u},
        {"123456789", 0xE3069283u},
        {std::string(32, '\0'), 0x8A9136AAu},
        {std::string(32, '\xFF'), 0x62A8AB43u},
    };
    for (const Vector& v : vectors) {
        EXPECT_EQ(crc32c(0, v.data.data(), v.data.size()), v.crc) << v.data.size() << " bytes";
        EXPECT_EQ(crc32cPortable(0, v.data.data(), v.data.size()), v.crc) << v.data.size() << " bytes";
    }
}

// All forms agree at every length and alignment, a checksum continued piece
// by piece equals the one over the whole, and the copying form copies exactly
// the run, not a byte either side.
TEST(Crc32c, FormsAgreeAcrossLengthsAlignmentsAndSplits) {
    std::mt19937 rng(7);
    std::vector<unsigned char> buf(6000);
    for (auto& b : buf) b = static_cast<unsigned char>(rng());
    // Short runs byte by byte, past where folding starts (256 bytes); long ones
    // around the three-stripe block (384) and the 64-byte folding step.
    std::vector<size_t> lengths;
    for (size_t len = 0; len <= 400; ++len) lengths.push_back(len);
    for (size_t len : {767, 768, 769, 1000, 1152, 1983, 4096, 5000, 5999 - 8}) lengths.push_back(len);
    for (size_t start = 0; start < 8; ++start) {
        for (size_t len : lengths) {
            const unsigned char* p = buf.data() + start;
            uint32_t whole = crc32cPortable(0, p, len);
            ASSERT_EQ(crc32c(0, p, len), whole) << "start " << start << " len " << len;
            size_t cut = len / 3;
            ASSERT_EQ(crc32c(crc32c(0, p, cut), p + cut, len - cut), whole);
            std::vector<unsigned char> copy(len + 2, 0xA5);
            ASSERT_EQ(crc32cCopy(0, copy.data() + 1, p, len), whole) << "start " << start << " len " << len;
            ASSERT_TRUE(std::equal(p, p + len, copy.data() + 1)) << "start " << start << " len " << len;
            ASSERT_EQ(copy.front(), 0xA5);
            ASSERT_EQ(copy.back(), 0xA5);
            uint32_t folded = 0;
            std::vector<unsigned char> copy2(len);
            if (crc32cFolded(0, copy2.data(), p, len, &folded)) {
                ASSERT_EQ(folded, whole) << "start " << start << " len " << len;
                ASSERT_TRUE(std::equal(p, p + len, copy2.begin()));
                ASSERT_TRUE(crc32cFolded(whole, nullptr, p, len, &folded));
                ASSERT_EQ(folded, crc32cPortable(whole, p, len));
            }
        }
    }
}

}  // namespace
}  // namespace localengine

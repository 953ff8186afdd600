#include "crc32c.h"

#include <gtest/gtest.h>

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

// Both forms agree at every length and alignment, and a checksum continued
// piece by piece equals the one over the whole.
TEST(Crc32c, FormsAgreeAcrossLengthsAlignmentsAndSplits) {
    std::mt19937 rng(7);
    std::vector<unsigned char> buf(6000);
    for (auto& b : buf) b = static_cast<unsigned char>(rng());
    // Short runs byte by byte; long ones around the three-stripe block (384 bytes).
    std::vector<size_t> lengths;
    for (size_t len = 0; len <= 300; ++len) lengths.push_back(len);
    for (size_t len : {383, 384, 385, 391, 767, 768, 769, 1000, 1152, 4096, 5000}) lengths.push_back(len);
    for (size_t start = 0; start < 8; ++start) {
        for (size_t len : lengths) {
            const unsigned char* p = buf.data() + start;
            uint32_t whole = crc32cPortable(0, p, len);
            ASSERT_EQ(crc32c(0, p, len), whole) << "start " << start << " len " << len;
            size_t cut = len / 3;
            ASSERT_EQ(crc32c(crc32c(0, p, cut), p + cut, len - cut), whole);
        }
    }
}

}  // namespace
}  // namespace localengine

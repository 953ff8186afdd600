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

// Every form the processor has agrees with the tables at every length and
// alignment, continues a checksum begun elsewhere, and copies exactly the
// run, not a byte either side; crc32c() and crc32cCopy() agree with them.
TEST(Crc32c, FormsAgreeAcrossLengthsAlignmentsAndSplits) {
    std::mt19937 rng(7);
    std::vector<unsigned char> buf(6000);
    for (auto& b : buf) b = static_cast<unsigned char>(rng());
    // Short runs byte by byte, past where every form starts folding; long
    // ones around the 384-byte stripe block and the 64- and 128-byte steps.
    std::vector<size_t> lengths;
    for (size_t len = 0; len <= 400; ++len) lengths.push_back(len);
    for (size_t len : {767, 768, 769, 1000, 1152, 1983, 4096, 5000, 5991}) lengths.push_back(len);
    const Crc32cForm forms[] = {Crc32cForm::kTables, Crc32cForm::kInstruction, Crc32cForm::kFolding,
                                Crc32cForm::kWideFolding};
    for (size_t start = 0; start < 8; ++start) {
        for (size_t len : lengths) {
            SCOPED_TRACE("start " + std::to_string(start) + " len " + std::to_string(len));
            const unsigned char* p = buf.data() + start;
            const uint32_t whole = crc32cPortable(0, p, len);
            const size_t cut = len / 3;
            ASSERT_EQ(crc32c(crc32c(0, p, cut), p + cut, len - cut), whole);
            for (Crc32cForm form : forms) {
                SCOPED_TRACE("form " + std::to_string(static_cast<int>(form)));
                std::vector<unsigned char> copy(len + 2, 0xA5);
                uint32_t got = 0;
                if (!crc32cUsing(form, 0, copy.data() + 1, p, len, &got)) continue;
                ASSERT_EQ(got, whole);
                ASSERT_TRUE(std::equal(p, p + len, copy.data() + 1));
                ASSERT_EQ(copy.front(), 0xA5);
                ASSERT_EQ(copy.back(), 0xA5);
                uint32_t first = 0;
                ASSERT_TRUE(crc32cUsing(form, 0, nullptr, p, cut, &first));
                ASSERT_TRUE(crc32cUsing(form, first, nullptr, p + cut, len - cut, &got));
                ASSERT_EQ(got, whole);
            }
            std::vector<unsigned char> copy(len);
            ASSERT_EQ(crc32cCopy(0, copy.data(), p, len), whole);
            ASSERT_TRUE(std::equal(p, p + len, copy.begin()));
        }
    }
}

}  // namespace
}  // namespace localengine

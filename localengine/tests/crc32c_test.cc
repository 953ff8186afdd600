#include "crc32c.h"
#include "crc32c_forms.h"

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
        EXPECT_EQ(crc32cPortableCopy(0, nullptr, v.data.data(), v.data.size()), v.crc) << v.data.size() << " bytes";
    }
}

// Both forms (the fast one where the build and processor have it) agree
// with the tables at every length and alignment, continue a checksum begun
// elsewhere, and copy exactly the run, not a byte either side; crc32c() and
// crc32cCopy() agree with them.
TEST(Crc32c, FormsAgreeAcrossLengthsAlignmentsAndSplits) {
    std::mt19937 rng(7);
    std::vector<unsigned char> buf(6000);
    for (auto& b : buf) b = static_cast<unsigned char>(rng());
    // Short runs byte by byte, past where folding starts and through every
    // count of 16-byte steps and last bytes after the four lanes; long ones
    // beside the 64-byte steps of the lanes (a wrong constant shows in them).
    std::vector<size_t> lengths;
    for (size_t len = 0; len <= 400; ++len) lengths.push_back(len);
    for (size_t len : {767, 768, 769, 1000, 1152, 1983, 4096, 5000, 5991}) lengths.push_back(len);
    std::vector<Crc32cCopyForm> forms = {crc32cPortableCopy};
    if (Crc32cCopyForm fast = crc32cFastForm()) forms.push_back(fast);
    for (size_t start = 0; start < 8; ++start) {
        for (size_t len : lengths) {
            SCOPED_TRACE("start " + std::to_string(start) + " len " + std::to_string(len));
            const unsigned char* p = buf.data() + start;
            const uint32_t whole = crc32cPortableCopy(0, nullptr, p, len);
            const size_t cut = len / 3;
            ASSERT_EQ(crc32c(crc32c(0, p, cut), p + cut, len - cut), whole);
            for (size_t f = 0; f < forms.size(); ++f) {
                SCOPED_TRACE(f == 0 ? "portable form" : "fast form");
                std::vector<unsigned char> copy(len + 2, 0xA5);
                ASSERT_EQ(forms[f](0, copy.data() + 1, p, len), whole);
                ASSERT_TRUE(std::equal(p, p + len, copy.data() + 1));
                ASSERT_EQ(copy.front(), 0xA5);
                ASSERT_EQ(copy.back(), 0xA5);
                ASSERT_EQ(forms[f](forms[f](0, nullptr, p, cut), nullptr, p + cut, len - cut), whole);
            }
            std::vector<unsigned char> copy(len);
            ASSERT_EQ(crc32cCopy(0, copy.data(), p, len), whole);
            ASSERT_TRUE(std::equal(p, p + len, copy.begin()));
        }
    }
}

// The build picked the right file for its processor: an x86 build has the
// fast form wherever the processor can run it, any other build has none.
TEST(Crc32c, FastFormWhereTheBuildHasOne) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("pclmul")) {
        EXPECT_NE(crc32cFastForm(), nullptr);
    }
#else
    EXPECT_EQ(crc32cFastForm(), nullptr);
#endif
}

}  // namespace
}  // namespace localengine

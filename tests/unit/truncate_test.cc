#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "scan/scan_common.h"
#include "scan/scans.h"

namespace {

TEST(TrimmedLength, KeepsOneFillerByteAndTheMinimum) {
    const std::string nulls7(7, '\0');
    const struct {
        std::string record;
        uint32_t minimum;
        uint32_t expected;
    } cases[] = {
        {"ABC" + nulls7, 4, 4},
        {"ABCDEFG   ", 4, 8},
        {"ABCD" + std::string(6, '\0'), 4, 5},
        {"ABCDEFGHI ", 4, 10},          // one filler byte at the end: left alone
        {"ABCDEFGH \x01", 4, 10},       // last byte not filler
        {std::string(10, '\0'), 10, 10},  // not longer than the minimum
        {std::string(100, ' '), 4, 4},
        {std::string("AB \0 \0", 6), 4, 4},   // mixed filler, cut to the minimum
        {std::string("ABCDEF \0 \0", 10), 4, 7},
        {"ABCDEFGHIJKL  ", 20, 14},     // shorter than the minimum already
    };
    for (const auto& c : cases) {
        auto bytes = reinterpret_cast<const unsigned char*>(c.record.data());
        EXPECT_EQ(TrimmedLength(bytes, static_cast<uint32_t>(c.record.size()), c.minimum),
                  c.expected)
            << '"' << c.record << "\" minimum " << c.minimum;
    }
}

TEST(FormatSizeLine, GivesWhatPrintfGives) {
    const uint32_t sizes[] = {0, 7, 99999, 100000, 999999, 1000000, 258048, 64000, 2147483647u};
    for (uint32_t size : sizes) {
        for (char mark : {' ', '+'}) {
            char expected[64], line[64];
            int length = std::snprintf(expected, sizeof expected, "RecSize Changed to %6d%c\n",
                                       static_cast<int>(size), mark);
            ASSERT_EQ(FormatSizeLine(line, "RecSize Changed to ", size, mark), length) << size;
            EXPECT_EQ(std::string(line, static_cast<size_t>(length)), expected) << size;
        }
    }
    char line[64];
    EXPECT_EQ(FormatSizeLine(line, "RecSize Changed to ", 2147483648u, ' '), -1);
}

}  // namespace

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <utility>

#include "in_process.h"

namespace {

std::map<uint32_t, std::pair<uint32_t, int>> ListContents(bool* ascending) {
    std::map<uint32_t, std::pair<uint32_t, int>> contents;
    *ascending = true;
    for (const SizeEntry* entry = sizeList; entry != nullptr; entry = entry->next) {
        if (entry->next != nullptr && entry->next->size <= entry->size) *ascending = false;
        contents[entry->size] = {entry->count, entry->mark};
    }
    return contents;
}

TEST(SizeHistogram, KeepsAscendingOrderCountsAndFirstMark) {
    // Orders that stress the list's head, tail and middle, and the index's
    // balance: ascending, descending, random with many and with few sizes.
    const struct {
        const char* name;
        uint32_t records;
        uint32_t distinct;
        bool random;
        bool descending;
    } cases[] = {
        {"ascending", 5000, 5000, false, false},
        {"descending", 5000, 5000, false, true},
        {"random, many sizes", 200000, 60000, true, false},
        {"random, few sizes", 50000, 7, true, false},
        {"huge sizes", 20000, 4000000, true, false},
    };
    for (const auto& c : cases) {
        ClearSizeEntries();
        std::mt19937 random(42);
        std::map<uint32_t, std::pair<uint32_t, int>> expected;
        for (uint32_t i = 0; i < c.records; ++i) {
            uint32_t size = c.random ? (random() % c.distinct) * 1031u
                                     : (c.descending ? c.records - i : i);
            if (c.distinct > 1000000) size = random();  // the whole unsigned range
            int mark = static_cast<int>(random() % 2);
            auto found = expected.find(size);
            if (found == expected.end()) expected[size] = {1, mark};
            else found->second.first += 1;
            ASSERT_EQ(AddSizeEntry(size, mark), 1);
        }
        bool ascending = false;
        EXPECT_EQ(ListContents(&ascending), expected) << c.name;
        EXPECT_TRUE(ascending) << c.name;
    }
}

std::string Report() {
    return Capture(PrintTotals).out;
}

TEST(Report, LinesByWhatWasScanned) {
    ResetProgram();
    runOptions.countSizes = 1;
    EXPECT_EQ(Report(), "\nTotal Scanned Record Count: 0") << "the last line stays open";
    runOptions.truncateMin = 4;
    EXPECT_EQ(Report(), "\nTotal Scanned Record Count: 0\nTotal Updated Record Count: 0");

    // A dry run says what the truncation would have done, in lines of its own.
    runOptions.dryRun = 1;
    runTotals = RunTotals{2, 2, 0, 0, 0, 5000000000u, 0, 0, 0};
    EXPECT_EQ(Report(),
              "\nTotal Scanned Record Count: 2"
              "\nDry Run, Records That Would Be Updated: 2"
              "\nDry Run, Bytes That Would Be Freed: 5000000000"
              "\nSmallest Record Size Found: 0\n Largest Record Size Found: 0 \n\n"
              "Record Size , RecCount\n");
    runOptions.dryRun = 0;
    runTotals = RunTotals{};

    runOptions.truncateMin = 0;
    for (uint32_t size : {300u, 100u, 300u, 200u}) AddSizeEntry(size, size == 200);
    runTotals = RunTotals{4, 0, 100, 300, 1, 0, 0, 0, 0};
    EXPECT_EQ(Report(),
              "\nTotal Scanned Record Count: 4"
              "\nSmallest Record Size Found: 100\n Largest Record Size Found: 300+\n\n"
              "Record Size , RecCount\n"
              "        100 , 1\n"
              "        200+, 1\n"
              "        300 , 2\n");

    runOptions.countSizes = 0;
    runTotals = RunTotals{4000000000u, 0, 4000000000u, 4294967295u, 0, 0, 0, 0, 0};
    EXPECT_EQ(Report(),
              "\nTotal Scanned Record Count: 4000000000"
              "\nSmallest Record Size Found: 4000000000\n Largest Record Size Found: 4294967295 \n\n");
}

TEST(FormatUnsigned64, AllDigitsOfAnyCount) {
    const struct {
        uint64_t value;
        const char* text;
    } cases[] = {{0, "0"}, {7, "7"}, {4294967296u, "4294967296"},
                 {18446744073709551615u, "18446744073709551615"}};
    for (const auto& c : cases) {
        char text[UNSIGNED64_DIGITS_MAX + 1];
        EXPECT_STREQ(FormatUnsigned64(c.value, text), c.text);
    }
}

}  // namespace

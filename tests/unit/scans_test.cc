// The scans against a scripted engine: the requests they make, in order, and
// what they print and count.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "in_process.h"
#include "scripted_engine.h"

namespace {

using scripted::Request;

// What a scan leaves in the totals that the report prints.
struct Counts {
    uint32_t scannedCount, updatedCount, smallestSize, largestSize;
    int overflowSeen;
};

std::string Bytes(const char* text, size_t length) { return std::string(text, length); }

TEST(Scans, RequestsAndLines) {
    const std::string position5 = Bytes("\x05\0\0\0", 4);
    // Sizes that change at every record, for more lines than standard
    // output gathers at once (64 KiB).
    std::vector<Request> alternating;
    std::string alternatingOut;
    for (int i = 0; i < 3000; ++i) {
        alternating.push_back({i == 0 ? OP_STEP_FIRST : OP_STEP_NEXT, 0, std::string(i % 2 ? 200 : 100, 'a'),
                               scripted::ANY_LENGTH, 64000});
        alternatingOut += i == 0 ? "RecSize Started at    100 \n"
                                 : i % 2 ? "RecSize Changed to    200 \n" : "RecSize Changed to    100 \n";
    }
    alternating.push_back({OP_STEP_NEXT, 9, ""});
    const struct {
        const char* name;
        std::function<void()> options;
        std::function<int()> scan;
        std::vector<Request> script;
        std::string out;
        Counts totals;
        std::string err = "";
        std::vector<std::string> updates = {};
    } cases[] = {
        {"a change is against the previous record, not the extremes",
         [] { extendedMode = 0; },
         ScanRecordSizes,
         {{OP_STEP_FIRST, 0, std::string(100, 'a'), scripted::ANY_LENGTH, 64000},
          {OP_STEP_NEXT, 0, std::string(200, 'b'), scripted::ANY_LENGTH, 64000},
          {OP_STEP_NEXT, 0, std::string(100, 'c'), scripted::ANY_LENGTH, 64000},
          {OP_STEP_NEXT, 9, ""}},
         "RecSize Started at    100 \nRecSize Changed to    200 \nRecSize Changed to    100 \n",
         {3, 0, 100, 200, 0}},
        {"the standard entry counts a record it cannot hold at 64000, marked",
         [] { extendedMode = 0; },
         ScanRecordSizes,
         {{OP_STEP_FIRST, 22, "x", scripted::ANY_LENGTH, 64000}, {OP_STEP_NEXT, 9, ""}},
         "RecSize Started at  64000+\n",
         {1, 0, 64000, 64000, 1}},
        {"lines beyond what standard output gathers at once arrive whole and in order",
         [] { extendedMode = 0; },
         ScanRecordSizes,
         alternating,
         alternatingOut,
         {3000, 0, 100, 200, 0},
         "-\b\\\b|\b"},  // the spinner's turns at every 1000 records
        {"the extended entry reads with the whole buffer",
         [] { extendedMode = 1; },
         ScanRecordSizes,
         {{OP_STEP_FIRST, 0, "", 70000, RECORD_BUFFER_SIZE, 0, true},
          {OP_STEP_NEXT, 2, "", scripted::ANY_LENGTH, RECORD_BUFFER_SIZE, 0, true}},
         "RecSize Started at  70000 \nAbnormal Termination Status 2.\n",
         {1, 0, 70000, 70000, 0},
         "Data File Corruption (Status 2) Detected!\n"},
        {"/B measures a record that did not fit with Get Position and one chunk",
         [] {
             extendedMode = 0;
             runOptions.probeMegabytes = 1;
             runOptions.granularity = 16;
         },
         ScanLargeRecords,
         {{OP_STEP_FIRST, 22, "", scripted::ANY_LENGTH, 64000},
          {OP_GET_POSITION, 0, position5, 4, 4},
          {OP_GET_DIRECT_CHUNK, 103, "", 4376, 64000, -2},
          {OP_STEP_NEXT, 9, "", scripted::ANY_LENGTH, 64000, 0}},
         "RecSize Started at      70000+\n",
         {1, 0, 70000, 70000, 1}},
        {"/T4 rewrites a record that ends in filler, and only that",
         [] { runOptions.truncateMin = 4; },
         TruncateFiller,
         {{OP_STEP_FIRST, 0, Bytes("ABC\0\0\0\0", 7), scripted::ANY_LENGTH, 64000},
          {OP_UPDATE, 0, "", scripted::ANY_LENGTH, 4},
          {OP_STEP_NEXT, 0, "ABCD", scripted::ANY_LENGTH, 64000},
          {OP_STEP_NEXT, 9, "", scripted::ANY_LENGTH, 64000}},
         "",
         {2, 1, 0, 0, 0},
         "",
         {Bytes("ABC\0", 4)}},
    };
    // Twice over: after all the others, a row answers as it did first (its spinner starts afresh).
    for (size_t row = 0; row < 2 * std::size(cases); ++row) {
        const auto& c = cases[row % std::size(cases)];
        SCOPED_TRACE(c.name);
        ResetProgram();
        c.options();
        fileTable[DATA_FILE].keyBuf = keyScratch;
        scripted::Script(c.script);
        Streams streams = Capture([&] { c.scan(); });
        EXPECT_EQ(scripted::Problems(), "");
        EXPECT_EQ(streams.out, c.out);
        EXPECT_EQ(streams.err, c.err);
        EXPECT_EQ(runTotals.scannedCount, c.totals.scannedCount);
        EXPECT_EQ(runTotals.updatedCount, c.totals.updatedCount);
        EXPECT_EQ(runTotals.smallestSize, c.totals.smallestSize);
        EXPECT_EQ(runTotals.largestSize, c.totals.largestSize);
        EXPECT_EQ(runTotals.overflowSeen, c.totals.overflowSeen);
        EXPECT_EQ(scripted::Updates(), c.updates);
    }
}

}  // namespace

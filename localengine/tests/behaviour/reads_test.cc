// Reading records through the entry points: short buffers (22), the standard
// entry's 16-bit lengths, records far beyond 64 KiB, positions and updates.
#include <algorithm>
#include <thread>

#include "support.h"

namespace behaviour {
namespace {

using namespace localengine;

constexpr uint32_t kWhole = 16u * 1024 * 1024;

struct ShortBufferCase {
    BEHAVIOUR_CASE_NAMED(ShortBufferCase)
    const char* name;
    uint32_t recordLength;
    uint32_t lengthWord;  // *dataLen going in
    Entry entry;
};

class ShortBuffer : public BehaviourTest, public ::testing::WithParamInterface<ShortBufferCase> {};

// The record after the one read into a short buffer must come next; the short
// one stays current.
TEST_P(ShortBuffer, FillsTheBufferAndTheNextStepGoesOn) {
    const ShortBufferCase& c = GetParam();
    const std::vector<Bytes> records = {RecordBytes(0, 10), RecordBytes(1, c.recordLength), RecordBytes(2, 33)};
    MakeFile(EngineFile(), path("f"), records);
    const Walk walk = walkFile(path("f"));
    ASSERT_EQ(walk.records.size(), 3u);

    EngineFile file;
    ASSERT_EQ(file.open(path("f")), kOk);
    ASSERT_EQ(file.step(kOpStepFirst, 100).status, kOk);
    const Reply reply = file.step(kOpStepNext, c.lengthWord, c.entry);
    const uint32_t usable = c.entry == Entry::kStandard ? (c.lengthWord & 0xFFFFu) : c.lengthWord;
    EXPECT_TRUE(reply.guardIntact) << "wrote past the declared buffer";
    if (usable < c.recordLength) {
        EXPECT_EQ(reply.status, kBufferTooShort);
        EXPECT_EQ(reply.length, usable);
        EXPECT_EQ(reply.data, Bytes(records[1].begin(), records[1].begin() + std::min(usable, reply.length)));
    } else {
        EXPECT_EQ(reply.status, kOk);
        EXPECT_EQ(reply.data, records[1]);
    }
    EXPECT_EQ(positionOf(file.getPosition()), walk.positions[1]);
    const Reply next = file.step(kOpStepNext, 100);
    EXPECT_EQ(next.status, kOk);
    EXPECT_EQ(next.data, records[2]);
    EXPECT_EQ(file.step(kOpStepNext, 100).status, kEndOfFile);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShortBuffer,
    ::testing::Values(ShortBufferCase{"ExZeroBuffer", 50, 0, Entry::kExtended},
                      ShortBufferCase{"ExOneByte", 50, 1, Entry::kExtended},
                      ShortBufferCase{"ExOneShort", 50, 49, Entry::kExtended},
                      ShortBufferCase{"ExExact", 50, 50, Entry::kExtended},
                      ShortBufferCase{"ExBig", 300000, 258048, Entry::kExtended},
                      ShortBufferCase{"ExBigWhole", 300000, 300000, Entry::kExtended},
                      ShortBufferCase{"StdOneShort", 50, 49, Entry::kStandard},
                      ShortBufferCase{"StdMaxBuffer", 70000, 65535, Entry::kStandard},
                      // Only the low 16 bits count: 69999 is a buffer of 4463 bytes.
                      ShortBufferCase{"StdLowBitsOf69999", 70000, 69999, Entry::kStandard},
                      ShortBufferCase{"StdLowBitsOf65536", 50, 0x10000, Entry::kStandard},
                      ShortBufferCase{"StdLowBitsBigEnough", 50, 0x10000 + 100, Entry::kStandard}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BehaviourTest, StandardInsertHonoursOnlyLowSixteenBits) {
    ASSERT_EQ(EngineFile::create(path("f")), kOk);
    EngineFile file;
    ASSERT_EQ(file.open(path("f")), kOk);
    Bytes record = RecordBytes(7, 0x10005);
    uint32_t length = 0x10005;
    ASSERT_EQ(call(Entry::kStandard, kOpInsert, file.posBlock(), record.data(), &length), kOk);
    ASSERT_EQ(file.close(), kOk);
    const Walk walk = walkFile(path("f"));
    ASSERT_EQ(walk.records.size(), 1u);
    EXPECT_EQ(walk.records[0], Bytes(record.begin(), record.begin() + 5));
}

TEST_F(BehaviourTest, ExtendedEntryKeepsLongRecordsWhole) {
    const std::vector<Bytes> records = {RecordBytes(0, 258048), RecordBytes(1, 258049), RecordBytes(2, 300000),
                                        RecordBytes(3, 1), RecordBytes(4, 4u * 1024 * 1024)};
    MakeFile(EngineFile(), path("f"), records);
    const Walk walk = walkFile(path("f"));
    EXPECT_EQ(walk.endStatus, kEndOfFile);
    ASSERT_EQ(walk.records.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) EXPECT_TRUE(walk.records[i] == records[i]) << "record " << i;
}

TEST_F(BehaviourTest, PositionsAreStableAcrossWalksReopensAndInserts) {
    std::vector<Bytes> records;
    for (uint32_t i = 0; i < 200; ++i) records.push_back(RecordBytes(i, (i * 37) % 700 + 1));
    MakeFile(EngineFile(), path("f"), records);
    const Walk first = walkFile(path("f"));
    ASSERT_EQ(first.records.size(), records.size());
    EXPECT_EQ(walkFile(path("f")).positions, first.positions);
    std::vector<uint32_t> sorted = first.positions;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "two records share a position";

    // Get Position after Insert names the new record; the old ones keep theirs.
    EngineFile file;
    ASSERT_EQ(file.open(path("f")), kOk);
    const Bytes record = RecordBytes(999, 10);
    ASSERT_EQ(file.insert(record.data(), 10), kOk);
    const Reply inserted = file.getPosition();
    ASSERT_EQ(inserted.status, kOk);
    EXPECT_EQ(inserted.length, 4u);
    ASSERT_EQ(file.close(), kOk);
    const Walk after = walkFile(path("f"));
    ASSERT_EQ(after.positions.size(), 201u);
    EXPECT_EQ(std::vector<uint32_t>(after.positions.begin(), after.positions.end() - 1), first.positions);
    EXPECT_EQ(after.positions.back(), positionOf(inserted));
}

// Requests from two threads at once wait their turn: each thread, opening,
// reading and closing its own file over and over, sees only that file.
TEST_F(BehaviourTest, TwoThreadsAtOnceEachSeeTheirOwnFile) {
    const Bytes records[2] = {RecordBytes(1, 100), RecordBytes(2, 3000)};
    MakeFile(EngineFile(), path("0"), {records[0], records[1]});
    MakeFile(EngineFile(), path("1"), {records[1], records[0]});
    int mismatches[2] = {0, 0};
    auto visit = [&](int which) {
        for (int round = 0; round < 2000; ++round) {
            EngineFile file;
            bool same = file.open(path(std::to_string(which))) == kOk &&
                        file.step(kOpStepFirst, 4096).data == records[which] &&
                        file.step(kOpStepNext, 4096).data == records[1 - which] && file.close() == kOk;
            if (!same) ++mismatches[which];
        }
    };
    std::thread other(visit, 1);
    visit(0);
    other.join();
    EXPECT_EQ(mismatches[0], 0);
    EXPECT_EQ(mismatches[1], 0);
}

TEST_F(BehaviourTest, GetPositionNeedsFourBytesAndACurrentRecord) {
    MakeFile(EngineFile(), path("f"), {RecordBytes(0, 5)});
    EngineFile file;
    ASSERT_EQ(file.open(path("f")), kOk);
    EXPECT_NE(file.getPosition().status, kOk) << "no record is current yet";
    ASSERT_EQ(file.step(kOpStepFirst, 100).status, kOk);
    const Reply tooShort = file.getPosition(3);
    EXPECT_EQ(tooShort.status, kBufferTooShort);
    EXPECT_TRUE(tooShort.guardIntact);
    const Reply ok = file.getPosition(64);
    EXPECT_EQ(ok.status, kOk);
    EXPECT_EQ(ok.length, 4u);
}

// The program shortens records to their prefix; the rest of the file stays.
TEST_F(BehaviourTest, UpdateShortensTheCurrentRecordOnly) {
    const std::vector<Bytes> records = {RecordBytes(0, 100), RecordBytes(1, 5000), RecordBytes(2, 100)};
    MakeFile(EngineFile(), path("f"), records);
    const Walk before = walkFile(path("f"));
    EngineFile file;
    ASSERT_EQ(file.open(path("f")), kOk);
    ASSERT_EQ(file.step(kOpStepFirst, kWhole).status, kOk);
    ASSERT_EQ(file.step(kOpStepNext, kWhole).status, kOk);
    ASSERT_EQ(file.update(Bytes(records[1].begin(), records[1].begin() + 1234)), kOk);
    EXPECT_EQ(positionOf(file.getPosition()), before.positions[1]);
    EXPECT_NE(file.update(RecordBytes(1, 9000)), kOk) << "growing past the record's room";
    EXPECT_EQ(file.step(kOpStepNext, kWhole).data, records[2]);
    EXPECT_EQ(file.check(), kOk);
    ASSERT_EQ(file.close(), kOk);

    const Walk after = walkFile(path("f"));
    EXPECT_EQ(after.records,
              (std::vector<Bytes>{records[0], Bytes(records[1].begin(), records[1].begin() + 1234), records[2]}));
    EXPECT_EQ(after.positions, before.positions);
}

}  // namespace
}  // namespace behaviour

// Get Direct/Chunk rectangles: rows of a record picked by offset, width and
// distance, returned concatenated; 103 when rows run past the record's end.
#include <algorithm>

#include "support.h"

namespace behaviour {
namespace {

using namespace localengine;

struct RectangleCase {
    BEHAVIOUR_CASE_NAMED(RectangleCase)
    const char* name;
    uint32_t recordLength;
    uint32_t rows, offset, bytesPerRow, distance;
    uint32_t bufferLength;
    int status;              // expected status
    uint32_t rowsReturned;   // whole rows that exist
};

// What the engine must return: the rows [offset + i*distance, +bytesPerRow).
Bytes expectedRows(const Bytes& record, const RectangleCase& c) {
    Bytes out;
    for (uint32_t i = 0; i < c.rowsReturned; ++i) {
        const size_t start = c.offset + static_cast<size_t>(i) * c.distance;
        out.insert(out.end(), record.begin() + start, record.begin() + start + c.bytesPerRow);
    }
    return out;
}

class Rectangle : public BehaviourTest, public ::testing::WithParamInterface<RectangleCase> {};

TEST_P(Rectangle, ReturnsTheRowsThatExist) {
    const RectangleCase& c = GetParam();
    const Bytes record = RecordBytes(5, c.recordLength);
    MakeFile(EngineFile(), path("f"), {RecordBytes(1, 3), record, RecordBytes(2, 70)});
    const Walk walk = walkFile(path("f"));
    ASSERT_EQ(walk.positions.size(), 3u);

    EngineFile file;
    ASSERT_EQ(file.open(path("f")), kOk);
    const Reply reply = file.chunk(walk.positions[1], c.rows, c.offset, c.bytesPerRow, c.distance, c.bufferLength);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.length, c.rowsReturned * c.bytesPerRow);
    EXPECT_TRUE(reply.data == expectedRows(record, c));
    EXPECT_TRUE(reply.guardIntact);
}

// A record of L bytes read as 1-byte rows at distance g gives ceil(L/g) bytes.
INSTANTIATE_TEST_SUITE_P(
    Cases, Rectangle,
    ::testing::Values(
        RectangleCase{"ProgramsProbeShortRecord", 1000, 64000, 0, 1, 1, 64000, kChunkPastEnd, 1000},
        RectangleCase{"ProgramsProbeOneByte", 1, 64000, 0, 1, 1, 64000, kChunkPastEnd, 1},
        RectangleCase{"Granularity7", 1000, 64000, 0, 1, 7, 64000, kChunkPastEnd, 143},
        RectangleCase{"Granularity7AllRowsExist", 1000, 143, 0, 1, 7, 64000, kOk, 143},
        RectangleCase{"Granularity7FewerRows", 1000, 142, 0, 1, 7, 64000, kOk, 142},
        RectangleCase{"Granularity4Of300000Full", 300000, 64000, 0, 1, 4, 64000, kOk, 64000},
        RectangleCase{"Granularity5Of300000", 300000, 64000, 0, 1, 5, 64000, kChunkPastEnd, 60000},
        RectangleCase{"Granularity4096Of300000", 300000, 64000, 0, 1, 4096, 64000, kChunkPastEnd, 74},
        RectangleCase{"WideRowsEndingAtTheEnd", 1000, 125, 0, 8, 8, 64000, kOk, 125},
        RectangleCase{"WideRowsOnePastTheEnd", 1000, 126, 0, 8, 8, 64000, kChunkPastEnd, 125},
        RectangleCase{"OffsetAndGaps", 1000, 99, 10, 4, 10, 64000, kOk, 99},
        RectangleCase{"OffsetAndGapsPastEnd", 1000, 100, 10, 4, 10, 64000, kChunkPastEnd, 99},
        RectangleCase{"OffsetBeyondTheRecord", 1000, 5, 2000, 1, 1, 64000, kChunkPastEnd, 0},
        RectangleCase{"OverlappingRows", 64, 10, 3, 16, 4, 64000, kOk, 10},
        RectangleCase{"WholeRecordOneRow", 5000, 1, 0, 5000, 0, 64000, kOk, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// Requests that cannot be served must give a status and stay inside the buffer.
TEST_F(BehaviourTest, BadChunkRequestsGiveAStatus) {
    MakeFile(EngineFile(), path("f"), {RecordBytes(0, 40), RecordBytes(1, 300000), RecordBytes(2, 17)});
    const Walk walk = walkFile(path("f"));
    ASSERT_EQ(walk.positions.size(), 3u);
    const uint32_t p = walk.positions[1];

    struct Bad {
        const char* what;
        uint32_t position, subfunction, rows, bytesPerRow;
        uint32_t bufferLength;
        int8_t keyNumber;
    };
    std::vector<Bad> cases = {
        {"other subfunction", p, 0x80000001u, 10, 1, 64000, -2},
        {"zero subfunction", p, 0, 10, 1, 64000, -2},
        {"key number -1", p, kRectangleSubfunction, 10, 1, 64000, -1},
        {"key number 0", p, kRectangleSubfunction, 10, 1, 64000, 0},
        {"position far away", 0xFFFFFFFFu, kRectangleSubfunction, 10, 1, 64000, -2},
        {"position past the end", walk.positions[2] + 64, kRectangleSubfunction, 10, 1, 64000, -2},
        {"buffer shorter than the descriptor", p, kRectangleSubfunction, 10, 1, 16, -2},
        {"rows bigger than the buffer", p, kRectangleSubfunction, 1000, 100, 64000, -2},
    };
    // A position inside a record is not the start of one.
    for (uint32_t pos : walk.positions) {
        for (uint32_t delta : {1u, 2u, 3u}) {
            if (std::find(walk.positions.begin(), walk.positions.end(), pos + delta) == walk.positions.end()) {
                cases.push_back({"inside a record", pos + delta, kRectangleSubfunction, 10, 1, 64000, -2});
            }
        }
    }
    EngineFile file;
    ASSERT_EQ(file.open(path("f")), kOk);
    for (const Bad& c : cases) {
        const Reply reply = file.chunk(c.position, c.rows, 0, c.bytesPerRow, 1, c.bufferLength, c.subfunction,
                                       c.keyNumber);
        EXPECT_NE(reply.status, kOk) << c.what << " at " << c.position;
        EXPECT_NE(reply.status, kChunkPastEnd) << c.what;
        EXPECT_TRUE(reply.guardIntact) << c.what;
        EXPECT_LE(reply.length, c.bufferLength) << c.what;
    }
    // The file is still usable afterwards.
    EXPECT_EQ(file.chunk(p, 3, 0, 1, 1, 64000).status, kOk);
}

}  // namespace
}  // namespace behaviour

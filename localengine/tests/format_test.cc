#include "format.h"

#include <gtest/gtest.h>

#include <cstring>

#include "crc32c.h"
#include "localengine.h"

namespace localengine {
namespace {

// The layout is pinned to fixed bytes, so the Linux and the Windows builds
// (and later versions) write files the other can read.
TEST(Format, HeaderBytesArePinned) {
    unsigned char h[kFileHeaderSize];
    encodeHeader(FileHeader{std::string("ow\0ner", 6)}, FileState{4096, 3}, h);
    EXPECT_EQ(0, std::memcmp(h, "LENGREC\x1a", 8));
    EXPECT_EQ(get32(h + 8), kFormatVersion);
    EXPECT_EQ(get32(h + 12), kFileHeaderSize);
    EXPECT_EQ(get32(h + 16), kAlignment);
    EXPECT_EQ(get32(h + 20), 6u);
    EXPECT_EQ(0, std::memcmp(h + 24, "ow\0ner", 6));
    EXPECT_EQ(get64(h + kStateOffset), 4096u);
    EXPECT_EQ(get64(h + kStateOffset + 8), 3u);
    EXPECT_EQ(crc32c(0, h, sizeof h), 0x7C4BBC30u);

    unsigned char r[kRecordHeaderSize];
    encodeRecordHeader(RecordHeader{5, 9, 0x11223344u}, 0x140000000ull, r);
    EXPECT_EQ(get32(r), 5u);
    EXPECT_EQ(get32(r + 4), 9u);
    EXPECT_EQ(get32(r + 8), 0x11223344u);
    EXPECT_EQ(crc32c(0, r, sizeof r), 0x9A339903u);
}

TEST(Format, HeaderRoundTripsAndEveryFlippedByteIsCaught) {
    const std::string owner("\x01\x00\xff secret", 10);
    unsigned char good[kFileHeaderSize];
    encodeHeader(FileHeader{owner}, FileState{}, good);
    FileHeader h;
    ASSERT_EQ(decodeHeader(good, &h), HeaderCheck::Ok);
    EXPECT_EQ(h.owner, owner);

    for (uint32_t i = 0; i < kStateOffset; ++i) {
        unsigned char bad[kFileHeaderSize];
        std::memcpy(bad, good, sizeof bad);
        bad[i] ^= 0x20;
        HeaderCheck expect = i < 8 ? HeaderCheck::Foreign : HeaderCheck::Damaged;
        EXPECT_EQ(decodeHeader(bad, &h), expect) << "byte " << i;
    }
}

TEST(Format, ImpossibleHeaderFieldsAreDamage) {
    struct Case {
        const char* what;
        uint32_t at;
        uint32_t value;
    };
    const Case cases[] = {
        {"format version", 8, 2}, {"header size", 12, 256}, {"alignment", 16, 8}, {"owner length", 20, 67}};
    for (const Case& c : cases) {
        unsigned char h[kFileHeaderSize];
        encodeHeader(FileHeader{}, FileState{}, h);
        put32(h + c.at, c.value);
        put32(h + kHeaderCrcOffset, crc32c(0, h, kHeaderCrcOffset));  // checksum fits, field does not
        FileHeader out;
        EXPECT_EQ(decodeHeader(h, &out), HeaderCheck::Damaged) << c.what;
    }
}

TEST(Format, StateRejectsImpossibleValues) {
    struct Case {
        uint64_t dataEnd, count;
        bool ok;
    };
    const Case cases[] = {
        {512, 0, true},        {1024, 32, true},  {1024, 33, false},
        {496, 0, false},       {520, 0, false},   {kMaxFileOffset, 1, true},
        {kMaxFileOffset + 16, 0, false},
    };
    for (const Case& c : cases) {
        unsigned char s[kStateSize];
        encodeState(FileState{c.dataEnd, c.count}, s);
        FileState out;
        EXPECT_EQ(decodeState(s, &out), c.ok) << c.dataEnd << "/" << c.count;
    }
    unsigned char s[kStateSize];
    encodeState(FileState{}, s);
    s[3] ^= 1;
    FileState out;
    EXPECT_FALSE(decodeState(s, &out));
}

// A record header is valid only at its own offset: a copy of one inside
// another record's data, or a position that points into the middle of a
// record, does not pass.
TEST(Format, RecordHeaderIsBoundToItsOffset) {
    unsigned char r[kRecordHeaderSize];
    encodeRecordHeader(RecordHeader{3, 8, 42}, 512, r);
    RecordHeader out;
    EXPECT_TRUE(decodeRecordHeader(r, 512, &out));
    EXPECT_EQ(out.length, 3u);
    EXPECT_EQ(out.capacity, 8u);
    EXPECT_FALSE(decodeRecordHeader(r, 528, &out));
    EXPECT_FALSE(decodeRecordHeader(r, 512 + (uint64_t{1} << 32), &out));

    encodeRecordHeader(RecordHeader{9, 8, 42}, 512, r);  // longer than its allocation
    EXPECT_FALSE(decodeRecordHeader(r, 512, &out));
}

// 32-bit positions reach past 4 GiB: offset / 16.
TEST(Format, PositionsCoverFilesBeyondFourGiB) {
    const uint64_t offsets[] = {512, 0xFFFFFFF0ull, 0x100000000ull, 0x5000000A0ull, kMaxFileOffset - 16};
    for (uint64_t off : offsets) EXPECT_EQ(offsetOf(positionOf(off)), off) << off;
    EXPECT_EQ(recordEnd(512, 0), 528u);
    EXPECT_EQ(recordEnd(512, 1), 544u);
    EXPECT_EQ(recordEnd(512, 16), 544u);
    EXPECT_EQ(recordEnd(0xFFFFFFF0ull, 17), 0x100000020ull);
}

TEST(Format, JournalRoundTripsAndRejectsAnyTornOrChangedCopy) {
    JournalEntry j{0x100000200ull, RecordHeader{4, 10, 77}, std::string("old\0bytes", 9)};
    std::string bytes = encodeJournal(j);
    JournalEntry out;
    ASSERT_TRUE(decodeJournal(bytes, &out));
    EXPECT_EQ(out.offset, j.offset);
    EXPECT_EQ(out.old.capacity, 10u);
    EXPECT_EQ(out.beforeImage, j.beforeImage);
    for (size_t n = 0; n < bytes.size(); ++n) EXPECT_FALSE(decodeJournal(bytes.substr(0, n), &out)) << n;
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::string bad = bytes;
        bad[i] ^= 0x04;
        EXPECT_FALSE(decodeJournal(bad, &out)) << i;
    }
}

}  // namespace
}  // namespace localengine

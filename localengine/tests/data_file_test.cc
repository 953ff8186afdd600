#include "data_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "crc32c.h"
#include "data_file_support.h"
#include "format.h"
#include "localengine.h"
#include "support/test_support.h"

namespace localengine {
namespace {


class DataFileTest : public support::FolderTest {
protected:
    void make(const std::vector<std::string>& records, const std::string& owner = {}) {
        MakeFile(DataFile(tiny()), path_, records, owner);
    }

    std::vector<std::string> reopenAndReadAll() {
        DataFile f(tiny());
        EXPECT_EQ(f.open(path_, {}), kOk);
        int last = 0;
        std::vector<std::string> out = readAll(f, &last);
        EXPECT_EQ(last, kEndOfFile);
        EXPECT_EQ(f.check(), kOk);
        return out;
    }

    std::string path_ = path("f.dat");
    // The buffer the tests' requests fill, and the length they answer.
    // A fresh buffer of exactly `size` bytes for one request, so the
    // sanitizer build sees a write past the length declared.
    unsigned char* buffer(uint32_t size) {
        buf_ = std::vector<unsigned char>(size);
        return buf_.data();
    }
    std::vector<unsigned char> buf_;
    uint32_t n_ = 0;
    std::string got() const { return std::string(reinterpret_cast<const char*>(buf_.data()), n_); }
};

// Updates made while the read window's reader brings in what follows:
// every later read sees the bytes as written, with the reader and without.
TEST_F(DataFileTest, UpdatesWhileReadingAheadAreSeenAtOnce) {
    std::vector<std::string> records;
    for (int i = 0; i < 400; ++i) records.push_back(RecordBytes<Record>(i, (i * 37) % 300));
    for (bool readAhead : {true, false}) {
        SCOPED_TRACE(readAhead ? "reading ahead" : "reading in place");
        make(records);
        DataFile::Tuning t = tiny();
        t.stretchSize = 256;
        t.readAhead = readAhead;
        std::vector<std::string> expected = records;
        {
            DataFile f(t);
            ASSERT_EQ(f.open(path_, {}), kOk);
            for (size_t i = 0; i < records.size(); ++i) {
                int st = i == 0 ? f.stepFirst(buffer(1024), 1024, &n_) : f.stepNext(buffer(1024), 1024, &n_);
                ASSERT_EQ(st, kOk) << i;
                ASSERT_EQ(got(), expected[i]) << i;
                if (i % 3 == 2 || expected[i].empty()) continue;
                // A prefix (one header write), or new bytes (through the journal).
                expected[i] = i % 3 == 0 ? expected[i].substr(0, expected[i].size() / 2)
                                         : RecordBytes<Record>(1000 + i, expected[i].size());
                ASSERT_EQ(f.update(bytesOf(expected[i]), static_cast<uint32_t>(expected[i].size())), kOk) << i;
            }
            int last = 0;
            EXPECT_EQ(readAll(f, &last), expected);
            EXPECT_EQ(f.close(), kOk);
        }
        EXPECT_EQ(reopenAndReadAll(), expected);
        ASSERT_TRUE(File::remove(path_));
    }
}

TEST_F(DataFileTest, RecordsOfEverySizeAroundWindowAndBufferEdgesReadBack) {
    std::vector<std::string> records;
    const size_t sizes[] = {0, 1, 15, 16, 17, 31, 47, 48, 49, 63, 64, 65, 99, 100, 101, 200, 1000, 5000};
    for (size_t i = 0; i < sizeof sizes / sizeof *sizes; ++i) records.push_back(RecordBytes<Record>(i, sizes[i]));
    make(records);
    EXPECT_EQ(reopenAndReadAll(), records);
}

// A buffer shorter than the record: 22, the buffer filled with the record's
// first bytes, and the record still current.
TEST_F(DataFileTest, ShortBufferGivesThePrefixAndMovesOn) {
    const std::vector<std::string> records = {RecordBytes<Record>(1, 10), RecordBytes<Record>(2, 300),
                                              RecordBytes<Record>(3, 7)};
    make(records);
    DataFile f(tiny());
    ASSERT_EQ(f.open(path_, {}), kOk);
    const int expect[] = {kBufferTooShort, kBufferTooShort, kOk};
    for (size_t i = 0; i < records.size(); ++i) {
        uint32_t cap = i == 2 ? 8 : 5;
        int st = i == 0 ? f.stepFirst(buffer(cap), cap, &n_) : f.stepNext(buffer(cap), cap, &n_);
        ASSERT_EQ(st, expect[i]) << i;
        EXPECT_EQ(got(), records[i].substr(0, cap)) << i;
    }
    EXPECT_EQ(f.stepNext(buffer(8), 8, &n_), kEndOfFile);
}

TEST_F(DataFileTest, RowsFollowTheRecordLength) {
    const std::string rec = RecordBytes<Record>(4, 1000);
    make({RecordBytes<Record>(0, 3), rec});
    DataFile f(tiny());
    ASSERT_EQ(f.open(path_, {}), kOk);
    ASSERT_EQ(f.stepFirst(buffer(100), 100, &n_), kOk);
    ASSERT_EQ(f.stepNext(buffer(100), 100, &n_), kBufferTooShort);
    uint32_t pos = 0;
    ASSERT_EQ(f.getPosition(&pos), kOk);
    ASSERT_EQ(f.close(), kOk);
    ASSERT_EQ(f.open(path_, {}), kOk);  // nothing verified yet: the rows check the record first

    struct Case {
        RowRequest rq;
        uint32_t cap;
        int status;
        uint32_t bytes;
    };
    const Case cases[] = {
        {{64000, 0, 1, 7}, 64000, kChunkPastEnd, 143},  // ceil(1000/7)
        {{143, 0, 1, 7}, 64000, kOk, 143},
        {{1000, 0, 1, 1}, 1000, kOk, 1000},
        {{10, 990, 4, 4}, 64000, kChunkPastEnd, 10},    // rows at 990..993, 994..997, then 2 of 4 bytes
        {{100, 0, 10, 10}, 55, kBufferTooShort, 50},    // whole rows only
        {{3, 2000, 1, 1}, 64000, kChunkPastEnd, 0},
        {{5, 0, 0, 1}, 64000, kOk, 0},
        {{4000000000u, 5, 1, 0}, 64000, kBufferTooShort, 64000},
    };
    for (const Case& c : cases) {
        int st = f.getRows(pos, c.rq, buffer(c.cap), c.cap, &n_);
        EXPECT_EQ(st, c.status) << c.rq.rows << "x" << c.rq.bytesPerRow << " @" << c.rq.firstOffset;
        EXPECT_EQ(n_, c.bytes) << c.rq.rows << "x" << c.rq.bytesPerRow << " @" << c.rq.firstOffset;
        for (uint32_t i = 0; i < n_ && c.rq.bytesPerRow > 0; ++i) {
            uint64_t at = c.rq.firstOffset + uint64_t{i / c.rq.bytesPerRow} * c.rq.distance + i % c.rq.bytesPerRow;
            ASSERT_EQ(buf_[i], static_cast<unsigned char>(rec[at])) << i;
        }
    }
    const uint32_t notRecords[] = {0, 1, pos - 1, pos + 1, pos + 2, 0xFFFFFFFFu};
    for (uint32_t p : notRecords) EXPECT_EQ(f.getRows(p, {1, 0, 1, 1}, buffer(10), 10, &n_), kBadChunkPosition) << p;
}

TEST_F(DataFileTest, UpdatesShortenRewriteAndRefuseToGrow) {
    const std::vector<std::string> records = {RecordBytes<Record>(1, 40), RecordBytes<Record>(2, 200),
                                              RecordBytes<Record>(3, 9)};
    make(records);
    DataFile f(tiny());
    ASSERT_EQ(f.open(path_, {}), kOk);
    EXPECT_EQ(f.update(bytesOf(records[0]), 5), kNoCurrentRecord);
    ASSERT_EQ(f.stepFirst(buffer(300), 300, &n_), kOk);
    EXPECT_EQ(f.update(bytesOf(records[0]), 12), kOk);  // prefix: one header write
    ASSERT_EQ(f.stepNext(buffer(300), 300, &n_), kOk);
    const std::string changed = "a different, shorter record";
    EXPECT_EQ(f.update(bytesOf(changed), uint32_t(changed.size())), kOk);  // through the journal
    ASSERT_EQ(f.stepNext(buffer(300), 300, &n_), kOk);
    const std::string longer = records[2] + "x";
    EXPECT_EQ(f.update(bytesOf(longer), uint32_t(longer.size())), kRecordTooLong);
    EXPECT_EQ(f.update(bytesOf(records[2]), 0), kOk);
    ASSERT_EQ(f.close(), kOk);
    EXPECT_FALSE(File::exists(DataFile::journalPath(path_)));

    EXPECT_EQ(reopenAndReadAll(), (std::vector<std::string>{records[0].substr(0, 12), changed, ""}));
    // Shortening leaves the rest of the allocation in place: growing back into it is a rewrite.
    DataFile g(tiny());
    ASSERT_EQ(g.open(path_, {}), kOk);
    ASSERT_EQ(g.stepFirst(buffer(300), 300, &n_), kOk);
    EXPECT_EQ(g.update(bytesOf(records[0]), 40), kOk);
    ASSERT_EQ(g.close(), kOk);
    EXPECT_EQ(reopenAndReadAll()[0], records[0]);
}

// A process killed during a rewrite leaves the journal behind, and maybe
// some of the new bytes: Open puts the old record back.
TEST_F(DataFileTest, OpenRollsBackAnInterruptedRewrite) {
    const std::vector<std::string> records = {RecordBytes<Record>(1, 30), RecordBytes<Record>(2, 50)};
    make(records);
    const std::string original = support::ReadFile(path_);
    const uint64_t second = recordEnd(kFileHeaderSize, 30);
    RecordHeader old;
    ASSERT_TRUE(decodeRecordHeader(bytesOf(original) + second, second, &old));
    const std::string journal = encodeJournal(JournalEntry{second, old, records[1].substr(0, 20)});

    // Any prefix of the new bytes written, the header either old or new.
    for (size_t written : {size_t{0}, size_t{7}, size_t{20}}) {
        for (bool headerWritten : {false, true}) {
            std::string crashed = original;
            for (size_t i = 0; i < written; ++i) crashed[second + kRecordHeaderSize + i] = 'N';
            if (headerWritten) {
                std::string nw(20, 'N');
                encodeRecordHeader(RecordHeader{20, 50, crc32c(0, nw.data(), 20)}, second,
                                   reinterpret_cast<unsigned char*>(&crashed[second]));
            }
            support::WriteFile(path_, crashed);
            support::WriteFile(DataFile::journalPath(path_), journal);
            EXPECT_EQ(reopenAndReadAll(), records) << written << " " << headerWritten;
            EXPECT_EQ(support::ReadFile(path_), original);
            EXPECT_FALSE(File::exists(DataFile::journalPath(path_)));
        }
    }
    // A journal torn while it was written means the record was never touched.
    for (size_t cut : {size_t{0}, size_t{10}, journal.size() - 1}) {
        support::WriteFile(path_, original);
        support::WriteFile(DataFile::journalPath(path_), journal.substr(0, cut));
        EXPECT_EQ(reopenAndReadAll(), records) << cut;
        EXPECT_FALSE(File::exists(DataFile::journalPath(path_)));
    }
}

// Records appended after the last Close by a process that then died: every
// complete one is kept, the torn one is dropped, whatever byte the file ends at.
TEST_F(DataFileTest, OpenRecoversCompleteRecordsFromATornTail) {
    std::vector<std::string> records;
    for (int i = 0; i < 5; ++i) records.push_back(RecordBytes<Record>(i, 20 + 13 * i));
    make(records);
    std::string full = support::ReadFile(path_);
    // The header as it was before the last three were appended.
    uint64_t ends[6] = {kFileHeaderSize};
    for (int i = 0; i < 5; ++i) ends[i + 1] = recordEnd(ends[i], uint32_t(records[i].size()));
    encodeState(FileState{ends[2], 2}, reinterpret_cast<unsigned char*>(&full[kStateOffset]));

    for (uint64_t size = ends[2]; size <= ends[5]; ++size) {
        support::WriteFile(path_, full.substr(0, size));
        size_t complete = 2;
        while (complete < 5 && ends[complete + 1] <= size) ++complete;
        std::vector<std::string> expect(records.begin(), records.begin() + long(complete));
        ASSERT_EQ(reopenAndReadAll(), expect) << "cut at " << size;
        EXPECT_EQ(support::ReadFile(path_).size(), ends[complete]);
    }
}

// Damage anywhere: Open, Step and Check answer with a status and never read
// outside the file. With no slack in the file (nothing was shortened) every
// changed byte is caught by one of them.
TEST_F(DataFileTest, DamageIsReportedNeverMisread) {
    const std::vector<std::string> records = {RecordBytes<Record>(1, 3), RecordBytes<Record>(2, 70),
                                              RecordBytes<Record>(3, 0), RecordBytes<Record>(4, 33)};
    make(records, "own");
    const std::string good = support::ReadFile(path_);
    auto probe = [&](const std::string& bytes, const std::string& what) {
        support::WriteFile(path_, bytes);
        DataFile f(tiny());
        int st = f.open(path_, "own");
        ASSERT_TRUE(st == kOk || st == kDamaged || st == kNotOurFile || st == kOwnerError) << what << ": " << st;
        if (st != kOk) return;
        int last = 0;
        std::vector<std::string> got = readAll(f, &last);
        ASSERT_TRUE(last == kEndOfFile || last == kDamaged) << what << ": " << last;
        int checked = f.check();
        EXPECT_EQ(checked, kDamaged) << what;
        if (last == kEndOfFile) {
            EXPECT_EQ(got, records) << what << " (Step passed a changed record)";
        }
    };
    for (size_t i = 0; i < good.size(); ++i) {
        for (unsigned char flip : {0x01, 0xFF}) {
            std::string bad = good;
            bad[i] = static_cast<char>(bad[i] ^ flip);
            probe(bad, "byte " + std::to_string(i) + " ^ " + std::to_string(flip));
        }
    }
    for (size_t size = 0; size < good.size(); ++size) {
        support::WriteFile(path_, good.substr(0, size));
        DataFile f(tiny());
        EXPECT_EQ(f.open(path_, "own"), size < kFileHeaderSize ? kNotOurFile : kDamaged) << size;
    }
}

// Positions and reads past 4 GiB, on a sparse file.
TEST_F(DataFileTest, RecordsBeyondFourGiBKeepTheirPositions) {
    const uint64_t far = uint64_t{5} << 30;
    ASSERT_EQ(DataFile::create(path_, {}), kOk);
    {
        // An empty file whose records end at 5 GiB (the space between is never read).
        std::string head = support::ReadFile(path_);
        encodeState(FileState{far, 0}, reinterpret_cast<unsigned char*>(&head[kStateOffset]));
        File raw;
        ASSERT_EQ(raw.open(path_), File::Result::Ok);
        ASSERT_TRUE(raw.writeAt(0, head.data(), head.size()));
        ASSERT_TRUE(raw.truncate(far));
    }
    const std::string rec = RecordBytes<Record>(9, 300);
    uint32_t pos = 0;
    {
        DataFile f(tiny());
        ASSERT_EQ(f.open(path_, {}), kOk);
        ASSERT_EQ(f.insert(bytesOf(rec), 300), kOk);
        ASSERT_EQ(f.getPosition(&pos), kOk);
        EXPECT_EQ(offsetOf(pos), far);
        ASSERT_EQ(f.close(), kOk);
    }
    DataFile f(tiny());
    ASSERT_EQ(f.open(path_, {}), kOk);
    EXPECT_EQ(f.dataEnd(), recordEnd(far, 300));
    ASSERT_EQ(f.getRows(pos, {300, 0, 1, 1}, buffer(300), 300, &n_), kOk);
    EXPECT_EQ(got(), rec);
    ASSERT_EQ(f.getRows(pos - (uint32_t{1} << 28), {1, 0, 1, 1}, buffer(1), 1, &n_), kBadChunkPosition);
}

TEST_F(DataFileTest, OwnersMatchExactly) {
    const std::string owner("a\0b", 3);
    make({RecordBytes<Record>(1, 5)}, owner);
    struct Case {
        std::string given;
        int status;
    };
    const Case cases[] = {{owner, kOk}, {"", kOwnerError}, {"a", kOwnerError}, {std::string("a\0b\0", 4), kOwnerError},
                          {"A\0b", kOwnerError}};
    for (const Case& c : cases) {
        DataFile f;
        EXPECT_EQ(f.open(path_, c.given), c.status) << c.given.size();
    }
    const std::string other = path("none.dat");
    ASSERT_EQ(DataFile::create(other, {}), kOk);
    EXPECT_EQ(DataFile::create(other, {}), kFileExists);
    DataFile f;
    EXPECT_EQ(f.open(other, "anything"), kOk);
    DataFile g;
    EXPECT_EQ(g.open(other, {}), kInUse);  // the first still holds it
    EXPECT_EQ(g.open(path("missing.dat"), {}), kFileNotFound);
}

}  // namespace
}  // namespace localengine

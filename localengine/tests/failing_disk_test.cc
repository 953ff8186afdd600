// Every read, write, truncate, sync, create and remove an Insert, an Update,
// the journal, recovery, a scan and Close make, failed in turn (EIO, ENOSPC)
// or made the instant the power goes (with none, some or all of the writes
// since the last sync on disk). Afterwards the file opens on a healthy disk
// with every committed record there, each old or new, and no I/O error was
// ever answered as damage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "crc32c.h"
#include "data_file.h"
#include "data_file_support.h"
#include "failing_disk.h"
#include "format.h"
#include "localengine.h"
#include "support/test_support.h"

namespace localengine {
namespace {

using Records = std::vector<std::string>;

// Without the reader thread: every call in one order, run after run.
DataFile::Tuning small() { return tiny(false); }

const Records kBase = {RecordBytes<Record>(1, 10), RecordBytes<Record>(2, 70), RecordBytes<Record>(3, 0),
                       RecordBytes<Record>(4, 33), RecordBytes<Record>(5, 150)};
const Records kMore = {RecordBytes<Record>(6, 40), RecordBytes<Record>(7, 3), RecordBytes<Record>(8, 120)};
const Records kAll = {kBase[0], kBase[1], kBase[2], kBase[3], kBase[4], kMore[0], kMore[1], kMore[2]};

void make(const std::string& path, const Records& records) { MakeFile(DataFile(small()), path, records); }

// Steps to record i (0-based); a status.
int stepTo(DataFile& f, size_t i) {
    unsigned char buf[200];
    uint32_t n = 0;
    int st = f.stepFirst(buf, sizeof buf, &n);
    while (st == kOk && i-- > 0) st = f.stepNext(buf, sizeof buf, &n);
    return st;
}

const std::string kRewritten = RecordBytes<Record>(40, 33);

struct Scenario {
    const char* name;
    std::function<void(const std::string& path)> prepare;  // on a healthy disk
    std::function<void(DataFile& f, std::vector<int>* st)> run;
    Records before, after;  // committed at the start; all of it done
};

const Scenario kScenarios[] = {
    {"InsertAndClose", [](const std::string& p) { make(p, kBase); },
     [](DataFile& f, std::vector<int>* st) {
         for (const std::string& r : kMore) st->push_back(f.insert(bytesOf(r), uint32_t(r.size())));
     },
     kBase, kAll},
    {"ShortenRewriteAndClose", [](const std::string& p) { make(p, kBase); },
     [](DataFile& f, std::vector<int>* st) {  // as a caller would, it stops at the first failure
         auto go = [st](int status) { return st->push_back(status), status == kOk; };
         go(stepTo(f, 1)) && go(f.update(bytesOf(kBase[1]), 30)) &&  // one header write
             go(stepTo(f, 3)) && go(f.update(bytesOf(kRewritten), uint32_t(kRewritten.size())));  // the journal
     },
     kBase, {kBase[0], kBase[1].substr(0, 30), kBase[2], kRewritten, kBase[4]}},
    {"RecoverTornTail",
     [](const std::string& p) {  // a writer died: three whole records and a torn one past the state
         make(p, kBase);
         const std::string state = support::ReadFile(p).substr(kStateOffset, kStateSize);
         ASSERT_TRUE(File::remove(p));
         make(p, kAll);
         std::string bytes = support::ReadFile(p).replace(kStateOffset, kStateSize, state);
         support::WriteFile(p, bytes + std::string(48, '\x5A'));
     },
     [](DataFile&, std::vector<int>*) {},
     kBase, kAll},
    {"RollBackJournal",
     [](const std::string& p) {  // a rewrite finished, but died before its journal went
         make(p, kBase);
         DataFile f(small());
         uint32_t pos = 0;
         ASSERT_EQ(f.open(p, {}), kOk);
         ASSERT_EQ(stepTo(f, 3), kOk);
         ASSERT_EQ(f.getPosition(&pos), kOk);
         ASSERT_EQ(f.update(bytesOf(kRewritten), uint32_t(kRewritten.size())), kOk);
         ASSERT_EQ(f.close(), kOk);
         RecordHeader old{33, 33, crc32c(0, bytesOf(kBase[3]), 33)};
         support::WriteFile(DataFile::journalPath(p), encodeJournal({offsetOf(pos), old, kBase[3]}));
     },
     [](DataFile&, std::vector<int>*) {}, kBase, kBase},
    {"Scan", [](const std::string& p) { make(p, kBase); },
     [](DataFile& f, std::vector<int>* st) {
         int last = 0;
         readAll(f, &last);
         st->push_back(last == kEndOfFile ? kOk : last);
     },
     kBase, kBase},
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

class Faults : public ::testing::TestWithParam<Scenario> {};

// Runs the scenario on a fresh file under `disk`; the statuses answered.
std::vector<int> runUnder(const Scenario& sc, const std::string& path, FailingDisk::Mode mode, uint64_t at, int error,
                          size_t keep, std::vector<DiskHooks::Op>* ops = nullptr) {
    std::vector<int> st;
    FailingDisk disk(mode, at, error, keep, {path, DataFile::journalPath(path)});
    {
        DataFile f(small());
        try {  // what is thrown, the request dispatcher answers as 18
            st.push_back(f.open(path, {}));
            if (st.back() == kOk) sc.run(f, &st);
        } catch (const std::system_error&) {
            st.push_back(kDiskError);
        }
        try {
            st.push_back(f.close());
        } catch (const std::system_error&) {
            st.push_back(kDiskError);
        }
    }
    if (mode == FailingDisk::Mode::Cut) disk.powerCut();
    if (ops) *ops = disk.ops();
    return st;
}

TEST_P(Faults, EveryCommittedRecordSurvivesEveryFaultPoint) {
    const Scenario& sc = GetParam();
    support::TempDir dir("ledisk");
    const std::string path = dir.path("f.dat"), journal = DataFile::journalPath(path);
    sc.prepare(path);
    const std::string start = support::ReadFile(path);
    const bool hasJournal = File::exists(journal);
    const std::string startJournal = hasJournal ? support::ReadFile(journal) : std::string();
    std::vector<DiskHooks::Op> ops;
    runUnder(sc, path, FailingDisk::Mode::Count, 0, 0, 0, &ops);

    struct Way {
        FailingDisk::Mode mode;
        int error;
        size_t keep;
    };
    const Way ways[] = {{FailingDisk::Mode::Fail, EIO, 0},     {FailingDisk::Mode::Fail, ENOSPC, 0},
                        {FailingDisk::Mode::Cut, 0, 0},        {FailingDisk::Mode::Cut, 0, 1},
                        {FailingDisk::Mode::Cut, 0, 3},        {FailingDisk::Mode::Cut, 0, size_t(-1)},
                        {FailingDisk::Mode::Throw, 0, 0}};
    for (uint64_t at = 1; at <= ops.size(); ++at) {
        for (const Way& w : ways) {
            if (w.error == ENOSPC && ops[at - 1] != DiskHooks::Op::Write) continue;
            if (w.mode == FailingDisk::Mode::Throw && ops[at - 1] != DiskHooks::Op::Read) continue;
            SCOPED_TRACE(testing::Message() << "call " << at << " of " << ops.size() << " (op "
                                            << int(ops[at - 1]) << "), " << (w.mode == FailingDisk::Mode::Cut ? "power cut keeping " : w.mode == FailingDisk::Mode::Throw ? "thrown " : "error ")
                                            << (w.mode == FailingDisk::Mode::Cut ? int(w.keep) : w.error));
            support::WriteFile(path, start);
            File::remove(journal);
            if (hasJournal) support::WriteFile(journal, startJournal);
            std::vector<int> st = runUnder(sc, path, w.mode, at, w.error, w.keep);
            for (int s : st) ASSERT_NE(s, kDamaged) << "an I/O error answered as damage";

            DataFile f;
            ASSERT_EQ(f.open(path, {}), kOk);
            int last = 0;
            Records got = readAll(f, &last);
            ASSERT_EQ(last, kEndOfFile);
            ASSERT_EQ(f.check(), kOk);
            ASSERT_GE(got.size(), sc.before.size());
            ASSERT_LE(got.size(), sc.after.size());
            for (size_t i = 0; i < got.size(); ++i)
                ASSERT_TRUE((i < sc.before.size() && got[i] == sc.before[i]) || got[i] == sc.after[i]) << "record " << i << ": " << got[i].size() << " bytes";
            bool allOk = std::all_of(st.begin(), st.end(), [](int s) { return s == kOk; });
            if (allOk && w.mode != FailingDisk::Mode::Cut) {
                ASSERT_EQ(got, sc.after) << "a failure answered as success";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Points, Faults, ::testing::ValuesIn(kScenarios),
                         [](const testing::TestParamInfo<Scenario>& i) { return std::string(i.param.name); });

// A disk that refuses every read reaching one byte, or lets the file be
// opened only for reading: Open answers for the file, not the disk, and
// changes nothing; a scan, and a /T pass (Step, then Update to a prefix),
// gets every record before the bad byte, in order, then 18.
TEST(Refusals, OpenAnswersForTheFileAndReadsStopAtTheBadByte) {
    struct Row {
        const char* name;
        uint64_t badFrom;
        size_t keep;                     // bytes of the file left; 0: all
        bool readOnlyWithJournal, update;
        int open;
    };
    const Row rows[] = {
        {"header unreadable", 0, 0, false, false, kDiskError},
        {"shorter than a header", 0, 300, false, false, kNotOurFile},
        {"read-only with a journal", ~uint64_t{0}, 0, true, false, kAccessDenied},
        // Stretches start at byte 512: the first ends at 2097664.
        {"bad in the first stretch", 1000003, 0, false, false, kOk},
        {"bad at the first stretch's last byte", 2097663, 0, false, false, kOk},
        {"bad in the second stretch", 3000001, 0, false, false, kOk},
        {"bad in the third stretch", 4500000, 0, false, false, kOk},
        {"updates, bad in the first stretch", 1000003, 0, false, true, kOk},
        {"updates, bad in the second stretch", 3000001, 0, false, true, kOk},
    };
    Records records;
    for (uint64_t i = 0, size = 0; size < 6000000; size += records.back().size() + 16, ++i)
        records.push_back(RecordBytes<Record>(i, 20 + (i * 997) % 1981));
    const std::string journalBytes =
        encodeJournal({kFileHeaderSize, {20, 20, crc32c(0, bytesOf(records[0]), 20)}, records[0]});
    support::TempDir dir("lerefuse");
    const std::string path = dir.path("f.dat"), journal = DataFile::journalPath(path);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        File::remove(path);
        File::remove(journal);
        MakeFile(DataFile(), path, records);
        if (row.keep) support::WriteFile(path, support::ReadFile(path).substr(0, row.keep));
        if (row.readOnlyWithJournal) support::WriteFile(journal, journalBytes);
        const std::string start = support::ReadFile(path);
        Records expected, updated = records;
        for (size_t i = 0, at = kFileHeaderSize; i < records.size() && at + 16 + records[i].size() <= row.badFrom; ++i) {
            expected.push_back(records[i]);
            if (row.update) updated[i].resize(records[i].size() / 2);
            at = recordEnd(at, uint32_t(records[i].size()));
        }
        {
            FailingDisk disk(FailingDisk::Mode::Count, 0, 0, 0, {path, journal});
            if (row.readOnlyWithJournal) disk.readOnly();
            disk.failReadsFrom(path, row.badFrom);
            DataFile f;
            const int opened = f.open(path, {});
            EXPECT_EQ(opened, row.open);
            if (opened != kOk) {
                EXPECT_EQ(support::ReadFile(path), start);
                EXPECT_EQ(File::exists(journal) ? support::ReadFile(journal) : "", row.readOnlyWithJournal ? journalBytes : "");
                continue;
            }
            Records got;
            std::vector<unsigned char> buf(4096);
            uint32_t n = 0;
            int st = f.stepFirst(buf.data(), 4096, &n);
            for (; st == kOk && (!row.update || f.update(buf.data(), n / 2) == kOk); st = f.stepNext(buf.data(), 4096, &n))
                got.emplace_back(reinterpret_cast<char*>(buf.data()), n);
            EXPECT_EQ(st, kDiskError);
            EXPECT_TRUE(got == expected) << got.size() << " records of " << expected.size();
            EXPECT_EQ(f.close(), kOk);
        }
        DataFile f;
        ASSERT_EQ(f.open(path, {}), kOk);
        int last = 0;
        EXPECT_TRUE(readAll(f, &last) == updated);
    }
}

}  // namespace
}  // namespace localengine

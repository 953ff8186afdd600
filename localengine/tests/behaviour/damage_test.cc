// Foreign and damaged files: whatever was done to the bytes, the engine
// answers with a status, and never hands out a wrong record as good.
#include "support.h"

namespace behaviour {
namespace {

using namespace localengine;

struct Variant {
    std::string what;
    std::string bytes;
};

std::vector<Bytes> sampleRecords() {
    std::vector<Bytes> records;
    for (uint32_t i = 0; i < 24; ++i) records.push_back(RecordBytes(i, (i * 53) % 190 + 1));
    records.push_back(RecordBytes(99, 1500));
    return records;
}

uint64_t nextRandom(uint64_t& state) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return state >> 33;
}

std::vector<Variant> damagedVariants(const std::string& good) {
    std::vector<Variant> out;
    const size_t n = good.size();
    out.push_back({"empty", {}});
    out.push_back({"zeros of the same size", std::string(n, '\0')});
    out.push_back({"zeros, 4096 bytes", std::string(4096, '\0')});
    // Every byte of the file header and the first records, then a sample.
    const auto next = [](size_t at) { return at < 1024 ? at + 1 : at + 7; };
    for (size_t cut = 0; cut < n; cut = next(cut)) {
        out.push_back({"truncated to " + std::to_string(cut), good.substr(0, cut)});
    }
    for (size_t at = 0; at < n; at = next(at)) {
        std::string b = good;
        b[at] = static_cast<char>(b[at] ^ (1 << (at * 3 % 8)));
        out.push_back({"bit flipped at " + std::to_string(at), b});
    }
    uint64_t state = 42;
    for (int i = 0; i < 40; ++i) {
        std::string b(nextRandom(state) % 8192, '\0');
        for (char& byte : b) byte = static_cast<char>(nextRandom(state));
        out.push_back({"random bytes #" + std::to_string(i), b});
    }
    // A good start followed by noise: the records' own checks must catch it.
    for (size_t keep : {16u, 64u, 128u, 256u, 512u, 1024u}) {
        std::string b = good;
        for (size_t i = keep; i < b.size(); ++i) b[i] = static_cast<char>(nextRandom(state));
        out.push_back({"noise after byte " + std::to_string(keep), b});
    }
    const std::string tail = good + good.substr(n / 2);
    out.push_back({"copy of its second half appended", tail});
    return out;
}

TEST_F(BehaviourTest, DamagedFilesGiveStatusesNeverWrongRecords) {
    const std::vector<Bytes> records = sampleRecords();
    MakeFile(EngineFile(), path("good"), records);
    const std::string good = support::ReadFile(path("good"));
    ASSERT_FALSE(good.empty());
    armWatchdog(600);

    size_t refusedAtOpen = 0;
    for (const Variant& v : damagedVariants(good)) {
        SCOPED_TRACE(v.what);
        support::WriteFile(path("bad"), v.bytes);
        EngineFile file;
        const int openStatus = file.open(path("bad"));
        ASSERT_TRUE(openStatus == kOk || openStatus == kDamaged || openStatus == kNotOurFile) << openStatus;
        if (openStatus != kOk) {
            ++refusedAtOpen;
            continue;
        }
        // Every record handed out as good must be the record that was written.
        bool complaint = false;
        size_t good_records = 0;
        for (uint16_t op = kOpStepFirst; good_records <= records.size(); op = kOpStepNext) {
            const Reply reply = file.step(op, 1u << 20);
            if (reply.status != kOk) {
                ASSERT_TRUE(reply.status == kEndOfFile || reply.status == kDamaged) << reply.status;
                complaint = reply.status == kDamaged;
                break;
            }
            ASSERT_LT(good_records, records.size()) << "more records than were written";
            ASSERT_TRUE(reply.data == records[good_records]) << "record " << good_records << " changed silently";
            ++good_records;
        }
        const int checkStatus = file.check();
        EXPECT_TRUE(checkStatus == kOk || checkStatus == kDamaged) << checkStatus;
        if (checkStatus == kOk && !complaint) {
            EXPECT_EQ(good_records, records.size()) << "records lost without a word";
        }
        if (complaint) {
            EXPECT_EQ(checkStatus, kDamaged) << "Check calls sound what Step called damaged";
        }
        EXPECT_EQ(file.close(), kOk);
    }
    armWatchdog(0);
    EXPECT_GT(refusedAtOpen, 0u);
}

}  // namespace
}  // namespace behaviour

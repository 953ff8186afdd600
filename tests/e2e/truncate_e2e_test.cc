// The /T scan, run for real on each target: records are rewritten without
// their trailing filler (nulls and blanks) but one byte, never below the
// minimum; what the engine stored is read back with recfile hex.
#include <filesystem>
#include <nlohmann/json.hpp>
#include <numeric>

#include "recmeter_text.h"

namespace e2e {
namespace {

class TruncateTest : public E2ETest {
protected:
    // The lengths of all records, added up, as recfile lists them.
    uint64_t TotalLength(const std::string& name) const {
        const std::vector<uint32_t> lengths = RecordLengths(path(name));
        return std::accumulate(lengths.begin(), lengths.end(), uint64_t{0});
    }
    // Makes a file of records given in hex.
    void MakeHex(const std::string& name, const std::vector<std::string>& records) const {
        std::vector<std::string> items;
        for (const auto& r : records) items.push_back("hex:" + r);
        Make(name, items);
    }
};

std::string Times(const std::string& bytes, size_t count) {
    std::string s;
    for (size_t i = 0; i < count; ++i) s += bytes;
    return s;
}

TEST_F(TruncateTest, TrimsTrailingFiller) {
    const struct {
        int minimum;
        std::vector<std::pair<std::string, std::string>> records;  // before, after
        int updated;
    } cases[] = {
        {4,
         {
             {"41424300000000000000", "41424300"},              // ABC + 7 nulls
             {"41424344454647202020", "4142434445464720"},      // ABCDEFG + 3 blanks
             {"41424344000000000000", "4142434400"},            // ABCD + 6 nulls
             {"4142434400200020", "4142434400"},                // nulls and blanks alike
             {"41424344454647484900", "41424344454647484900"},  // one filler byte: kept
             {"4142434400", "4142434400"},                      // already one
             {"414220204344", "414220204344"},                  // filler inside only
             {Times("20", 100), "20202020"},                    // all blanks: the minimum
         },
         5},
        {10,
         {
             {Times("00", 10), Times("00", 10)},  // not longer than the minimum
             {Times("00", 12), Times("00", 10)},
             {"414243" + Times("00", 9), "414243" + Times("00", 7)},
             {"4142434445464748494a4b4c2020", "4142434445464748494a4b4c20"},
         },
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.minimum);
        std::vector<std::string> before, after;
        for (const auto& record : c.records) {
            before.push_back(record.first);
            after.push_back(record.second);
        }
        std::string name = "data" + std::to_string(c.minimum) + ".dat";
        MakeHex(name, before);
        Result r = Run({name, "/T" + std::to_string(c.minimum)});
        uint32_t scanned = static_cast<uint32_t>(c.records.size());
        EXPECT_TRUE(Ran(
            r, 0, Truncating(c.minimum) + Scanning(name) + Report(scanned, 0, 0, ' ', c.updated),
            kBanner + kPress));
        EXPECT_EQ(HexLines(name), after);
    }
}

// A failed Update leaves its record as it was and is not counted; the scan
// goes on, and the run ends with 1, as it does when the engine refuses to
// close the file it changed. Another status ends the scan with the
// abnormal-termination line.
TEST_F(TruncateTest, EngineStatuses) {
    const std::vector<std::string> before{"41424300000000000000", "41424344000000000000",
                                          Times("20", 100)};
    const std::vector<std::string> trimmed{"41424300", "4142434400", "20202020"};
    const struct {
        const char* faults;
        std::string err_after_prompt;
        int abnormal;  // the status that ends the scan; 0: it runs to the end
        uint32_t scanned;
        int updated;
        std::vector<bool> trimmed;  // which records end up trimmed
        int refused = 0;            // Updates refused
        int exit_code = 0;
    } cases[] = {
        {"3#2=7", EngineError(7, 3), 0, 3, 2, {true, false, true}, 1, 1},
        {"3=7", Times(EngineError(7, 3), 3), 0, 3, 0, {false, false, false}, 3, 1},
        // 5 is one of the statuses that pass without a message.
        {"3#1=5", "", 0, 3, 2, {false, true, true}, 1, 1},
        {"1=7", EngineError(7, 1), 0, 3, 3, {true, true, true}, 0, 1},
        // a Close refused on a file that was not changed
        {"33=2,1=7", Corruption(2) + EngineError(7, 1), 2, 0, 0, {false, false, false}, 0, 1},
        // a scan cut short by a status ends with 1 too
        {"24#2=7", EngineError(7, 24), 7, 2, 2, {true, true, false}, 0, 1},
        {"24#1=5", "", 5, 1, 1, {true, false, false}, 0, 1},
        {"33=2", Corruption(2), 2, 0, 0, {false, false, false}, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.faults);
        MakeHex("data.dat", before);
        Result r = Run({"data.dat", "/T4"}, WithEnv({{"LOCALENGINE_FAULTS", c.faults}}));
        const std::string refused =
            c.refused ? Fmt("Updates refused by the engine: %d; those records were not changed.\n", c.refused) : "";
        const std::string abnormal =
            c.abnormal ? Fmt("Abnormal Termination, Status %d.\n", c.abnormal) : "";
        EXPECT_TRUE(Ran(r, c.exit_code,
                        Truncating(4) + Scanning("data.dat") + abnormal +
                            Report(c.scanned, 0, 0, ' ', c.updated),
                        kBanner + kPress + c.err_after_prompt + refused));
        std::vector<std::string> expected;
        for (size_t i = 0; i < before.size(); ++i)
            expected.push_back(c.trimmed[i] ? trimmed[i] : before[i]);
        EXPECT_EQ(HexLines("data.dat"), expected);
        std::filesystem::remove(path("data.dat"));
    }
}

// Truncation reads through the standard entry only: a record over 64000
// bytes answers 22 and ends the scan, with exit 1; the records after it stay
// as they are.
TEST_F(TruncateTest, LongRecordEndsTheScan) {
    Make("data.dat", {"10+5", "70000", "10+5"});
    std::vector<std::string> before = HexLines("data.dat");
    ASSERT_EQ(before.size(), 3u);
    Result r = Run({"data.dat", "/T4"});
    EXPECT_TRUE(Ran(r, 1,
                    Truncating(4) + Scanning("data.dat") + "Abnormal Termination, Status 22.\n" +
                        Report(1, 0, 0, ' ', 1),
                    kBanner + kPress));
    std::vector<std::string> after = HexLines("data.dat");
    EXPECT_EQ(after, (std::vector<std::string>{before[0].substr(0, 2 * 11), before[1], before[2]}));
}

// /T wins over /B; with /C the histogram header comes without rows and the
// sizes read 0; an empty file shows the counts only.
TEST_F(TruncateTest, WithOtherOptions) {
    const struct {
        const char* options;
        const char* records;
        std::string out_before_banner;
        std::string report;
    } cases[] = {
        {"/T4 /B1", "41424300000000000000", Granularity(16) + Truncating(4),
         Report(1, 0, 0, ' ', 1)},
        {"/T4 /C", "41424300000000000000", Truncating(4), Report(1, 0, 0, ' ', 1) + Histogram({})},
        {"/T4 /C", "", Truncating(4), Report(0, 0, 0, ' ', 0)},
    };
    int file_number = 0;
    for (const auto& c : cases) {
        std::string name = "data" + std::to_string(++file_number) + ".dat";
        SCOPED_TRACE(name);
        MakeHex(name, Words(c.records));
        EXPECT_TRUE(Ran(Run(Args(name, Words(c.options))), 0,
                        c.out_before_banner + Scanning(name) + c.report, kBanner + kPress));
        if (*c.records) {
            EXPECT_EQ(HexLines(name), std::vector<std::string>{"41424300"});
        }
    }
}

// /N: the scan runs as /T's would, with its spinner, but makes no Update:
// the file stays as it was to the byte (an Update fault rule never fires),
// and what the dry run foretells is what /T then does.
TEST_F(TruncateTest, DryRunForetellsTheRealRun) {
    Make("data.dat", {"10+5x1500", "100", "20+30x700", "hex:" + Times("20", 100)});
    const uint32_t scanned = 2202, shortened = 2201;
    const uint64_t freed = 1500 * 4 + 700 * 29 + 96;
    const std::string spinner = "-\b\\\b";
    std::filesystem::copy_file(path("data.dat"), path("copy.dat"));
    const struct {
        std::vector<std::string> options;
        const char* faults;
        std::string out_before_banner;
    } cases[] = {
        {{"/T4", "/N"}, "", kDryRun + Truncating(4)},
        {{"/n", "-T4", "/J=dry.json"}, "3=7", Truncating(4) + kDryRun},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.faults);
        Result r = Run(Args("data.dat", c.options),
                       *c.faults ? WithEnv({{"LOCALENGINE_FAULTS", c.faults}}) : ChildOptions{});
        EXPECT_TRUE(Ran(r, 0,
                        c.out_before_banner + Scanning("data.dat") +
                            DryRunReport(scanned, shortened, freed),
                        kBanner + kPress + spinner));
        EXPECT_EQ(RunCommand({"cmp", "data.dat", "copy.dat"}, dir()).exit_code, 0)
            << "the dry run changed the file";
    }
    nlohmann::json truncation = nlohmann::json::parse(ReadFile("dry.json"))["truncation"];
    EXPECT_EQ(truncation, (nlohmann::json{{"minimum", 4}, {"dryRun", true},
                                          {"updatedCount", shortened}, {"freedBytes", freed},
                                          {"undoJournal", nullptr}, {"journalEntries", nullptr},
                                          {"leftAloneCount", 0}, {"journalFailed", false}}));

    const uint64_t before = TotalLength("data.dat");
    EXPECT_TRUE(Ran(Run({"data.dat", "/T4"}), 0,
                    Truncating(4) + Scanning("data.dat") +
                        Report(scanned, 0, 0, ' ', static_cast<int>(shortened)),
                    kBanner + kPress + spinner));
    EXPECT_EQ(before - TotalLength("data.dat"), freed);
}

}  // namespace
}  // namespace e2e

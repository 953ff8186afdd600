// /J=FILE, run for real on each target: the JSON document agrees with the
// text report and with what recfile lists, standard output and standard
// error stay as they are without /J, the document says how the scan ended,
// and a document that cannot be written fails the run.
#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "recmeter_text.h"

namespace e2e {
namespace {

using nlohmann::json;

class JsonReportTest : public E2ETest {
protected:
    json ReadJson(const std::string& name) const { return json::parse(ReadFile(name)); }
    std::vector<uint32_t> Lengths(const std::string& name) const {
        std::vector<uint32_t> lengths;
        std::istringstream in(Recfile({"list", name}).out);
        for (uint64_t position, length; in >> position >> length;) {
            lengths.push_back(static_cast<uint32_t>(length));
        }
        return lengths;
    }
    // Runs with and without `json_option`: the two must print the same.
    Result RunBoth(std::vector<std::string> args, const std::string& json_option,
                   const RunOptions& options) const {
        Result without = Run(args, options);
        args.push_back(json_option);
        Result with = Run(args, options);
        EXPECT_EQ(with.out, without.out);
        EXPECT_EQ(with.err, without.err);
        EXPECT_EQ(with.exit_code, without.exit_code);
        return with;
    }
};

// Every record once, in recfile's order; one longer than the data buffer
// counts at the buffer's size with "+", and the largest size is marked.
TEST_F(JsonReportTest, AgreesWithTheTextReportAndTheFile) {
    Gen("data.dat", 3000, 20, 2000);
    Recfile({"add", "data.dat", "70000", "100x5"});
    const std::vector<uint32_t> lengths = Lengths("data.dat");
    const struct {
        const char* version;
        uint32_t buffer;
        const char* entry;
    } cases[] = {{"12.99", 64000, "standard"}, {"13.30", 258048, "extended"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        std::map<uint32_t, Row> rows;
        std::vector<uint32_t> sizes;
        uint64_t total = 0;
        bool marked = false;
        for (uint32_t length : lengths) {
            const uint32_t size = std::min(length, c.buffer);
            const bool mark = length > c.buffer;
            marked = marked || mark;
            rows.emplace(size, Row{size, mark ? '+' : ' ', 0}).first->second.count += 1;
            sizes.push_back(size);
            total += size;
        }
        std::sort(sizes.begin(), sizes.end());
        std::vector<Row> histogram;
        json expected_sizes = json::array();
        for (const auto& row : rows) {
            histogram.push_back(row.second);
            expected_sizes.push_back(
                {{"size", row.first}, {"count", row.second.count}, {"lowerBound", row.second.mark == '+'}});
        }
        const uint32_t count = static_cast<uint32_t>(lengths.size());
        Result r = RunBoth({"data.dat", "/C"}, "/J=out.json",
                           WithEnv({{"LOCALENGINE_VERSION", c.version}}));
        EXPECT_TRUE(Ran(r, 0,
                        Scanning("data.dat") +
                            Report(count, sizes.front(), sizes.back(), marked ? '+' : ' ') +
                            Histogram(histogram),
                        kBanner + kPress + "-\b\\\b|\b"));

        // The second case writes over the first one's document.
        const json report = ReadJson("out.json");
        EXPECT_EQ(report["schemaVersion"], 1);
        EXPECT_EQ(report["path"], "data.dat");
        EXPECT_EQ(report["engineVersion"]["status"], 0);
        EXPECT_EQ(report["engineVersion"]["entries"][0]["version"], std::stoi(c.version));
        EXPECT_EQ(report["engineVersion"]["entries"][0]["revision"], std::stoi(c.version + 3));
        EXPECT_EQ(report["readEntry"], c.entry);
        EXPECT_EQ(report["scanEnd"], "end");
        EXPECT_EQ(report["scanStatus"], 9);
        EXPECT_EQ(report["scannedCount"], count);
        EXPECT_TRUE(report["truncation"].is_null());
        EXPECT_EQ(report["smallestSize"], sizes.front());
        EXPECT_EQ(report["largestSize"], sizes.back());
        EXPECT_EQ(report["overflowSeen"], marked);
        EXPECT_EQ(report["countedRecords"], count);
        EXPECT_EQ(report["totalBytes"], total);
        EXPECT_EQ(report["totalIsLowerBound"], marked);
        EXPECT_DOUBLE_EQ(report["meanSize"].get<double>(), static_cast<double>(total) / count);
        auto rank = [&](uint64_t permille) { return sizes[(count * permille + 999) / 1000 - 1]; };
        EXPECT_EQ(report["percentiles"],
                  (json{{"p50", rank(500)}, {"p90", rank(900)}, {"p99", rank(990)},
                        {"p99_9", rank(999)}, {"max", sizes.back()}}));
        EXPECT_EQ(report["sizes"], expected_sizes);
    }
}

// Without /C the distribution is kept all the same; a status that stops
// the scan, in each scan, is named.
TEST_F(JsonReportTest, HowTheScanEnded) {
    Make("data.dat", {"100", "200", "300"});
    Make("empty.dat", {});
    const struct {
        std::vector<std::string> args;
        const char* faults;
        const char* scan_end;
        int scan_status;
        uint32_t scanned;
        uint32_t counted;
    } cases[] = {
        {{"data.dat"}, "", "end", 9, 3, 3},
        {{"empty.dat"}, "", "end", 9, 0, 0},
        {{"data.dat"}, "24#2=7", "status", 7, 2, 2},
        {{"data.dat", "/B1"}, "24#2=7", "status", 7, 2, 2},
        {{"data.dat", "/T4"}, "24#2=7", "status", 7, 2, 0},
        {{"data.dat"}, "33=2", "status", 2, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + " " + c.faults);
        RunBoth(c.args, "/J=out.json",
                *c.faults ? WithEnv({{"LOCALENGINE_FAULTS", c.faults}}) : RunOptions{});
        const json report = ReadJson("out.json");
        EXPECT_EQ(report["scanEnd"], c.scan_end);
        EXPECT_EQ(report["scanStatus"], c.scan_status);
        EXPECT_EQ(report["scannedCount"], c.scanned);
        EXPECT_EQ(report["countedRecords"], c.counted);
        EXPECT_EQ(report["smallestSize"].is_null(), c.scanned == 0);
        std::filesystem::remove(PathOf("out.json"));
    }
}

// The report is printed; then the document cannot be written (its folder
// does not exist): a message, exit code 1, and nothing left behind.
TEST_F(JsonReportTest, AFileThatCannotBeWritten) {
    Make("data.dat", {"10"});
    EXPECT_TRUE(Ran(Run({"data.dat", "/J=missing/out.json"}), 1,
                    Scanning("data.dat") + Started(10) + Report(1, 10, 10),
                    kBanner + kPress + "Unable to write JSON report to missing/out.json.\n"));
    EXPECT_FALSE(std::filesystem::exists(PathOf("missing")));
}

}  // namespace
}  // namespace e2e

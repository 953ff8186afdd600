// /J=FILE, run for real on each target: the JSON document agrees with the
// text report and with what recfile lists, standard output and standard
// error stay as they are without /J, the document says how the scan ended,
// and a document that cannot be written fails the run.
#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "recmeter_text.h"

namespace e2e {
namespace {

using nlohmann::json;

class JsonReportTest : public E2ETest {
protected:
    json ReadJson(const std::string& name) const { return json::parse(ReadFile(name)); }
    // Runs with and without `json_option`: the two must print the same.
    Result RunBoth(std::vector<std::string> args, const std::string& json_option,
                   const ChildOptions& options) const {
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
    const std::vector<uint32_t> lengths = RecordLengths(path("data.dat"));
    const struct {
        const char* version;
        uint32_t buffer;
        const char* entry;
    } cases[] = {{"12.99", 64000, "standard"}, {"13.30", 258048, "extended"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        std::map<uint32_t, Row> rows;
        std::map<uint32_t, uint32_t> lower_bounds;
        std::vector<uint32_t> sizes;
        uint64_t total = 0;
        bool marked = false;
        for (uint32_t length : lengths) {
            const uint32_t size = std::min(length, c.buffer);
            const bool mark = length > c.buffer;
            marked = marked || mark;
            rows.emplace(size, Row{size, mark ? '+' : ' ', 0}).first->second.count += 1;
            lower_bounds[size] += mark;
            sizes.push_back(size);
            total += size;
        }
        std::sort(sizes.begin(), sizes.end());
        std::vector<Row> histogram;
        json expected_sizes = json::array();
        for (const auto& row : rows) {
            histogram.push_back(row.second);
            expected_sizes.push_back({{"size", row.first},
                                      {"count", row.second.count},
                                      {"lowerBound", row.second.mark == '+'},
                                      {"lowerBoundCount", lower_bounds[row.first]}});
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
        EXPECT_EQ(report["lowerBoundRecords"], marked ? 1 : 0);
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
        bool status20 = false;  // the engine answered 20: the report comes all the same
    } cases[] = {
        {{"data.dat"}, "", "end", 9, 3, 3},
        {{"empty.dat"}, "", "end", 9, 0, 0},
        {{"data.dat"}, "24#2=7", "status", 7, 2, 2},
        {{"data.dat", "/B1"}, "24#2=7", "status", 7, 2, 2},
        {{"data.dat", "/T4"}, "24#2=7", "status", 7, 2, 0},
        {{"data.dat"}, "33=2", "status", 2, 0, 0},
        {{"data.dat", "/T4"}, "24#2=20", "status", 20, 2, 0, true},
        {{"data.dat"}, "1=20", "end", 9, 3, 3, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + " " + c.faults);
        RunBoth(c.args, "/J=out.json",
                *c.faults ? WithEnv({{"LOCALENGINE_FAULTS", c.faults}}) : ChildOptions{});
        const json report = ReadJson("out.json");
        EXPECT_EQ(report["scanEnd"], c.scan_end);
        EXPECT_EQ(report["scanStatus"], c.scan_status);
        EXPECT_EQ(report["endedByStatus20"], c.status20);
        EXPECT_EQ(report["scannedCount"], c.scanned);
        EXPECT_EQ(report["countedRecords"], c.counted);
        EXPECT_EQ(report["smallestSize"].is_null(), c.scanned == 0);
        std::filesystem::remove(path("out.json"));
    }
}

// A report that could not be written is refused before the file is opened,
// so a /T run changes nothing: a missing folder, a folder, a name that
// leaves no room in the path. So is one that would replace a file this
// program did not write (another data file, a page of someone else's); that
// file keeps every byte.
TEST_F(JsonReportTest, ATargetThatCannotBeWrittenStopsTheRunFirst) {
    Make("data.dat", {"10+5"});
    Make("b.dat", {"20"});
    WriteFile("notes.html", "<!DOCTYPE html>\n<title>notes</title>\n");
    std::filesystem::create_directory(path("sub"));
    const std::string before = ReadFile("data.dat");
    const std::string other = ReadFile("b.dat");
    std::vector<std::pair<std::string, bool>> targets = {  // and whether it is not ours
        {"missing/out.json", false}, {"sub", false}, {"b.dat", true}, {"notes.html", true}};
    if (windows()) targets.push_back({std::string(255, 'j'), false});  // past MAX_PATH
    for (const auto& [target, not_ours] : targets) {
        const std::string why = not_ours ? "The JSON report " + target +
                                               " would replace a file that is not a report of "
                                               "this program.\n"
                                         : "Unable to write JSON report to " + target + ".\n";
        EXPECT_TRUE(Ran(Run({"data.dat", "/T4", "/J=" + target}), 1,
                        Truncating(4) + Scanning("data.dat"), kBanner + kPress + why));
        EXPECT_EQ(ReadFile("data.dat"), before);
    }
    EXPECT_FALSE(std::filesystem::exists(path("missing")));
    EXPECT_EQ(ReadFile("b.dat"), other);
}

// Every name of the data file the system knows is refused as the report's
// target, before the file is opened; the file keeps every byte.
TEST_F(JsonReportTest, TheDataFileUnderAnyNameIsRefused) {
    Make("g.dat", {"10+5", "20"});
    std::filesystem::create_symlink("g.dat", path("link.dat"));
    std::filesystem::create_hard_link(path("g.dat"), path("hard.dat"));
    const std::string before = ReadFile("g.dat");
    const std::string folder = std::filesystem::path(dir()).filename().string();
    std::vector<std::string> aliases = {"link.dat", "hard.dat"};
    if (windows()) {
        std::string absolute = "Z:" + path("G.DAT");
        std::replace(absolute.begin(), absolute.end(), '/', '\\');
        aliases.insert(aliases.end(), {"G.DAT", "g.dat.", "g.dat ", "..\\" + folder + "\\g.dat",
                                       absolute, ".\\g.DaT"});
    } else {
        aliases.insert(aliases.end(), {"g.dat", "./g.dat", "../" + folder + "/g.dat", path("g.dat")});
    }
    for (const std::string& alias : aliases) {
        EXPECT_TRUE(Ran(Run({"g.dat", "/T4", "/J=" + alias}), 1, Truncating(4) + Scanning("g.dat"),
                        kBanner + kPress + "The JSON report " + alias +
                            " would overwrite the data file.\n"));
        EXPECT_EQ(ReadFile("g.dat"), before);
    }
}

// Where the document lands: a link is written through and stays; an empty
// file or a report of this program's is replaced; an unrelated FILE.tmp, or
// a data file of that name, is left alone; a device takes the document in
// place.
TEST_F(JsonReportTest, WhereTheDocumentLands) {
    Make("x.tmp", {"10"});
    const std::string data = ReadFile("x.tmp");
    WriteFile("out.json.tmp", "keep");
    WriteFile("x", "");
    std::filesystem::create_symlink("out.json", path("link.json"));
    const struct {
        const char* target;
        const char* written;  // the file that must hold the document
    } cases[] = {{"x", "x"}, {"out.json", "out.json"}, {"link.json", "out.json"}};
    for (const auto& c : cases) {
        EXPECT_EQ(Run({"x.tmp", "/J=" + std::string(c.target)}).exit_code, 0) << c.target;
        EXPECT_EQ(ReadJson(c.written)["path"], "x.tmp") << c.target;
    }
    EXPECT_TRUE(std::filesystem::is_symlink(path("link.json")));
    EXPECT_EQ(ReadFile("out.json.tmp"), "keep");
    EXPECT_EQ(ReadFile("x.tmp"), data);
    if (windows()) {
        EXPECT_EQ(Run({"x.tmp", "/J=NUL"}).exit_code, 0);
    } else {
        // The read end open first: the document fits the pipe's buffer.
        ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
        const int reader = open(path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
        EXPECT_EQ(Run({"x.tmp", "/J=fifo"}).exit_code, 0);
        char bytes[8192];
        const ssize_t got = read(reader, bytes, sizeof bytes);
        close(reader);
        EXPECT_NE(std::string(bytes, got > 0 ? got : 0).find("\"path\": \"x.tmp\""), std::string::npos);
        EXPECT_EQ(std::filesystem::status(path("fifo")).type(), std::filesystem::file_type::fifo);
    }
    // No temporary left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir()), {}), windows() ? 5 : 6);
}

}  // namespace
}  // namespace e2e

#include <gtest/gtest.h>

#include <cstring>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "in_process.h"
#include "report/html_report.h"

namespace {

using nlohmann::json;

struct Sizes {
    uint32_t size;
    uint32_t count;
    int mark;
};

json ReportOf(const std::vector<Sizes>& sizes, const RunTotals& totals) {
    ClearSizeEntries();
    for (const Sizes& s : sizes) {
        for (uint32_t i = 0; i < s.count; ++i) AddSizeEntry(s.size, s.mark);
    }
    runTotals = totals;
    std::string text;
    EXPECT_EQ(BuildJsonReport(&text), 0);
    EXPECT_EQ(text.back(), '\n');
    return json::parse(text);
}

// Nearest rank: the smallest size at or below which at least that share of
// the records lie; each row of 1000 records sits exactly on a boundary.
TEST(JsonReport, DistributionTotalsAndPercentiles) {
    ResetProgram();
    const struct {
        std::vector<Sizes> sizes;
        std::vector<uint32_t> percentiles;  // 50, 90, 99, 99.9, max
        uint64_t total;
    } cases[] = {
        {{{10, 500, 0}, {20, 400, 0}, {30, 90, 0}, {40, 9, 0}, {50, 1, 0}}, {10, 20, 30, 40, 50},
         5000 + 8000 + 2700 + 360 + 50},
        {{{10, 501, 0}, {20, 400, 0}, {30, 90, 0}, {40, 8, 0}, {50, 1, 0}}, {10, 20, 30, 40, 50},
         5010 + 8000 + 2700 + 320 + 50},
        {{{10, 499, 0}, {20, 401, 0}, {30, 90, 0}, {40, 10, 0}}, {20, 20, 30, 40, 40},
         4990 + 8020 + 2700 + 400},
        {{{7, 1, 0}}, {7, 7, 7, 7, 7}, 7},
        // Totals past 32 bits, and a marked size.
        {{{4000000000u, 3, 1}}, {4000000000u, 4000000000u, 4000000000u, 4000000000u, 4000000000u},
         12000000000u},
    };
    for (const auto& c : cases) {
        uint32_t count = 0;
        for (const Sizes& s : c.sizes) count += s.count;
        json report = ReportOf(c.sizes, RunTotals{count, 0, c.sizes.front().size,
                                                  c.sizes.back().size, c.sizes[0].mark, 0, 0, 9, 0});
        SCOPED_TRACE(report.dump());
        EXPECT_EQ(report["percentiles"],
                  (json{{"p50", c.percentiles[0]}, {"p90", c.percentiles[1]},
                        {"p99", c.percentiles[2]}, {"p99_9", c.percentiles[3]},
                        {"max", c.percentiles[4]}}));
        EXPECT_EQ(report["countedRecords"], count);
        EXPECT_EQ(report["totalBytes"].get<uint64_t>(), c.total);
        EXPECT_EQ(report["totalIsLowerBound"], c.sizes[0].mark != 0);
        EXPECT_DOUBLE_EQ(report["meanSize"].get<double>(), static_cast<double>(c.total) / count);
        ASSERT_EQ(report["sizes"].size(), c.sizes.size());
        for (size_t i = 0; i < c.sizes.size(); ++i) {
            EXPECT_EQ(report["sizes"][i],
                      (json{{"size", c.sizes[i].size},
                            {"count", c.sizes[i].count},
                            {"lowerBound", c.sizes[i].mark != 0},
                            {"lowerBoundCount", c.sizes[i].mark != 0 ? c.sizes[i].count : 0}}));
        }
    }
    // A size whose first record fitted and later ones did not: the mark is
    // the first record's, the count says how many were lower bounds.
    json report = ReportOf({{258048, 1, 0}, {258048, 3, 1}, {100, 2, 0}}, RunTotals{});
    EXPECT_EQ(report["sizes"][1], (json{{"size", 258048}, {"count", 4}, {"lowerBound", false},
                                        {"lowerBoundCount", 3}}));
    EXPECT_EQ(report["lowerBoundRecords"], 3);
}

// How the scan ended, the truncation's figures, and a run that found no
// record: no sizes, no mean, no percentiles.
TEST(JsonReport, ScanEndTruncationAndEmptyRuns) {
    ResetProgram();
    const struct {
        RunTotals totals;
        int truncateMin;
        int dryRun;
        const char* scanEnd;
        json scanStatus;
    } cases[] = {
        {RunTotals{0, 0, 0, 0, 0, 0, 0, 9, 0}, 0, 0, "end", 9},
        {RunTotals{1000, 0, 0, 0, 0, 0, 1, 0, 0}, 0, 0, "cancelled", nullptr},
        {RunTotals{2, 0, 0, 0, 1, 0, 0, 7, 0}, 0, 0, "status", 7},
        {RunTotals{5, 3, 0, 0, 0, 6000000000u, 0, 9, 0}, 4, 0, "end", 9},
        {RunTotals{5, 3, 0, 0, 0, 12, 0, 22, 0}, 4, 1, "status", 22},
        // The engine answered 20 mid-scan, or at the Close after a whole scan.
        {RunTotals{5, 3, 0, 0, 0, 12, 0, 20, 1}, 4, 0, "status", 20},
        {RunTotals{6, 3, 0, 0, 0, 12, 0, 9, 1}, 4, 0, "end", 9},
    };
    for (const auto& c : cases) {
        runOptions.truncateMin = c.truncateMin;
        runOptions.dryRun = c.dryRun;
        json report = ReportOf({}, c.totals);
        SCOPED_TRACE(report.dump());
        EXPECT_EQ(report["schemaVersion"], JSON_SCHEMA_VERSION);
        EXPECT_EQ(report["scanEnd"], c.scanEnd);
        EXPECT_EQ(report["scanStatus"], c.scanStatus);
        EXPECT_EQ(report["endedByStatus20"], c.totals.endedByStatus20 != 0);
        EXPECT_EQ(report["scannedCount"], c.totals.scannedCount);
        EXPECT_TRUE(report["probe"].is_null());
        if (c.truncateMin == 0) {
            EXPECT_TRUE(report["truncation"].is_null());
        } else {
            EXPECT_EQ(report["truncation"],
                      (json{{"minimum", c.truncateMin}, {"dryRun", c.dryRun != 0},
                            {"updatedCount", c.totals.updatedCount},
                            {"freedBytes", c.totals.freedBytes}, {"undoJournal", nullptr},
                            {"journalEntries", nullptr}, {"leftAloneCount", 0},
                            {"journalFailed", false}}));
            EXPECT_EQ(report["readEntry"], "standard");
        }
        EXPECT_EQ(report["smallestSize"].is_null(), c.totals.scannedCount == 0);
        EXPECT_EQ(report["overflowSeen"], c.totals.overflowSeen != 0);
        EXPECT_TRUE(report["meanSize"].is_null());
        EXPECT_TRUE(report["percentiles"].is_null());
        EXPECT_EQ(report["sizes"], json::array());
        EXPECT_EQ(report["totalBytes"], 0);
    }
    // /B's probe, when the scan used it: /T's scan never does.
    runOptions.probeMegabytes = 2;
    runOptions.granularity = 32;
    EXPECT_TRUE(ReportOf({}, RunTotals{})["probe"].is_null());
    runOptions.truncateMin = 0;
    EXPECT_EQ(ReportOf({}, RunTotals{})["probe"], (json{{"megabytes", 2}, {"granularity", 32}}));
    // A restore (/R) says what it did.
    runOptions.probeMegabytes = 0;
    strcpy(runOptions.restorePath, "j.undo");
    RunTotals restored{};
    restored.restoredCount = 3;
    restored.alreadyRestoredCount = 2;
    restored.leftAloneCount = 1;
    EXPECT_EQ(ReportOf({}, restored)["restore"],
              (json{{"undoJournal", "j.undo"}, {"dryRun", false}, {"restoredCount", 3},
                    {"alreadyRestoredCount", 2}, {"leftAloneCount", 1}, {"refusedCount", 0},
                    {"journalFailed", false}}));
    runOptions.restorePath[0] = '\0';
}

// Whatever bytes the path holds, it comes out as a string: what is not
// UTF-8 becomes U+FFFD, the rest as it is.
TEST(JsonReport, PathsAsStrings) {
    ResetProgram();
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"orders.dat", "orders.dat"},
        {"caf\xc3\xa9\\\"q\".dat", "caf\xc3\xa9\\\"q\".dat"},
        {"caf\xe9.dat", "caf\xef\xbf\xbd.dat"},
        {"\x01\xff", "\x01\xef\xbf\xbd"},
    };
    for (const auto& c : cases) {
        snprintf(runOptions.path, sizeof runOptions.path, "%s", c.path);
        EXPECT_EQ(ReportOf({}, RunTotals{})["path"], c.expected);
    }
}

TEST(HtmlReport, WhichNamesGetAPage) {
    for (const char* path : {"r.html", "r.htm", "R.HTML", "dir.json/r.HtM", ".html"}) {
        EXPECT_TRUE(ReportIsHtml(path)) << path;
    }
    for (const char* path : {"r.json", "r.html.json", "rhtml", "r.htmx", "r.ht", "r.\x0eTML"}) {
        EXPECT_FALSE(ReportIsHtml(path)) << path;
    }
}

// A path that holds markup shows as text and cannot end the element that
// carries the JSON document, which still parses to the same report.
TEST(HtmlReport, APathWithMarkup) {
    ResetProgram();
    snprintf(runOptions.path, sizeof runOptions.path, "%s", "a</script><b x=\"&\">.dat");
    std::string text, page;
    ASSERT_EQ(BuildJsonReport(&text), 0);
    ASSERT_EQ(BuildHtmlReport(text, &page), 0);
    EXPECT_NE(page.find("<title>Record lengths: a&lt;/script&gt;&lt;b x=&quot;&amp;&quot;&gt;.dat</title>"),
              std::string::npos);
    const std::string tag = "id=\"recmeter-report\">";
    const size_t at = page.find(tag) + tag.size();
    EXPECT_EQ(page.find("</script>"), page.rfind("</script>"));
    EXPECT_EQ(json::parse(page.substr(at, page.find("</script>") - at)), json::parse(text));
    EXPECT_EQ(BuildHtmlReport("{", &page), 1);
}

// A run the engine ended with status 20 says so before the figures, even
// where its scan had reached the end of the file.
TEST(HtmlReport, EndedByStatus20) {
    ResetProgram();
    json report = ReportOf({}, RunTotals{3, 0, 0, 0, 0, 0, 0, 9});
    report["endedByStatus20"] = true;
    std::string page;
    ASSERT_EQ(BuildHtmlReport(report.dump(), &page), 0);
    EXPECT_LT(page.find("status 20 (not loaded)"), page.find("<table id=\"figures\">"));
}

}  // namespace

// /J=FILE.html opened in a real browser (Debian's chromium-headless-shell):
// the page shows the figures of the JSON report of the same run and carries
// that report byte for byte; with scripts disabled its histogram has a bar
// for each bin of its table; a screenshot of it is not blank.
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>

#include "recmeter_text.h"

namespace e2e {
namespace {

using nlohmann::json;

const char kBrowser[] = "/usr/bin/chromium-headless-shell";
const uint32_t kLimits[] = {64000, 258048};

// The distinct byte values of a PNG's inflated pixel rows: a blank page
// gives a handful (its one colour and the row filters), text and charts
// give hundreds.
int DistinctPixelBytes(const std::string& png) {
    auto be32 = [&](size_t at) {
        return uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 |
               uint32_t(uint8_t(png[at + 2])) << 8 | uint8_t(png[at + 3]);
    };
    std::string data;
    uLongf size = 0;
    for (size_t at = 8; at + 12 <= png.size(); at += 12 + be32(at)) {
        if (png.compare(at + 4, 4, "IHDR") == 0) size = be32(at + 12) * (1 + uLongf(be32(at + 8)) * 4);
        if (png.compare(at + 4, 4, "IDAT") == 0) data += png.substr(at + 8, be32(at));
    }
    std::string pixels(size, '\0');
    if (uncompress(reinterpret_cast<Bytef*>(&pixels[0]), &size,
                   reinterpret_cast<const Bytef*>(data.data()), data.size()) != Z_OK) {
        return 0;
    }
    std::set<uint8_t> seen(pixels.begin(), pixels.begin() + size);
    return int(seen.size());
}

// Every match of `pattern` in `text`, each as its groups.
std::vector<std::vector<std::string>> Matches(const std::string& text, const std::string& pattern) {
    std::vector<std::vector<std::string>> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it) {
        std::vector<std::string> groups;
        for (size_t i = 1; i < it->size(); ++i) groups.push_back((*it)[i]);
        found.push_back(groups);
    }
    return found;
}

// The records of a size that did not fit (documents that do not count them
// say whether the first one did).
uint64_t Over(const json& size) {
    return size.value("lowerBoundCount", size["lowerBound"].get<bool>() ? size["count"].get<uint64_t>() : 0);
}

// What a figure of the page must say, from the JSON report alone.
std::string Expected(const json& report, const std::string& key) {
    uint64_t over = 0, bytes = 0, below = 0;
    for (const json& s : report["sizes"]) {
        over += Over(s);
        bytes += s["size"].get<uint64_t>() * s["count"].get<uint64_t>();
    }
    if (key == "lowerBoundRecords") return std::to_string(report.value("lowerBoundRecords", over));
    if (key == "bytesHalf") {
        for (const json& s : report["sizes"]) {
            below += s["size"].get<uint64_t>() * s["count"].get<uint64_t>();
            if (below * 2 >= bytes) return s["size"].dump();
        }
    }
    for (const char* part : {"percentiles", "truncation"}) {
        if (report[part].contains(key)) return report[part][key].dump();
    }
    const json& value = report[key];
    if (value.is_number_float()) return Fmt("%.1f", value.get<double>());
    return value.is_string() ? value.get<std::string>() : value.dump();
}

class HtmlReportTest : public E2ETest {
protected:
    void SetUp() override {
        if (std::filesystem::exists(kBrowser)) return;
        if (std::getenv("RECMETER_E2E_REQUIRE_BROWSER") != nullptr) FAIL() << "no " << kBrowser;
        GTEST_SKIP() << "no " << kBrowser << " (Debian's chromium-headless-shell)";
    }
    // The browser on the test folder's `page`, with a profile of its own.
    std::string Browse(const std::string& page, const std::vector<std::string>& args) {
        std::vector<std::string> argv{kBrowser, "--no-sandbox", "--disable-gpu",
                                      "--disable-background-networking", "--no-first-run",
                                      "--disable-component-update", "--disable-sync",
                                      "--user-data-dir=" + path("profile" + std::to_string(++profiles_))};
        argv.insert(argv.end(), args.begin(), args.end());
        argv.push_back("file://" + path(page));
        Result r = RunCommand(argv, dir());
        EXPECT_EQ(r.exit_code, 0) << r;
        return r.out;
    }
    int profiles_ = 0;
};

TEST_F(HtmlReportTest, TheBrowserShowsTheReport) {
    Make("few.dat", {"1", "100x3", "200", "70000"});
    Gen("many.dat", 3000, 10, 5000);
    Recfile({"add", "many.dat", "70000", "300000x2"});
    Make("empty.dat", {});
    Make("filler.dat", {"100+20x5", "50"});
    Make("long.dat", {"10x999", "20", "10x4000"});
    Make("cut.dat", {"100+20x5", "70000", "50"});
    const struct {
        const char* file;
        std::vector<std::string> options;
        const char* version;
        bool cancelled;  // Esc waiting before the scan: native only
        int exit_code = 0;
    } cases[] = {
        {"few.dat", {}, "12.99", false},       {"many.dat", {"/C"}, "12.99", false},
        {"many.dat", {}, "13.30", false},      {"empty.dat", {}, "13.30", false},
        {"filler.dat", {"/T4", "/N"}, "13.30", false}, {"long.dat", {}, "13.30", true},
        {"many.dat", {"/B1"}, "13.30", false},         {"cut.dat", {"/T4", "/N"}, "13.30", false, 1},
    };
    for (const auto& c : cases) {
        if (c.cancelled && windows()) continue;
        SCOPED_TRACE(std::string(c.file) + " " + ::testing::PrintToString(c.options) + " " + c.version);
        for (const char* name : {"r.json", "R.Html"}) {
            std::vector<std::string> args = Args(c.file, c.options);
            args.push_back(std::string("/J=") + name);
            ChildOptions options = c.cancelled ? OnPty({{"", "\x1b"}}) : ChildOptions{};
            options.env = {{"LOCALENGINE_VERSION", c.version}};
            if (c.cancelled) {
                args.insert(args.begin(), {"sh", "-c", "sleep 0.5; exec \"$0\" \"$@\"", ProgramPath()});
            }
            const Result r = c.cancelled ? RunCommand(args, dir(), options) : Run(args, options);
            ASSERT_EQ(r.exit_code, c.exit_code) << r;
        }
        const std::string text = ReadFile("r.json");
        const json report = json::parse(text);
        const std::string page = ReadFile("R.Html");
        EXPECT_NE(page.find("<script type=\"application/json\" id=\"recmeter-report\">" + text + "</script>"),
                  std::string::npos);
        EXPECT_EQ(Matches(page, "src=|href=(?!\"#)").size(), 0u) << "the page names something to fetch";
        EXPECT_NE(page.find("<meta charset=\"utf-8\">\n<meta name=\"generator\" content=\"Recmeter\">\n"),
                  std::string::npos);

        const std::string dom = Browse("R.Html", {"--dump-dom"});
        const std::string tag = "id=\"recmeter-report\">";
        const size_t at = dom.find(tag);
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(json::parse(dom.substr(at + tag.size(), dom.find("</script>", at) - at - tag.size())), report);
        std::set<std::string> keys;
        for (const auto& figure : Matches(dom, "<span data-key=\"(\\w+)\">([^<]*)</span>")) {
            EXPECT_EQ(figure[1], Expected(report, figure[0])) << figure[0];
            keys.insert(figure[0]);
        }
        const bool counted = report["countedRecords"] != 0;
        EXPECT_EQ(Matches(dom, "(^|[^\\d.])1(</span>)? (bytes|records)").size(), 0u);
        const json& probe = report["probe"];
        EXPECT_NE(dom.find(probe.is_null() ? "counted at the buffer"
                                           : "to within " + probe["granularity"].dump() + " bytes"),
                  std::string::npos);
        // A scan that stopped early says so before the figures, and after how many records.
        const size_t ended = dom.find("<p id=\"ended\"");
        EXPECT_EQ(ended < dom.find("id=\"figures\""), report["scanEnd"] != "end");
        if (ended != std::string::npos) {
            EXPECT_NE(dom.find("after " + report["scannedCount"].dump() + " record", ended), std::string::npos);
        }
        EXPECT_EQ(keys.size(), 8 + (report["smallestSize"].is_null() ? 0 : 2) + (counted ? 6 : 0) +
                                   (report["truncation"].is_null() ? 0 : 2) + (report["scanEnd"] == "status"));

        // The table's bins hold every size, none across a buffer limit, each
        // one size or at most about 9% wide.
        const auto rows = Matches(dom, "<tr><td>(\\d+)</td><td>(\\d+)</td><td>(\\d+)</td><td>(\\d+)</td>");
        const json& sizes = report["sizes"];
        if (sizes.size() <= 40) {
            EXPECT_EQ(rows.size(), sizes.size());
        }
        size_t row = 0, exact_bars = 0, over_bars = 0;
        for (const auto& cells : rows) {
            const uint64_t first = std::stoull(cells[0]), last = std::stoull(cells[1]);
            EXPECT_LE(last - first, first * 0.0906) << first;
            for (uint32_t limit : kLimits) EXPECT_FALSE(first < limit && last >= limit) << first;
            uint64_t records = 0, over = 0;
            for (; row < sizes.size() && sizes[row]["size"] <= last; ++row) {
                EXPECT_GE(sizes[row]["size"], first);
                records += sizes[row]["count"].get<uint64_t>();
                over += Over(sizes[row]);
            }
            EXPECT_EQ(cells[2], std::to_string(records)) << first;
            EXPECT_EQ(cells[3], std::to_string(over)) << first;
            exact_bars += records > over;
            over_bars += over != 0;
        }
        EXPECT_EQ(row, sizes.size());

        // Scripts disabled: the page in a sandboxed frame, counted from outside.
        size_t limits = 0;
        for (uint32_t limit : kLimits) {
            limits += !sizes.empty() && sizes.front()["size"] <= limit && sizes.back()["size"] >= limit;
        }
        WriteFile("frame.html",
                  "<iframe sandbox=\"allow-same-origin\" src=\"R.Html\" onload=\"var d=this.contentDocument;"
                  "document.body.setAttribute('data-found',['#histogram .lin rect.exact','#histogram .lin "
                  "rect.over','#histogram .lin text.overcount','#histogram line.limit','script:not([type])'].map(function(s){return "
                  "d.querySelectorAll(s).length}).join(' '))\"></iframe>");
        EXPECT_EQ(Matches(Browse("frame.html", {"--allow-file-access-from-files", "--dump-dom"}),
                          "data-found=\"([\\d ]+)\"")[0][0],
                  Fmt("%zu %zu %zu %zu 0", exact_bars, over_bars, over_bars, limits));

        Browse("R.Html", {"--hide-scrollbars", "--window-size=1000,1400", "--screenshot=" + path("shot.png")});
        EXPECT_GT(DistinctPixelBytes(ReadFile("shot.png")), 32);
    }
}

// A run over several files: the table of the files first, each marked in
// words where it needs a look and linked to its section, a section that
// folds for each file read, ids unique across the sections, the run's one
// document embedded; dark and light schemes both draw the page.
TEST_F(HtmlReportTest, ThePageOfSeveralFiles) {
    Make("big.dat", {"100", "70000"});
    Make("cut.dat", {"10x5"});
    for (const char* name : {"r.json", "r.html"}) {
        const Result r = Run({"big.dat", "cut.dat", "missing.dat", std::string("/J=") + name},
                             WithEnv({{"LOCALENGINE_FAULTS", "24#4=2"}}));
        ASSERT_EQ(r.exit_code, 1) << r;
    }
    const std::string page = ReadFile("r.html");
    EXPECT_EQ(Matches(page, "src=|href=(?!\"#)").size(), 0u) << "the page names something to fetch";
    const std::string dom = Browse("r.html", {"--dump-dom"});
    const size_t table = dom.find("<table id=\"summary\""), sections = dom.find("<details");
    EXPECT_LT(table, sections);
    const struct {
        const char* path;
        const char* cells;  // the row's first cell, how the file ended and its notes
    } rows[] = {
        {"big.dat", "<a href=\"#file-0\">big.dat</a></td><td>2</td>.*<td>end of file</td><td>"
                    "<strong>records over a buffer</strong>"},
        {"cut.dat", "<a href=\"#file-1\">cut.dat</a></td><td>2</td>.*<td>status 2</td><td>"
                    "<strong>ended early</strong>"},
        {"missing.dat", "missing.dat</td>.*<td>not opened: 12</td><td><strong>not read</strong>"},
    };
    const std::string summary = dom.substr(table, sections - table);
    for (const auto& row : rows) {
        const std::string marked = std::string("<tr class=\"marked\"><td>") + row.cells;
        EXPECT_EQ(Matches(summary, marked + "</td></tr>").size(), 1u) << row.path;
    }
    for (const char* section : {"<details id=\"file-0\" open=\"\">\n<summary><h2>big.dat</h2>",
                                "<details id=\"file-1\" open=\"\">\n<summary><h2>cut.dat</h2>"}) {
        EXPECT_NE(dom.find(section), std::string::npos) << section;
    }
    EXPECT_EQ(dom.find("<details id=\"file-2\""), std::string::npos);
    EXPECT_LT(dom.find("id=\"ended-1\""), dom.find("id=\"histogram-1\""));
    std::set<std::string> ids;
    for (const auto& id : Matches(dom, " id=\"([^\"]+)\"")) {
        EXPECT_TRUE(ids.insert(id[0]).second) << id[0];
    }
    const std::string tag = "id=\"recmeter-report\">";
    const size_t at = dom.find(tag) + tag.size();
    EXPECT_EQ(json::parse(dom.substr(at, dom.find("</script>", at) - at)),
              json::parse(ReadFile("r.json")));

    for (const char* scheme : {"1", "0"}) {  // light, dark
        Browse("r.html", {"--hide-scrollbars", "--window-size=1000,2400",
                          std::string("--blink-settings=preferredColorScheme=") + scheme,
                          "--screenshot=" + path(std::string("shot") + scheme + ".png")});
        EXPECT_GT(DistinctPixelBytes(ReadFile(std::string("shot") + scheme + ".png")), 32);
    }
    EXPECT_NE(ReadFile("shot0.png"), ReadFile("shot1.png"));
}

}  // namespace
}  // namespace e2e

// The report page. It is made from the JSON report alone, so the two always
// agree; the JSON library throws, so everything that touches it runs inside
// BuildHtmlReport's try. The page fetches nothing and runs no script: the
// charts are SVG written here, a bar's value shows on hover through its SVG
// title, and the linear/log switch is a checkbox and a style rule.
#include "report/html_report.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <vector>

namespace {

using Json = nlohmann::ordered_json;

// Up to this many distinct sizes the histogram has a bar for each; above it,
// bins on a logarithmic length axis, BINS_PER_DOUBLING to each doubling of
// the length: bin k starts at ceil(2^(k/8)) bytes, and the buffer limits
// start bins of their own, so the records counted at a limit stand apart.
constexpr size_t EXACT_BARS_MAX = 40;
constexpr int BINS_PER_DOUBLING = 8;
const uint64_t BUFFER_LIMITS[] = {64000, 258048};

// The charts' frame, in SVG user units.
constexpr double WIDTH = 900, HEIGHT = 280, LEFT = 70, RIGHT = 20, TOP = 16, BOTTOM = 50;
constexpr double PLOT_WIDTH = WIDTH - LEFT - RIGHT, PLOT_HEIGHT = HEIGHT - TOP - BOTTOM;
// The least height and width of a bar of records that did not fit the buffer.
constexpr double OVER_SIDE_MIN = 8;

struct Size {
    uint64_t size;
    uint64_t count;
    uint64_t over;  // records of this size that were only a lower bound
};

// Sizes first..last, inclusive.
struct Bin {
    uint64_t first;
    uint64_t last;
    uint64_t exact;
    uint64_t over;
    uint64_t bytes;
};

struct Axis {  // lengths lo..hi on a log axis
    double lo;
    double hi;
};

std::string Number(uint64_t value) { return std::to_string(value); }

// "1 byte", "2 bytes": a count and its unit.
std::string Units(uint64_t value, const char* unit) {
    return Number(value) + " " + unit + (value == 1 ? "" : "s");
}

// The unit after a figure shown on its own, with the space before it.
std::string UnitAfter(const Json& value, const char* unit) {
    return std::string(" ") + unit + (value.is_number_integer() && value == 1 ? "" : "s");
}

std::string Fixed(double value, int decimals) {
    char text[64];
    snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void AppendEscaped(std::string* page, const std::string& text) {
    for (char c : text) {
        switch (c) {
            case '&': *page += "&amp;"; break;
            case '<': *page += "&lt;"; break;
            case '>': *page += "&gt;"; break;
            case '"': *page += "&quot;"; break;
            default: *page += c;
        }
    }
}

std::vector<Size> ReadSizes(const Json& report) {
    std::vector<Size> sizes;
    for (const Json& entry : report["sizes"]) {
        sizes.push_back(Size{entry["size"].get<uint64_t>(), entry["count"].get<uint64_t>(),
                             entry["lowerBoundCount"].get<uint64_t>()});
    }
    return sizes;
}

// The first bin edge after `edge`: the next ceil(2^(k/8)) or buffer limit.
uint64_t NextEdge(uint64_t edge) {
    uint64_t next = 1;
    for (int k = edge == 0 ? 0 : int(BINS_PER_DOUBLING * std::log2(double(edge))) - 1; next <= edge;
         ++k) {
        next = static_cast<uint64_t>(std::ceil(std::exp2(double(k) / BINS_PER_DOUBLING)));
    }
    for (uint64_t limit : BUFFER_LIMITS) {
        if (limit > edge && limit < next) next = limit;
    }
    return next;
}

// The bins that hold records, in ascending order.
std::vector<Bin> MakeBins(const std::vector<Size>& sizes, bool exact) {
    std::vector<Bin> bins;
    uint64_t edge = 0, next = 1;  // the bin edge..next-1
    for (const Size& s : sizes) {
        if (exact) {
            bins.push_back(Bin{s.size, s.size, 0, 0, 0});
        } else {
            bool fresh = bins.empty();
            while (s.size >= next) {
                edge = next;
                next = NextEdge(edge);
                fresh = true;
            }
            if (fresh) bins.push_back(Bin{edge, next - 1, 0, 0, 0});
        }
        Bin& bin = bins.back();
        bin.exact += s.count - s.over;
        bin.over += s.over;
        bin.bytes += s.size * s.count;
    }
    return bins;
}

double X(const Axis& axis, double length) {
    return LEFT + PLOT_WIDTH * (std::log2(length + 1) - std::log2(axis.lo + 1)) /
                      (std::log2(axis.hi + 1) - std::log2(axis.lo + 1));
}

void OpenSvg(std::string* page, const char* id, const char* label) {
    *page += "<svg id=\"";
    *page += id;
    *page += "\" viewBox=\"0 0 " + Fixed(WIDTH, 0) + " " + Fixed(HEIGHT, 0) +
             "\" role=\"img\" aria-label=\"";
    *page += label;
    *page += "\">\n";
}

void Text(std::string* page, double x, double y, const char* anchor, const std::string& text,
          const char* cls = "tick") {
    *page += "<text class=\"" + std::string(cls) + "\" x=\"" + Fixed(x, 1) + "\" y=\"" +
             Fixed(y, 1) + "\" text-anchor=\"" + anchor + "\">" + text + "</text>\n";
}

void Line(std::string* page, const char* cls, double x1, double y1, double x2, double y2) {
    *page += "<line class=\"" + std::string(cls) + "\" x1=\"" + Fixed(x1, 1) + "\" y1=\"" +
             Fixed(y1, 1) + "\" x2=\"" + Fixed(x2, 1) + "\" y2=\"" + Fixed(y2, 1) + "\"/>\n";
}

// The line of buffer limit i, at x.
void LimitMark(std::string* page, int i, double x) {
    Line(page, "limit", x, TOP, x, TOP + PLOT_HEIGHT);
    Text(page, x - 3, TOP + 10 + 13 * i, "end", Number(BUFFER_LIMITS[i]) + "-byte buffer", "limit");
}

// Ticks at the powers of ten on a log length axis, and the buffer limits.
void LengthAxis(std::string* page, const Axis& axis, uint64_t smallest, uint64_t largest) {
    Line(page, "axis", LEFT, TOP + PLOT_HEIGHT, LEFT + PLOT_WIDTH, TOP + PLOT_HEIGHT);
    for (double tick = 1; tick <= axis.hi; tick *= 10) {
        if (tick < axis.lo) continue;
        Line(page, "grid", X(axis, tick), TOP, X(axis, tick), TOP + PLOT_HEIGHT);
        // 1, 10, 100, 1k ... 1G: decimal prefixes keep the labels apart.
        const char* prefix[] = {"", "k", "M", "G"};
        int power = int(std::lround(std::log10(tick)));
        Text(page, X(axis, tick), TOP + PLOT_HEIGHT + 16, "middle",
             Number(uint64_t(std::lround(std::pow(10, power % 3)))) + prefix[power / 3]);
    }
    for (int i = 0; i < 2; ++i) {
        const uint64_t limit = BUFFER_LIMITS[i];
        if (limit < smallest || limit > largest) continue;
        LimitMark(page, i, X(axis, limit));
    }
    Text(page, LEFT + PLOT_WIDTH / 2, HEIGHT - 8, "middle", "record length, bytes (log scale)",
         "label");
}

void Bar(std::string* page, const char* cls, double x, double width, double bottom, double height,
         const std::string& title) {
    *page += "<rect class=\"" + std::string(cls) + "\" x=\"" + Fixed(x, 2) + "\" y=\"" +
             Fixed(bottom - height, 2) + "\" width=\"" + Fixed(width, 2) + "\" height=\"" +
             Fixed(height, 2) + "\"><title>" + title + "</title></rect>\n";
}

std::string Range(const Bin& bin) {
    return bin.first == bin.last ? Number(bin.first)
                                 : Number(bin.first) + "&#8211;" + Number(bin.last);
}

void Histogram(std::string* page, const std::vector<Bin>& bins, bool exact, const Axis& axis,
               uint64_t smallest, uint64_t largest) {
    uint64_t tallest = 0;
    for (const Bin& bin : bins) tallest = std::max(tallest, bin.exact + bin.over);
    *page += "<input type=\"checkbox\" id=\"logcounts\"><label for=\"logcounts\"> counts on a log "
             "scale</label>\n";
    OpenSvg(page, "histogram", "histogram of record lengths");
    const double bottom = TOP + PLOT_HEIGHT;
    const double slot = PLOT_WIDTH / bins.size();
    for (int logScale = 0; logScale < 2; ++logScale) {
        *page += logScale ? "<g class=\"log\">\n" : "<g class=\"lin\">\n";
        double labelEnd = 0;  // where the last count of those that did not fit ends
        for (size_t index = 0; index < bins.size(); ++index) {
            const Bin& bin = bins[index];
            double x = LEFT + slot * (index + 0.1), width = slot * 0.8;
            if (!exact) {
                x = X(axis, double(bin.first));
                width = std::max(X(axis, bin.last + 1.0) - x - 0.5, 3.0);
            }
            const uint64_t count = bin.exact + bin.over;
            const double share = logScale ? std::log10(count + 1.0) / std::log10(tallest + 1.0)
                                          : double(count) / tallest;
            const double height = std::max(share * PLOT_HEIGHT, 1.0);
            const double exactHeight = height * bin.exact / count;
            const std::string title =
                Range(bin) + (bin.last == 1 ? " byte: " : " bytes: ") + Units(count, "record");
            if (bin.exact != 0) {
                Bar(page, "exact", x, width, bottom, std::max(exactHeight, 1.0), title);
            }
            if (bin.over != 0) {
                // However few beside the others, they get a bar that shows
                // and their count beside it.
                const double overHeight = std::max(height - exactHeight, OVER_SIDE_MIN);
                const double overWidth = std::max(width, OVER_SIDE_MIN);
                Bar(page, "over", x, overWidth, bottom - exactHeight, overHeight,
                    title + ", " + Number(bin.over) + " of them did not fit the buffer");
                const std::string label = Number(bin.over) + " did not fit";
                const double labelWidth = 6.5 * label.size();
                const double start = std::min(x, WIDTH - labelWidth);
                if (start >= labelEnd) {
                    Text(page, start, std::max(bottom - exactHeight - overHeight - 4, 10.0),
                         "start", label, "overcount");
                    labelEnd = start + labelWidth + 4;
                }
            }
        }
        Text(page, LEFT - 6, TOP + 4, "end", Number(tallest));
        *page += "</g>\n";
    }
    Text(page, LEFT - 6, bottom + 4, "end", "0");
    Text(page, 14, TOP + PLOT_HEIGHT / 2, "middle", "records", "label vertical");
    if (exact) {
        Line(page, "axis", LEFT, bottom, LEFT + PLOT_WIDTH, bottom);
        for (size_t index = 0; index < bins.size(); ++index) {
            const double x = LEFT + slot * (index + 0.5);
            *page += "<text class=\"tick\" transform=\"translate(" + Fixed(x, 1) + " " +
                     Fixed(bottom + 12, 1) + ") rotate(-30)\" text-anchor=\"end\">" +
                     Number(bins[index].first) + "</text>\n";
        }
        for (int i = 0; i < 2; ++i) {
            if (BUFFER_LIMITS[i] < smallest || BUFFER_LIMITS[i] > largest) continue;
            size_t index = 0;
            while (bins[index].first < BUFFER_LIMITS[i]) ++index;
            LimitMark(page, i, LEFT + slot * index);
        }
        Text(page, LEFT + PLOT_WIDTH / 2, HEIGHT - 4, "middle", "record length, bytes (each one)",
             "label");
    } else {
        LengthAxis(page, axis, smallest, largest);
    }
    *page += "</svg>\n";
}

// The share of the records and of the bytes at or below each length, as two
// step lines; lengths that fall on the same tenth of a unit make one step.
void Cumulative(std::string* page, const std::vector<Size>& sizes, const Axis& axis,
                uint64_t smallest, uint64_t largest) {
    uint64_t records = 0, bytes = 0;
    for (const Size& s : sizes) {
        records += s.count;
        bytes += s.size * s.count;
    }
    OpenSvg(page, "cumulative", "share of records and of bytes at or below each length");
    const double bottom = TOP + PLOT_HEIGHT;
    for (int percent = 0; percent <= 100; percent += 25) {
        const double y = bottom - PLOT_HEIGHT * percent / 100;
        Line(page, percent == 50 ? "grid half" : "grid", LEFT, y, LEFT + PLOT_WIDTH, y);
        Text(page, LEFT - 6, y + 4, "end", Number(percent) + "%");
    }
    for (int weighBytes = 0; weighBytes < 2; ++weighBytes) {
        const double total = weighBytes ? double(bytes) : double(records);
        std::string path = "M" + Fixed(X(axis, axis.lo), 1) + " " + Fixed(bottom, 1);
        double lastX = -1, y = bottom, below = 0;
        for (const Size& s : sizes) {
            below += weighBytes ? double(s.size) * s.count : double(s.count);
            const double x = X(axis, double(s.size));
            if (std::fabs(x - lastX) >= 0.1) {
                path += "V" + Fixed(y, 1) + "H" + Fixed(x, 1);
                lastX = x;
            }
            y = total == 0 ? bottom : bottom - PLOT_HEIGHT * below / total;
        }
        path += "V" + Fixed(y, 1) + "H" + Fixed(X(axis, axis.hi), 1);
        *page += std::string("<path class=\"") + (weighBytes ? "bytes" : "records") + "\" d=\"" +
                 path + "\"/>\n";
    }
    LengthAxis(page, axis, smallest, largest);
    *page += "</svg>\n<p class=\"legend\"><span class=\"key records\"></span> records "
             "<span class=\"key bytes\"></span> bytes, at or below each length</p>\n";
}

// One figure: a label, the JSON member's value in a span named after it,
// and words after it.
void Figure(std::string* page, const char* label, const char* key, const std::string& value,
            const std::string& after = "") {
    *page += "<tr><th>";
    *page += label;
    *page += "</th><td>";
    if (key != nullptr) {
        *page += "<span data-key=\"";
        *page += key;
        *page += "\">";
    }
    AppendEscaped(page, value);
    if (key != nullptr) *page += "</span>";
    *page += after + "</td></tr>\n";
}

// What became of the records that did not fit the buffer: /B's probe
// measures each to within its granularity, without /B it counts at the
// buffer's size.
std::string OverWords(const Json& probe) {
    if (probe.is_null()) return "counted at the buffer&#8217;s size; their true length is larger";
    const std::string step = Units(probe["granularity"].get<uint64_t>(), "byte");
    return "measured by the /B probe to within " + step + ": their true length is up to " + step +
           " larger; one the probe could not place counts at the buffer&#8217;s size";
}

std::string Value(const Json& value) {
    if (value.is_number_float()) return Fixed(value.get<double>(), 1);
    if (value.is_string()) return value.get<std::string>();
    return value.dump();
}

void Figures(std::string* page, const Json& report, const std::vector<Size>& sizes) {
    uint64_t over = 0, bytes = 0, half = 0, below = 0;
    for (const Size& s : sizes) {
        over += s.over;
        bytes += s.size * s.count;
    }
    for (const Size& s : sizes) {
        below += s.size * s.count;
        half = s.size;
        if (below * 2 >= bytes) break;
    }
    if (report.contains("lowerBoundRecords")) over = report["lowerBoundRecords"].get<uint64_t>();
    char made[64];
    const time_t now = time(nullptr);
    const struct tm* utc = gmtime(&now);
    if (utc == nullptr || strftime(made, sizeof made, "%Y-%m-%d %H:%M UTC", utc) == 0) {
        made[0] = '\0';
    }

    const bool lowerBound = report["totalIsLowerBound"].get<bool>();
    const std::string atLeast =
        lowerBound ? " (at least: some records did not fit the buffer)" : "";
    const std::string scanEnd = report["scanEnd"].get<std::string>();
    std::string engine;
    for (const Json& entry : report["engineVersion"]["entries"]) {
        engine += (engine.empty() ? "" : ", ") + Number(entry["version"].get<uint64_t>()) + "." +
                  (entry["revision"].get<uint64_t>() < 10 ? "0" : "") +
                  Number(entry["revision"].get<uint64_t>());
        const std::string platform = entry["platform"].get<std::string>();
        if (platform != " " && platform != std::string(1, '\0')) engine += " (" + platform + ")";
    }
    *page += "<table id=\"figures\">\n";
    Figure(page, "File", "path", report["path"].get<std::string>());
    Figure(page, "Report made", nullptr, made,
           " by <span data-key=\"program\">" + report["program"].get<std::string>() + "</span>");
    Figure(page, "Engine version", nullptr, engine.empty() ? "none given" : engine,
           ", records read through the <span data-key=\"readEntry\">" +
               report["readEntry"].get<std::string>() + "</span> entry");
    // The member's value stays in its span, in words around it.
    if (scanEnd == "end") {
        Figure(page, "Scan ended", nullptr, "at the ",
               "<span data-key=\"scanEnd\">end</span> of the file");
    } else if (scanEnd == "cancelled") {
        Figure(page, "Scan ended", "scanEnd", scanEnd, " with Esc");
    } else {
        Figure(page, "Scan ended", nullptr, "stopped by engine ",
               "<span data-key=\"scanEnd\">status</span> <span data-key=\"scanStatus\">" +
                   Value(report["scanStatus"]) + "</span>");
    }
    Figure(page, "Records scanned", "scannedCount", Value(report["scannedCount"]));
    Figure(page, "Records in the charts", "countedRecords", Value(report["countedRecords"]));
    if (!report["smallestSize"].is_null()) {
        const Json& largest = report["largestSize"];
        Figure(page, "Smallest", "smallestSize", Value(report["smallestSize"]),
               UnitAfter(report["smallestSize"], "byte"));
        Figure(page, "Largest", "largestSize", Value(largest),
               UnitAfter(largest, "byte") + (report["overflowSeen"].get<bool>() ? " or more" : ""));
    }
    if (!report["meanSize"].is_null()) {
        Figure(page, "Mean", "meanSize", Value(report["meanSize"]),
               UnitAfter(report["meanSize"], "byte") + atLeast);
    }
    Figure(page, "Total", "totalBytes", Value(report["totalBytes"]),
           UnitAfter(report["totalBytes"], "byte") + atLeast);
    if (!report["percentiles"].is_null()) {
        const Json& p = report["percentiles"];
        Figure(page, "Median (50%)", "p50", Value(p["p50"]),
               UnitAfter(p["p50"], "byte") + " or less");
        Figure(page, "90% of records", "p90", Value(p["p90"]),
               UnitAfter(p["p90"], "byte") + " or less");
        Figure(page, "99% of records", "p99", Value(p["p99"]),
               UnitAfter(p["p99"], "byte") + " or less");
        Figure(page, "99.9% of records", "p99_9", Value(p["p99_9"]),
               UnitAfter(p["p99_9"], "byte") + " or less");
        Figure(page, "Half the bytes in records of", "bytesHalf", Number(half),
               UnitAfter(half, "byte") + " or more");
    }
    Figure(page, "Records that did not fit", "lowerBoundRecords", Number(over),
           " (" + OverWords(report["probe"]) + ")");
    const Json& truncation = report["truncation"];
    if (!truncation.is_null()) {
        const bool dryRun = truncation["dryRun"].get<bool>();
        const std::string option = "/T" + Value(truncation["minimum"]) + (dryRun ? " /N" : "");
        Figure(page, dryRun ? "/T would update" : "/T updated", "updatedCount",
               Value(truncation["updatedCount"]),
               UnitAfter(truncation["updatedCount"], "record") + " (" + option + ")");
        Figure(page, dryRun ? "/T would free" : "/T freed", "freedBytes",
               Value(truncation["freedBytes"]), UnitAfter(truncation["freedBytes"], "byte"));
    }
    *page += "</table>\n";
}

// A scan that stopped short of the end of the file, said before the
// figures: what stopped it, where, and what the figures then cover.
void EndNotice(std::string* page, const Json& report) {
    const std::string scanEnd = report["scanEnd"].get<std::string>();
    const bool notLoaded = report.value("endedByStatus20", false);
    if (scanEnd == "end" && !notLoaded) return;
    std::string what;
    if (notLoaded) {
        what =
            "The engine answered status 20 (not loaded) during the run, and the run ended there, "
            "with exit code 1 and without closing the file";
    } else if (scanEnd == "cancelled") {
        what = "The scan was cancelled with Esc";
    } else {
        const Json& status = report["scanStatus"];
        what = "The scan was stopped by engine status " + Value(status);
        if (status == 2) what += " (the file is damaged)";
        if (status == 22) what += " (a record did not fit the data buffer)";
    }
    *page += "<p id=\"ended\" role=\"alert\"><strong>Only part of the file was read.</strong> " +
             what + ", after " + Units(report["scannedCount"].get<uint64_t>(), "record") +
             ". The figures below cover only the records scanned before it stopped";
    const Json& truncation = report["truncation"];
    if (!truncation.is_null()) {
        *page += truncation["dryRun"].get<bool>()
                     ? "; the updates listed are those /T would have made before then"
                     : "; the updates listed are those made before then, and the records after "
                       "were left as they are";
    }
    *page += ".</p>\n";
}

void BinTable(std::string* page, const std::vector<Bin>& bins) {
    uint64_t records = 0, bytes = 0;
    for (const Bin& bin : bins) {
        records += bin.exact + bin.over;
        bytes += bin.bytes;
    }
    *page +=
        "<table id=\"bins\">\n<thead><tr><th>from, bytes</th><th>to, bytes</th><th>records</th>"
        "<th>did not fit</th><th>bytes</th><th>records at or below</th><th>bytes at or "
        "below</th></tr></thead>\n<tbody>\n";
    uint64_t recordsBelow = 0, bytesBelow = 0;
    for (const Bin& bin : bins) {
        recordsBelow += bin.exact + bin.over;
        bytesBelow += bin.bytes;
        *page += "<tr><td>" + Number(bin.first) + "</td><td>" + Number(bin.last) + "</td><td>" +
                 Number(bin.exact + bin.over) + "</td><td>" + Number(bin.over) + "</td><td>" +
                 Number(bin.bytes) + "</td><td>" + Fixed(100.0 * recordsBelow / records, 1) +
                 "%</td><td>" + Fixed(bytes == 0 ? 100.0 : 100.0 * bytesBelow / bytes, 1) +
                 "%</td></tr>\n";
    }
    *page += "</tbody>\n</table>\n";
}

const char STYLE[] =
    "body{font:15px/1.4 system-ui,sans-serif;margin:1.5em auto;max-width:60em;padding:0 1em;"
    "color:#222;background:#fff}\n"
    "h1{font-size:1.4em}h2{font-size:1.15em;margin-top:1.6em}\n"
    "table{border-collapse:collapse}th,td{padding:.15em .6em;text-align:left}\n"
    "#figures th{font-weight:600;white-space:nowrap}\n"
    "#bins td{text-align:right;font-variant-numeric:tabular-nums}#bins th{border-bottom:1px solid "
    "#888}\n"
    "svg{width:100%;height:auto;display:block}\n"
    ".exact{fill:#3a6ea5}.over{fill:#d9822b}.axis{stroke:#444}.grid{stroke:#ddd}\n"
    ".half{stroke:#999;stroke-dasharray:4 3}.limit{stroke:#b22;stroke-dasharray:6 3;fill:#b22}\n"
    "text{font-size:11px;fill:#333;stroke:none}text.limit{fill:#b22;stroke:none}"
    ".label{font-size:12px}\n"
    ".vertical{transform-box:fill-box;transform-origin:center;transform:rotate(-90deg)}\n"
    "path.records,path.bytes{fill:none;stroke-width:2}path.records{stroke:#3a6ea5}"
    "path.bytes{stroke:#2a9d5c}\n"
    ".key{display:inline-block;width:1.2em;height:.6em;margin:0 .3em 0 1em}"
    ".key.records,.key.exact{background:#3a6ea5}.key.bytes{background:#2a9d5c}"
    ".key.over{background:#d9822b}\n"
    "#histogram .log{display:none}#logcounts:checked~#histogram .log{display:inline}"
    "#logcounts:checked~#histogram .lin{display:none}\n"
    "text.overcount{fill:#a4560f;font-weight:600}\n"
    "#ended{border:2px solid #b22;background:#fdf0ee;padding:.5em .8em}\n"
    "@media print{input,label[for]{display:none}}\n";

void Page(std::string* page, const Json& report, const std::string& jsonText) {
    const std::vector<Size> sizes = ReadSizes(report);
    *page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
             "<meta name=\"generator\" content=\"Recmeter\">\n"
             "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
             "style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'\">\n"
             "<meta name=\"viewport\" content=\"width=device-width\">\n<title>Record lengths: ";
    AppendEscaped(page, report["path"].get<std::string>());
    *page += "</title>\n<style>\n";
    *page += STYLE;
    *page += "</style>\n</head>\n<body>\n<h1>Record lengths of ";
    AppendEscaped(page, report["path"].get<std::string>());
    *page += "</h1>\n";
    EndNotice(page, report);
    Figures(page, report, sizes);
    if (sizes.empty()) {
        *page += "<p id=\"nosizes\">No record lengths were kept";
        *page += report["truncation"].is_null() ? ": no record was counted.</p>\n"
                                                : ": the /T scan measures none.</p>\n";
    } else {
        const bool exact = sizes.size() <= EXACT_BARS_MAX;
        const std::vector<Bin> bins = MakeBins(sizes, exact);
        const uint64_t smallest = sizes.front().size, largest = sizes.back().size;
        const Axis axis = exact ? Axis{smallest / 2.0, largest * 2.0 + 1}
                                : Axis{double(bins.front().first), (bins.back().last + 1.0) * 1.2};
        *page += "<h2>Histogram</h2>\n<p>";
        *page += exact ? "One bar for each distinct length."
                       : "Bins on a logarithmic length axis, eight to each doubling of the "
                         "length (each about 9% wider than the one before); the buffer limits "
                         "start bins of their own. The table below gives each bin's bounds.";
        *page += "</p>\n<p class=\"legend\"><span class=\"key exact\"></span>exact lengths "
                 "<span class=\"key over\"></span>records that did not fit the buffer, with their "
                 "count (" +
                 OverWords(report["probe"]) + ")</p>\n";
        Histogram(page, bins, exact, axis, smallest, largest);
        *page += "<h2>Cumulative</h2>\n";
        Cumulative(page, sizes, axis, smallest, largest);
        *page += "<h2>Bins</h2>\n";
        BinTable(page, bins);
    }
    *page += "<h2>The JSON report</h2>\n<p>The same document as <code>/J=FILE.json</code> writes "
             "for this run, in the element <code>recmeter-report</code>.</p>\n"
             "<script type=\"application/json\" id=\"recmeter-report\">";
    for (char c : jsonText) {
        if (c == '<') {
            *page += "\\u003c";
        } else {
            *page += c;
        }
    }
    *page += "</script>\n</body>\n</html>\n";
}

}  // namespace

bool ReportIsHtml(const char* path) {
    const size_t length = strlen(path);
    for (const char* ending : {".html", ".htm"}) {
        const size_t size = strlen(ending);
        if (length < size) continue;
        size_t index = 0;
        for (; index < size; ++index) {
            char c = path[length - size + index];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != ending[index]) break;
        }
        if (index == size) return true;
    }
    return false;
}

int BuildHtmlReport(const std::string& jsonText, std::string* page) {
    try {
        page->clear();
        page->reserve(jsonText.size() + 65536);
        Page(page, Json::parse(jsonText), jsonText);
        return 0;
    } catch (...) {
        return 1;
    }
}

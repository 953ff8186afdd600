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

// An element's id and class: the class carries its style, the id ends in
// the section's suffix so that each stays unique on a page of several files.
std::string Ids(const char* name, const std::string& suffix) {
    return std::string(" id=\"") + name + suffix + "\" class=\"" + name + "\"";
}

void OpenSvg(std::string* page, const char* name, const std::string& suffix, const char* label) {
    *page += "<svg" + Ids(name, suffix) + " viewBox=\"0 0 " + Fixed(WIDTH, 0) + " " +
             Fixed(HEIGHT, 0) + "\" role=\"img\" aria-label=\"";
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

// A coordinate in whole units, enough for a chart 900 units wide: the page
// of several files, with a thousand charts, writes its paths in them.
std::string Whole(double value) {
    return std::to_string(std::lround(value));
}

// Ticks at the powers of ten on a log length axis, and the buffer limits;
// on the page of several files the tick lines are one path.
void LengthAxis(std::string* page, const Axis& axis, uint64_t smallest, uint64_t largest,
                bool several) {
    Line(page, "axis", LEFT, TOP + PLOT_HEIGHT, LEFT + PLOT_WIDTH, TOP + PLOT_HEIGHT);
    std::string grid;
    for (double tick = 1; tick <= axis.hi; tick *= 10) {
        if (tick < axis.lo) continue;
        if (several) {
            grid += "M" + Whole(X(axis, tick)) + " " + Whole(TOP) + "v" + Whole(PLOT_HEIGHT);
        } else {
            Line(page, "grid", X(axis, tick), TOP, X(axis, tick), TOP + PLOT_HEIGHT);
        }
        // 1, 10, 100, 1k ... 1G: decimal prefixes keep the labels apart.
        const char* prefix[] = {"", "k", "M", "G"};
        int power = int(std::lround(std::log10(tick)));
        Text(page, X(axis, tick), TOP + PLOT_HEIGHT + 16, "middle",
             Number(uint64_t(std::lround(std::pow(10, power % 3)))) + prefix[power / 3]);
    }
    if (!grid.empty()) *page += "<path class=\"grid\" d=\"" + grid + "\"/>\n";
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

// The bars of a kind as one path, each from the corner where the one
// before it started: the page of several files draws them so, in whole
// units and without a title each.
struct Bars {
    std::string path;
    long x;
    long y;
};

// A bar, at least a unit wide and high, added to `bars`.
void BarPath(Bars* bars, double x, double width, double bottom, double height) {
    const long left = std::lround(x), base = std::lround(bottom);
    const long wide = std::max(std::lround(x + width) - left, 1L);
    const long high = std::max(base - std::lround(bottom - height), 1L);
    bars->path += bars->path.empty()
                      ? "M" + std::to_string(left) + " " + std::to_string(base)
                      : "m" + std::to_string(left - bars->x) + " " + std::to_string(base - bars->y);
    bars->path +=
        "v-" + std::to_string(high) + "h" + std::to_string(wide) + "v" + std::to_string(high) + "z";
    bars->x = left;
    bars->y = base;
}

std::string Range(const Bin& bin) {
    return bin.first == bin.last ? Number(bin.first)
                                 : Number(bin.first) + "&#8211;" + Number(bin.last);
}

// The histogram, with a checkbox before it that shows its log-scale bars
// instead (the style rule needs the two side by side).
void Histogram(std::string* page, const std::vector<Bin>& bins, bool exact, const Axis& axis,
               uint64_t smallest, uint64_t largest, const std::string& suffix) {
    const bool several = !suffix.empty();
    uint64_t tallest = 0;
    for (const Bin& bin : bins) tallest = std::max(tallest, bin.exact + bin.over);
    *page += "<input type=\"checkbox\"" + Ids("logcounts", suffix) + "><label for=\"logcounts" +
             suffix + "\"> counts on a log scale</label>\n";
    OpenSvg(page, "histogram", suffix, "histogram of record lengths");
    const double bottom = TOP + PLOT_HEIGHT;
    const double slot = PLOT_WIDTH / bins.size();
    for (int logScale = 0; logScale < 2; ++logScale) {
        *page += logScale ? "<g class=\"log\">\n" : "<g class=\"lin\">\n";
        double labelEnd = 0;  // where the last count of those that did not fit ends
        Bars exactBars{}, overBars{};
        std::string labels;
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
            if (bin.exact != 0 && several) {
                BarPath(&exactBars, x, width, bottom, std::max(exactHeight, 1.0));
            } else if (bin.exact != 0) {
                Bar(page, "exact", x, width, bottom, std::max(exactHeight, 1.0), title);
            }
            if (bin.over != 0) {
                // However few beside the others, they get a bar that shows
                // and their count beside it.
                const double overHeight = std::max(height - exactHeight, OVER_SIDE_MIN);
                const double overWidth = std::max(width, OVER_SIDE_MIN);
                if (several) {
                    BarPath(&overBars, x, overWidth, bottom - exactHeight, overHeight);
                } else {
                    Bar(page, "over", x, overWidth, bottom - exactHeight, overHeight,
                        title + ", " + Number(bin.over) + " of them did not fit the buffer");
                }
                const std::string label = Number(bin.over) + " did not fit";
                const double labelWidth = 6.5 * label.size();
                const double start = std::min(x, WIDTH - labelWidth);
                if (start >= labelEnd) {
                    Text(several ? &labels : page, start,
                         std::max(bottom - exactHeight - overHeight - 4, 10.0), "start", label,
                         "overcount");
                    labelEnd = start + labelWidth + 4;
                }
            }
        }
        for (const Bars* bars : {&exactBars, &overBars}) {
            if (bars->path.empty()) continue;
            *page += std::string("<path class=\"") + (bars == &exactBars ? "exact" : "over") +
                     "\" d=\"" + bars->path + "\"/>\n";
        }
        *page += labels;
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
        LengthAxis(page, axis, smallest, largest, several);
    }
    *page += "</svg>\n";
}

// The share of the records and of the bytes at or below each length, as two
// step lines; lengths that fall on the same tenth of a unit make one step.
void Cumulative(std::string* page, const std::vector<Size>& sizes, const Axis& axis,
                uint64_t smallest, uint64_t largest, const std::string& suffix) {
    const bool several = !suffix.empty();
    uint64_t records = 0, bytes = 0;
    for (const Size& s : sizes) {
        records += s.count;
        bytes += s.size * s.count;
    }
    OpenSvg(page, "cumulative", suffix, "share of records and of bytes at or below each length");
    const double bottom = TOP + PLOT_HEIGHT;
    std::string grid;  // the page of several files draws the lines but the half as one path
    for (int percent = 0; percent <= 100; percent += 25) {
        const double y = bottom - PLOT_HEIGHT * percent / 100;
        if (several && percent != 50) {
            grid += "M" + Whole(LEFT) + " " + Whole(y) + "h" + Whole(PLOT_WIDTH);
        } else {
            Line(page, percent == 50 ? "grid half" : "grid", LEFT, y, LEFT + PLOT_WIDTH, y);
        }
        Text(page, LEFT - 6, y + 4, "end", Number(percent) + "%");
    }
    if (several) *page += "<path class=\"grid\" d=\"" + grid + "\"/>\n";
    for (int weighBytes = 0; weighBytes < 2; ++weighBytes) {
        const double total = weighBytes ? double(bytes) : double(records);
        std::string path = several ? "M" + Whole(X(axis, axis.lo)) + " " + Whole(bottom)
                                   : "M" + Fixed(X(axis, axis.lo), 1) + " " + Fixed(bottom, 1);
        // On the page of several files: where the path has got to, in whole
        // units, and the run up or along not yet written, which the next
        // step in the same direction lengthens.
        long atX = std::lround(X(axis, axis.lo)), atY = std::lround(bottom), up = 0, along = 0;
        const auto flush = [&path](const char* command, long* run) {
            if (*run != 0) path += command + std::to_string(*run);
            *run = 0;
        };
        // A step up to y then along to x.
        const auto step = [&](double y, double x) {
            if (!several) {
                path += "V" + Fixed(y, 1) + "H" + Fixed(x, 1);
                return;
            }
            const long toY = std::lround(y), toX = std::lround(x);
            if (toY != atY) {
                flush("h", &along);
                up += toY - atY;
            }
            if (toX != atX) {
                flush("v", &up);
                along += toX - atX;
            }
            atX = toX;
            atY = toY;
        };
        double lastX = -1, y = bottom, below = 0;
        for (const Size& s : sizes) {
            below += weighBytes ? double(s.size) * s.count : double(s.count);
            const double x = X(axis, double(s.size));
            if (std::fabs(x - lastX) >= 0.1) {
                step(y, x);
                lastX = x;
            }
            y = total == 0 ? bottom : bottom - PLOT_HEIGHT * below / total;
        }
        step(y, X(axis, axis.hi));
        flush("v", &up);
        flush("h", &along);
        *page += std::string("<path class=\"") + (weighBytes ? "bytes" : "records") + "\" d=\"" +
                 path + "\"/>\n";
    }
    LengthAxis(page, axis, smallest, largest, several);
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

// The engine's version, as its reply gives it.
std::string EngineVersion(const Json& report) {
    std::string engine;
    for (const Json& entry : report["engineVersion"]["entries"]) {
        engine += (engine.empty() ? "" : ", ") + Number(entry["version"].get<uint64_t>()) + "." +
                  (entry["revision"].get<uint64_t>() < 10 ? "0" : "") +
                  Number(entry["revision"].get<uint64_t>());
        const std::string platform = entry["platform"].get<std::string>();
        if (platform != " " && platform != std::string(1, '\0')) engine += " (" + platform + ")";
    }
    return engine.empty() ? "none given" : engine;
}

std::string EntryWords(const Json& report) {
    return ", records read through the <span data-key=\"readEntry\">" +
           report["readEntry"].get<std::string>() + "</span> entry";
}

void Figures(std::string* page, const Json& report, const std::vector<Size>& sizes,
             const std::string& made, const std::string& suffix) {
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
    const bool lowerBound = report["totalIsLowerBound"].get<bool>();
    const std::string atLeast =
        lowerBound ? " (at least: some records did not fit the buffer)" : "";
    const std::string scanEnd = report["scanEnd"].get<std::string>();
    *page += "<table" + Ids("figures", suffix) + ">\n";
    Figure(page, "File", "path", report["path"].get<std::string>());
    // The page of several files says these once, at the top.
    if (suffix.empty()) {
        Figure(
            page, "Report made", nullptr, made,
            " by <span data-key=\"program\">" + report["program"].get<std::string>() + "</span>");
        Figure(page, "Engine version", nullptr, EngineVersion(report), EntryWords(report));
    }
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
           suffix.empty() ? " (" + OverWords(report["probe"]) + ")" : "");
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
void EndNotice(std::string* page, const Json& report, const std::string& suffix) {
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
    *page += "<p" + Ids("ended", suffix) +
             " role=\"alert\"><strong>Only part of the file was read.</strong> " + what +
             ", after " + Units(report["scannedCount"].get<uint64_t>(), "record") +
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

void BinTable(std::string* page, const std::vector<Bin>& bins, const std::string& suffix) {
    uint64_t records = 0, bytes = 0;
    for (const Bin& bin : bins) {
        records += bin.exact + bin.over;
        bytes += bin.bytes;
    }
    *page += "<table" + Ids("bins", suffix) +
             ">\n<thead><tr><th>from, bytes</th><th>to, bytes</th><th>records</th>"
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

// The colours are the light scheme's; a screen in the dark scheme gets the
// dark ones, print always the light.
const char STYLE[] =
    ":root{--fg:#222;--bg:#fff;--tick:#333;--axis:#444;--grid:#ddd;--half:#999;--exact:#3a6ea5;"
    "--over:#d9822b;--overtext:#a4560f;--limit:#b22;--bytes:#2a9d5c;--alert:#fdf0ee;"
    "--marked:#fff3e0;--rule:#888}\n"
    "@media screen and (prefers-color-scheme:dark){:root{--fg:#e6e6e6;--bg:#16181b;"
    "--tick:#d2d2d2;--axis:#b4b4b4;--grid:#3b3f46;--half:#8c8c8c;--exact:#6ba7e8;"
    "--over:#f0a24e;--overtext:#ffb772;--limit:#ff7070;--bytes:#4fca8b;--alert:#3e1f1f;"
    "--marked:#3a2a14;--rule:#777}a{color:#8cc4ff}}\n"
    "body{font:15px/1.4 system-ui,sans-serif;margin:1.5em auto;max-width:60em;padding:0 1em;"
    "color:var(--fg);background:var(--bg)}\n"
    "h1{font-size:1.4em}h2{font-size:1.15em;margin-top:1.6em}h3{font-size:1.05em}\n"
    "table{border-collapse:collapse}th,td{padding:.15em .6em;text-align:left}\n"
    ".figures th{font-weight:600;white-space:nowrap}\n"
    ".bins td,.summary td{text-align:right;font-variant-numeric:tabular-nums}"
    ".bins th,.summary thead th{border-bottom:1px solid var(--rule)}"
    ".summary tfoot th,.summary tfoot td{border-top:1px solid var(--rule)}\n"
    ".summary td:first-child,.summary td:nth-last-child(-n+2){text-align:left}"
    ".summary td:nth-last-child(2){white-space:nowrap}"
    ".summary tr.marked{background:var(--marked)}.summary strong{color:var(--overtext)}\n"
    "summary h2{display:inline;font-size:1.1em}summary{margin-top:1.2em;cursor:pointer}\n"
    // A browser lays out only the sections in view: a page of a thousand opens at once.
    "details{content-visibility:auto;contain-intrinsic-size:auto 1100px}\n"
    "svg{width:100%;height:auto;display:block}\n"
    ".exact{fill:var(--exact)}.over{fill:var(--over)}.axis{stroke:var(--axis)}"
    ".grid{stroke:var(--grid)}\n"
    ".half{stroke:var(--half);stroke-dasharray:4 3}"
    ".limit{stroke:var(--limit);stroke-dasharray:6 3;fill:var(--limit)}\n"
    "text{font-size:11px;fill:var(--tick);stroke:none}.label{font-size:12px}\n"
    "text.limit,text.overcount{stroke:var(--bg);stroke-width:3px;stroke-dasharray:none;"
    "stroke-linejoin:round;paint-order:stroke}\n"
    ".vertical{transform-box:fill-box;transform-origin:center;transform:rotate(-90deg)}\n"
    "path.records,path.bytes{fill:none;stroke-width:2}path.records{stroke:var(--exact)}"
    "path.bytes{stroke:var(--bytes)}\n"
    ".key{display:inline-block;width:1.2em;height:.6em;margin:0 .3em 0 1em}"
    ".key.records,.key.exact{background:var(--exact)}.key.bytes{background:var(--bytes)}"
    ".key.over{background:var(--over)}\n"
    ".histogram .log{display:none}.logcounts:checked~.histogram .log{display:inline}"
    ".logcounts:checked~.histogram .lin{display:none}\n"
    "text.overcount{fill:var(--overtext);font-weight:600}\n"
    ".ended{border:2px solid var(--limit);background:var(--alert);padding:.5em .8em}\n"
    "@media print{input,label[for]{display:none}body{margin:0;max-width:none}"
    "a{color:inherit;text-decoration:none}h1,h2,h3,summary{break-after:avoid}"
    ".chart,.figures,.ended,tr{break-inside:avoid}"
    "details,details::details-content{content-visibility:visible}summary{list-style:none}}\n";

// The head, up to and with the page's <h1>.
void Head(std::string* page, const std::string& title) {
    *page +=
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<meta name=\"generator\" content=\"Recmeter\">\n"
        "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
        "style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'\">\n"
        "<meta name=\"viewport\" content=\"width=device-width\">\n"
        "<meta name=\"color-scheme\" content=\"light dark\">\n<title>Record lengths: ";
    AppendEscaped(page, title);
    *page += "</title>\n<style>\n";
    *page += STYLE;
    *page += "</style>\n</head>\n<body>\n<h1>Record lengths of ";
    AppendEscaped(page, title);
    *page += "</h1>\n";
}

// One file's notice, figures and charts: the page of one file, or its
// section on the page of several, where its ids end in `suffix` and its
// headings are one level lower.
void FileBody(std::string* page, const Json& report, const std::string& made,
              const std::string& suffix) {
    const std::vector<Size> sizes = ReadSizes(report);
    const std::string h = suffix.empty() ? "h2>" : "h3>";
    EndNotice(page, report, suffix);
    Figures(page, report, sizes, made, suffix);
    if (sizes.empty()) {
        *page += "<p" + Ids("nosizes", suffix) + ">No record lengths were kept";
        *page += report["truncation"].is_null() ? ": no record was counted.</p>\n"
                                                : ": the /T scan measures none.</p>\n";
        return;
    }
    const bool exact = sizes.size() <= EXACT_BARS_MAX;
    const std::vector<Bin> bins = MakeBins(sizes, exact);
    const uint64_t smallest = sizes.front().size, largest = sizes.back().size;
    const Axis axis = exact ? Axis{smallest / 2.0, largest * 2.0 + 1}
                            : Axis{double(bins.front().first), (bins.back().last + 1.0) * 1.2};
    *page += "<div class=\"chart\">\n<" + h + "Histogram</" + h + "\n";
    if (suffix.empty()) {  // the page of several files says it once, at the top
        *page += "<p>";
        *page += exact ? "One bar for each distinct length."
                       : "Bins on a logarithmic length axis, eight to each doubling of the "
                         "length (each about 9% wider than the one before); the buffer limits "
                         "start bins of their own. The table below gives each bin's bounds.";
        *page += "</p>\n";
    }
    *page +=
        "<p class=\"legend\"><span class=\"key exact\"></span>exact lengths "
        "<span class=\"key over\"></span>records that did not fit the buffer, with their "
        "count";
    *page += suffix.empty() ? " (" + OverWords(report["probe"]) + ")</p>\n" : "</p>\n";
    Histogram(page, bins, exact, axis, smallest, largest, suffix);
    *page += "</div>\n<div class=\"chart\">\n<" + h + "Cumulative</" + h + "\n";
    Cumulative(page, sizes, axis, smallest, largest, suffix);
    *page += "</div>\n";
    if (suffix.empty()) {  // on the page of several files, too heavy a thousand times over
        *page += "<h2>Bins</h2>\n";
        BinTable(page, bins, suffix);
    }
}

// The JSON report at the end of the page, with the closing tags.
void Tail(std::string* page, const std::string& jsonText) {
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

// A count of a summary row, 0 where it has none.
uint64_t Count(const Json& row, const char* key) {
    const auto it = row.find(key);
    return it != row.end() && it->is_number_unsigned() ? it->get<uint64_t>() : 0;
}

// A figure of a summary row as a cell, a dash where it has none.
std::string Cell(const Json& row, const char* key, const char* after = "") {
    const auto it = row.find(key);
    if (it == row.end() || it->is_null()) return "<td>&#8211;</td>";
    return "<td>" + Value(*it) + after + "</td>";
}

// What a reader should look at in a summary row, in words: records over a
// buffer, a file not read to its end or at all, updates refused; "" for
// none.
std::string Notes(const Json& row) {
    const auto flag = [&row](const char* key) {
        const auto it = row.find(key);
        return it != row.end() && *it == true;
    };
    const std::string outcome = row.value("outcome", std::string());
    std::string notes;
    const auto add = [&notes](const char* note) {
        notes += (notes.empty() ? "" : "; ") + std::string(note);
    };
    if (Count(row, "overStandardCount") + Count(row, "overExtendedCount") != 0 ||
        flag("overflowSeen")) {
        add("records over a buffer");
    }
    if (outcome == "scanned" && row["ended"].get<std::string>().rfind("end of file", 0) != 0) {
        add("ended early");
    }
    if (outcome == "notOpened" || outcome == "noMatch" || outcome == "notScanned") {
        add("not read");
    }
    if (Count(row, "refusedUpdates") != 0) add("updates refused");
    if (notes.empty() && flag("failed")) add("failed");
    return notes;
}

// A row of the summary table: its first cell, then the figures, how it
// ended and the notes.
void SummaryRow(std::string* page, const Json& row, bool truncating, const std::string& first,
                const std::string& ended) {
    const std::string notes = Notes(row);
    *page += notes.empty() ? "<tr>" : "<tr class=\"marked\">";
    *page += first + Cell(row, "scannedCount");
    if (truncating) {
        *page += Cell(row, "updatedCount") + Cell(row, "freedBytes") + Cell(row, "refusedUpdates");
    } else {
        *page += Cell(row, "smallestSize") +
                 Cell(row, "largestSize", row.value("overflowSeen", false) ? "+" : "") +
                 Cell(row, "overStandardCount") + Cell(row, "overExtendedCount");
    }
    *page += "<td>";
    AppendEscaped(page, ended);
    *page += "</td><td>" + (notes.empty() ? "" : "<strong>" + notes + "</strong>") + "</td></tr>\n";
}

// The page of a run over several files: a table of the files, each file's
// figures and charts in a section that folds, then the document.
void SeveralPage(std::string* page, const Json& report, const std::string& jsonText,
                 const std::string& made) {
    const Json& summary = report["summary"];
    const Json& total = summary["total"];
    const bool truncating = !total["updatedCount"].is_null();
    bool dryRun = false;
    for (const Json& file : report["files"]) {
        if (!file["truncation"].is_null()) dryRun = file["truncation"]["dryRun"].get<bool>();
    }
    Head(page, Units(total["files"].get<uint64_t>(), "file"));
    *page += "<p>Made " + made + " by <span data-key=\"program\">" +
             report["program"].get<std::string>() + "</span>";
    if (!report["files"].empty()) {
        *page += ", engine version " + EngineVersion(report["files"][0]) +
                 EntryWords(report["files"][0]);
    }
    *page +=
        ".</p>\n<table id=\"summary\" class=\"summary\">\n<thead><tr><th>File"
        "</th><th>Records</th>";
    *page += truncating ? dryRun ? "<th>Would update</th><th>Would free, bytes</th>"
                                 : "<th>Updated</th><th>Freed, bytes</th>"
                        : "<th>Smallest, bytes</th><th>Largest, bytes</th>";
    *page += truncating ? "<th>Updates refused</th>" : "<th>Over 64000</th><th>Over 258048</th>";
    *page += "<th>Ended</th><th>Notes</th></tr></thead>\n<tbody>\n";
    for (const Json& row : summary["files"]) {
        std::string first = "<td>";
        if (!row["document"].is_null())
            first += "<a href=\"#file-" + Value(row["document"]) + "\">";
        AppendEscaped(&first, row["path"].get<std::string>());
        first += row["document"].is_null() ? "</td>" : "</a></td>";
        SummaryRow(page, row, truncating, first, row["ended"].get<std::string>());
    }
    *page += "</tbody>\n<tfoot>\n";
    const uint64_t failed = total["failed"].get<uint64_t>();
    SummaryRow(page, total, truncating, "<th>Total</th>",
               Units(total["files"].get<uint64_t>(), "file") +
                   (failed == 0 ? "" : ", " + Number(failed) + " failed"));
    *page += "</tfoot>\n</table>\n";
    if (!report["files"].empty()) {
        *page += "<p>Each file read has its section below, which its path in the table leads to.";
        // What the charts show, said once for all (a /T scan draws none).
        if (!truncating) {
            *page += " A histogram has a bar for each distinct length when the file has at most " +
                     Number(EXACT_BARS_MAX) +
                     ", otherwise bins on a logarithmic length axis, eight to each doubling of "
                     "the length, the buffer limits starting bins of their own. Records that did "
                     "not fit the buffer are " +
                     OverWords(report["files"][0]["probe"]) +
                     ". A run on one file alone gives the table of its bins.";
        }
        *page += "</p>\n";
    }
    for (const Json& row : summary["files"]) {
        if (row["document"].is_null()) continue;
        const std::string index = Value(row["document"]);
        const std::string notes = Notes(row);
        *page += "<details id=\"file-" + index + "\" open>\n<summary><h2>";
        AppendEscaped(page, row["path"].get<std::string>());
        *page += "</h2> " + Units(row["scannedCount"].get<uint64_t>(), "record") + ", ";
        AppendEscaped(page, row["ended"].get<std::string>());
        *page += (notes.empty() ? "" : ": <strong>" + notes + "</strong>") + "</summary>\n";
        FileBody(page, report["files"][row["document"].get<size_t>()], made, "-" + index);
        *page += "</details>\n";
    }
    Tail(page, jsonText);
}

// When the page was made, to the minute.
std::string Made() {
    char made[64];
    const time_t now = time(nullptr);
    const struct tm* utc = gmtime(&now);
    if (utc == nullptr || strftime(made, sizeof made, "%Y-%m-%d %H:%M UTC", utc) == 0) {
        made[0] = '\0';
    }
    return made;
}

void Page(std::string* page, const Json& report, const std::string& jsonText) {
    const std::string made = Made();
    if (report.contains("files")) {
        SeveralPage(page, report, jsonText, made);
        return;
    }
    Head(page, report["path"].get<std::string>());
    FileBody(page, report, made, "");
    Tail(page, jsonText);
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

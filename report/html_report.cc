// The report page. It is made from the JSON document alone, so the two always
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
constexpr double BINS_PER_DOUBLING = 8;
constexpr int BUFFER_LIMIT_COUNT = 2;
const uint64_t BUFFER_LIMITS[BUFFER_LIMIT_COUNT] = {64000, 258048};

// The charts' frame, in SVG user units.
constexpr double WIDTH = 900, HEIGHT = 280, LEFT = 70, RIGHT = 20, TOP = 16, BOTTOM = 50;
constexpr double PLOT_WIDTH = WIDTH - LEFT - RIGHT, PLOT_HEIGHT = HEIGHT - TOP - BOTTOM;
constexpr double PLOT_BOTTOM = TOP + PLOT_HEIGHT;
// The least height and width of a bar of records that did not fit the buffer.
constexpr double OVER_SIDE_MIN = 8;

// The records of one length, as the report's "sizes" lists them.
struct SizeCount {
    uint64_t size;
    uint64_t count;
    uint64_t over;  // records of this size that were only a lower bound
};

// A bin of the histogram: the sizes first..last, inclusive, the records in
// it by whether their length is exact, and their bytes.
struct Bin {
    uint64_t first;
    uint64_t last;
    uint64_t exact;
    uint64_t over;
    uint64_t bytes;
};

// The lengths low..high that a log length axis spans.
struct Axis {
    double low;
    double high;
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
    for (char character : text) {
        switch (character) {
            case '&':
                *page += "&amp;";
                break;
            case '<':
                *page += "&lt;";
                break;
            case '>':
                *page += "&gt;";
                break;
            case '"':
                *page += "&quot;";
                break;
            default:
                *page += character;
        }
    }
}

std::vector<SizeCount> ReadSizes(const Json& report) {
    std::vector<SizeCount> sizes;
    for (const Json& entry : report["sizes"]) {
        sizes.push_back(SizeCount{entry["size"].get<uint64_t>(), entry["count"].get<uint64_t>(),
                                  entry["lowerBoundCount"].get<uint64_t>()});
    }
    return sizes;
}

uint64_t TotalBytes(const std::vector<SizeCount>& sizes) {
    uint64_t bytes = 0;
    for (const SizeCount& entry : sizes) bytes += entry.size * entry.count;
    return bytes;
}

// Where bin `index` of the log axis starts: ceil(2^(index/8)) bytes.
uint64_t BinStart(int index) {
    return static_cast<uint64_t>(std::ceil(std::exp2(index / BINS_PER_DOUBLING)));
}

// The first bin edge after `edge`: the next bin start or buffer limit. The
// search starts a bin below the one the logarithm names, so that its
// rounding cannot skip one.
uint64_t NextEdge(uint64_t edge) {
    int index = edge == 0 ? 0 : static_cast<int>(BINS_PER_DOUBLING * std::log2(edge)) - 1;
    uint64_t next = BinStart(index);
    while (next <= edge) next = BinStart(++index);
    for (uint64_t limit : BUFFER_LIMITS) {
        if (limit > edge && limit < next) next = limit;
    }
    return next;
}

// The bins that hold records, in ascending order: a bin for each size when
// `exact`, otherwise the bins of the log axis.
std::vector<Bin> MakeBins(const std::vector<SizeCount>& sizes, bool exact) {
    std::vector<Bin> bins;
    uint64_t edge = 0, next = 1;  // the log bin edge..next-1
    for (const SizeCount& entry : sizes) {
        if (exact) {
            bins.push_back(Bin{entry.size, entry.size, 0, 0, 0});
        } else {
            bool fresh = bins.empty();
            while (entry.size >= next) {
                edge = next;
                next = NextEdge(edge);
                fresh = true;
            }
            if (fresh) bins.push_back(Bin{edge, next - 1, 0, 0, 0});
        }
        Bin& bin = bins.back();
        bin.exact += entry.count - entry.over;
        bin.over += entry.over;
        bin.bytes += entry.size * entry.count;
    }
    return bins;
}

// Where `length` falls on a log length axis; length + 1, so that 0 has a place.
double LengthX(const Axis& axis, double length) {
    return LEFT + PLOT_WIDTH * (std::log2(length + 1) - std::log2(axis.low + 1)) /
                      (std::log2(axis.high + 1) - std::log2(axis.low + 1));
}

// An element's id and class: the class carries its style, the id ends in
// the section's suffix so that each stays unique on a page of several files.
std::string IdAndClass(const char* name, const std::string& suffix) {
    return std::string(" id=\"") + name + suffix + "\" class=\"" + name + "\"";
}

void OpenSvg(std::string* page, const char* name, const std::string& suffix, const char* label) {
    *page += "<svg" + IdAndClass(name, suffix) + " viewBox=\"0 0 " + Fixed(WIDTH, 0) + " " +
             Fixed(HEIGHT, 0) + "\" role=\"img\" aria-label=\"" + label + "\">\n";
}

void Text(std::string* page, double x, double y, const char* anchor, const std::string& text,
          const char* styleClass = "tick") {
    *page += "<text class=\"" + std::string(styleClass) + "\" x=\"" + Fixed(x, 1) + "\" y=\"" +
             Fixed(y, 1) + "\" text-anchor=\"" + anchor + "\">" + text + "</text>\n";
}

void Line(std::string* page, const char* styleClass, double x1, double y1, double x2, double y2) {
    *page += "<line class=\"" + std::string(styleClass) + "\" x1=\"" + Fixed(x1, 1) + "\" y1=\"" +
             Fixed(y1, 1) + "\" x2=\"" + Fixed(x2, 1) + "\" y2=\"" + Fixed(y2, 1) + "\"/>\n";
}

void Path(std::string* page, const char* styleClass, const std::string& data) {
    *page += std::string("<path class=\"") + styleClass + "\" d=\"" + data + "\"/>\n";
}

// Whether buffer limit `limitIndex` lies among the lengths charted.
bool LimitCharted(int limitIndex, uint64_t smallest, uint64_t largest) {
    return BUFFER_LIMITS[limitIndex] >= smallest && BUFFER_LIMITS[limitIndex] <= largest;
}

// The line of buffer limit `limitIndex` at x, its label below the other's.
void LimitMark(std::string* page, int limitIndex, double x) {
    Line(page, "limit", x, TOP, x, PLOT_BOTTOM);
    Text(page, x - 3, TOP + 10 + 13 * limitIndex, "end",
         Number(BUFFER_LIMITS[limitIndex]) + "-byte buffer", "limit");
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
    // 1, 10, 100, 1k ... 1G: decimal prefixes keep the labels apart.
    const char* const DIGITS[] = {"1", "10", "100"};
    const char* const PREFIXES[] = {"", "k", "M", "G"};
    Line(page, "axis", LEFT, PLOT_BOTTOM, LEFT + PLOT_WIDTH, PLOT_BOTTOM);
    std::string grid;
    int power = 0;
    for (double tick = 1; tick <= axis.high; tick *= 10, ++power) {
        if (tick < axis.low) continue;
        const double x = LengthX(axis, tick);
        if (several) {
            grid += "M" + Whole(x) + " " + Whole(TOP) + "v" + Whole(PLOT_HEIGHT);
        } else {
            Line(page, "grid", x, TOP, x, PLOT_BOTTOM);
        }
        Text(page, x, PLOT_BOTTOM + 16, "middle",
             std::string(DIGITS[power % 3]) + PREFIXES[power / 3]);
    }
    if (!grid.empty()) Path(page, "grid", grid);
    for (int limitIndex = 0; limitIndex < BUFFER_LIMIT_COUNT; ++limitIndex) {
        if (LimitCharted(limitIndex, smallest, largest)) {
            LimitMark(page, limitIndex, LengthX(axis, BUFFER_LIMITS[limitIndex]));
        }
    }
    Text(page, LEFT + PLOT_WIDTH / 2, HEIGHT - 8, "middle", "record length, bytes (log scale)",
         "label");
}

void Bar(std::string* page, const char* styleClass, double x, double width, double bottom,
         double height, const std::string& title) {
    *page += "<rect class=\"" + std::string(styleClass) + "\" x=\"" + Fixed(x, 2) + "\" y=\"" +
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

std::string BinRange(const Bin& bin) {
    return bin.first == bin.last ? Number(bin.first)
                                 : Number(bin.first) + "&#8211;" + Number(bin.last);
}

// The histogram's bars on one scale, as a share of the tallest bin's count:
// the records of exact length, and on top of them those that did not fit
// the buffer, however few, in a bar that shows and with their count beside it.
void HistogramBars(std::string* page, const std::vector<Bin>& bins, bool exact, const Axis& axis,
                   bool logScale, uint64_t tallest, bool several) {
    const double slot = PLOT_WIDTH / bins.size();
    double labelEnd = 0;  // where the last count of those that did not fit ends
    Bars exactBars{}, overBars{};
    std::string labels;  // on the page of several files, after the paths
    for (size_t index = 0; index < bins.size(); ++index) {
        const Bin& bin = bins[index];
        double x = LEFT + slot * (index + 0.1), width = slot * 0.8;
        if (!exact) {
            x = LengthX(axis, bin.first);
            width = std::max(LengthX(axis, bin.last + 1.0) - x - 0.5, 3.0);
        }
        const uint64_t count = bin.exact + bin.over;
        const double share = logScale ? std::log10(count + 1.0) / std::log10(tallest + 1.0)
                                      : static_cast<double>(count) / tallest;
        const double height = std::max(share * PLOT_HEIGHT, 1.0);
        const double exactHeight = height * bin.exact / count;
        const std::string title =
            BinRange(bin) + (bin.last == 1 ? " byte: " : " bytes: ") + Units(count, "record");
        if (bin.exact != 0 && several) {
            BarPath(&exactBars, x, width, PLOT_BOTTOM, std::max(exactHeight, 1.0));
        } else if (bin.exact != 0) {
            Bar(page, "exact", x, width, PLOT_BOTTOM, std::max(exactHeight, 1.0), title);
        }
        if (bin.over == 0) continue;
        const double overHeight = std::max(height - exactHeight, OVER_SIDE_MIN);
        const double overWidth = std::max(width, OVER_SIDE_MIN);
        if (several) {
            BarPath(&overBars, x, overWidth, PLOT_BOTTOM - exactHeight, overHeight);
        } else {
            Bar(page, "over", x, overWidth, PLOT_BOTTOM - exactHeight, overHeight,
                title + ", " + Number(bin.over) + " of them did not fit the buffer");
        }
        // A count that would overlap the one before it is left out.
        const std::string label = Number(bin.over) + " did not fit";
        const double labelWidth = 6.5 * label.size();
        const double start = std::min(x, WIDTH - labelWidth);
        if (start >= labelEnd) {
            Text(several ? &labels : page, start,
                 std::max(PLOT_BOTTOM - exactHeight - overHeight - 4, 10.0), "start", label,
                 "overcount");
            labelEnd = start + labelWidth + 4;
        }
    }
    if (!exactBars.path.empty()) Path(page, "exact", exactBars.path);
    if (!overBars.path.empty()) Path(page, "over", overBars.path);
    *page += labels;
}

// The length axis under a bar for each length: each bar's length, and a
// buffer limit's line before the first bar at or past it.
void ExactLengthAxis(std::string* page, const std::vector<Bin>& bins, uint64_t smallest,
                     uint64_t largest) {
    const double slot = PLOT_WIDTH / bins.size();
    Line(page, "axis", LEFT, PLOT_BOTTOM, LEFT + PLOT_WIDTH, PLOT_BOTTOM);
    for (size_t index = 0; index < bins.size(); ++index) {
        const double x = LEFT + slot * (index + 0.5);
        *page += "<text class=\"tick\" transform=\"translate(" + Fixed(x, 1) + " " +
                 Fixed(PLOT_BOTTOM + 12, 1) + ") rotate(-30)\" text-anchor=\"end\">" +
                 Number(bins[index].first) + "</text>\n";
    }
    for (int limitIndex = 0; limitIndex < BUFFER_LIMIT_COUNT; ++limitIndex) {
        if (!LimitCharted(limitIndex, smallest, largest)) continue;
        size_t index = 0;
        while (bins[index].first < BUFFER_LIMITS[limitIndex]) ++index;
        LimitMark(page, limitIndex, LEFT + slot * index);
    }
    Text(page, LEFT + PLOT_WIDTH / 2, HEIGHT - 4, "middle", "record length, bytes (each one)",
         "label");
}

// The histogram, with a checkbox before it that shows its log-scale bars
// instead (the style rule needs the two side by side).
void Histogram(std::string* page, const std::vector<Bin>& bins, bool exact, const Axis& axis,
               uint64_t smallest, uint64_t largest, const std::string& suffix) {
    const bool several = !suffix.empty();
    uint64_t tallest = 0;
    for (const Bin& bin : bins) tallest = std::max(tallest, bin.exact + bin.over);
    *page += "<input type=\"checkbox\"" + IdAndClass("logcounts", suffix) +
             "><label for=\"logcounts" + suffix + "\"> counts on a log scale</label>\n";
    OpenSvg(page, "histogram", suffix, "histogram of record lengths");
    for (bool logScale : {false, true}) {
        *page += logScale ? "<g class=\"log\">\n" : "<g class=\"lin\">\n";
        HistogramBars(page, bins, exact, axis, logScale, tallest, several);
        Text(page, LEFT - 6, TOP + 4, "end", Number(tallest));
        *page += "</g>\n";
    }
    Text(page, LEFT - 6, PLOT_BOTTOM + 4, "end", "0");
    Text(page, 14, TOP + PLOT_HEIGHT / 2, "middle", "records", "label vertical");
    if (exact) {
        ExactLengthAxis(page, bins, smallest, largest);
    } else {
        LengthAxis(page, axis, smallest, largest, several);
    }
    *page += "</svg>\n";
}

// A step line of the cumulative chart, its steps in tenths of a unit; on
// the page of several files in whole units from where the path has got to,
// a run up or along held back so that the steps that lengthen it make one.
struct StepLine {
    bool several;
    std::string path;
    long x;
    long y;
    long up;     // held back
    long along;  // held back
};

// Writes a run held back with `command`, if there is one.
void FlushRun(std::string* path, const char* command, long* run) {
    if (*run != 0) *path += command + std::to_string(*run);
    *run = 0;
}

// A step up to y, then along to x.
void Step(StepLine* line, double y, double x) {
    if (!line->several) {
        line->path += "V" + Fixed(y, 1) + "H" + Fixed(x, 1);
        return;
    }
    const long toY = std::lround(y), toX = std::lround(x);
    if (toY != line->y) {
        FlushRun(&line->path, "h", &line->along);
        line->up += toY - line->y;
    }
    if (toX != line->x) {
        FlushRun(&line->path, "v", &line->up);
        line->along += toX - line->x;
    }
    line->x = toX;
    line->y = toY;
}

// The share of the records and of the bytes at or below each length, as two
// step lines; lengths that fall on the same tenth of a unit make one step.
void Cumulative(std::string* page, const std::vector<SizeCount>& sizes, const Axis& axis,
                uint64_t smallest, uint64_t largest, const std::string& suffix) {
    const bool several = !suffix.empty();
    uint64_t records = 0;
    for (const SizeCount& entry : sizes) records += entry.count;
    const uint64_t bytes = TotalBytes(sizes);
    OpenSvg(page, "cumulative", suffix, "share of records and of bytes at or below each length");
    std::string grid;  // the page of several files draws the lines but the half as one path
    for (int percent = 0; percent <= 100; percent += 25) {
        const double y = PLOT_BOTTOM - PLOT_HEIGHT * percent / 100;
        if (several && percent != 50) {
            grid += "M" + Whole(LEFT) + " " + Whole(y) + "h" + Whole(PLOT_WIDTH);
        } else {
            Line(page, percent == 50 ? "grid half" : "grid", LEFT, y, LEFT + PLOT_WIDTH, y);
        }
        Text(page, LEFT - 6, y + 4, "end", Number(percent) + "%");
    }
    if (several) Path(page, "grid", grid);
    const double startX = LengthX(axis, axis.low);
    for (bool weighBytes : {false, true}) {
        const double total = weighBytes ? bytes : records;
        StepLine line{several, "M", std::lround(startX), std::lround(PLOT_BOTTOM), 0, 0};
        line.path += several ? Whole(startX) + " " + Whole(PLOT_BOTTOM)
                             : Fixed(startX, 1) + " " + Fixed(PLOT_BOTTOM, 1);
        double lastX = -1, y = PLOT_BOTTOM, below = 0;
        for (const SizeCount& entry : sizes) {
            below += weighBytes ? static_cast<double>(entry.size) * entry.count : entry.count;
            const double x = LengthX(axis, entry.size);
            if (std::fabs(x - lastX) >= 0.1) {
                Step(&line, y, x);
                lastX = x;
            }
            y = total == 0 ? PLOT_BOTTOM : PLOT_BOTTOM - PLOT_HEIGHT * below / total;
        }
        Step(&line, y, LengthX(axis, axis.high));
        FlushRun(&line.path, "v", &line.up);
        FlushRun(&line.path, "h", &line.along);
        Path(page, weighBytes ? "bytes" : "records", line.path);
    }
    LengthAxis(page, axis, smallest, largest, several);
    *page += "</svg>\n<p class=\"legend\"><span class=\"key records\"></span> records "
             "<span class=\"key bytes\"></span> bytes, at or below each length</p>\n";
}

// One figure: a label, the JSON member's value in a span named after it,
// and words after it.
void Figure(std::string* page, const char* label, const char* key, const std::string& value,
            const std::string& after = "") {
    *page += std::string("<tr><th>") + label + "</th><td>";
    if (key != nullptr) *page += std::string("<span data-key=\"") + key + "\">";
    AppendEscaped(page, value);
    if (key != nullptr) *page += "</span>";
    *page += after + "</td></tr>\n";
}

std::string Value(const Json& value) {
    if (value.is_number_float()) return Fixed(value.get<double>(), 1);
    if (value.is_string()) return value.get<std::string>();
    return value.dump();
}

// A figure counted in `unit`s, the unit after it and then `after`.
void UnitFigure(std::string* page, const char* label, const char* key, const Json& value,
                const char* unit, const std::string& after = "") {
    Figure(page, label, key, Value(value), UnitAfter(value, unit) + after);
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

// The smallest length at or below which half the bytes lie.
uint64_t HalfBytesSize(const std::vector<SizeCount>& sizes) {
    const uint64_t bytes = TotalBytes(sizes);
    uint64_t half = 0, below = 0;
    for (const SizeCount& entry : sizes) {
        below += entry.size * entry.count;
        half = entry.size;
        if (below * 2 >= bytes) break;
    }
    return half;
}

void Figures(std::string* page, const Json& report, const std::vector<SizeCount>& sizes,
             const std::string& made, const std::string& suffix) {
    const std::string atLeast = report["totalIsLowerBound"].get<bool>()
                                    ? " (at least: some records did not fit the buffer)"
                                    : "";
    const std::string scanEnd = report["scanEnd"].get<std::string>();
    *page += "<table" + IdAndClass("figures", suffix) + ">\n";
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
        UnitFigure(page, "Smallest", "smallestSize", report["smallestSize"], "byte");
        UnitFigure(page, "Largest", "largestSize", report["largestSize"], "byte",
                   report["overflowSeen"].get<bool>() ? " or more" : "");
    }
    if (!report["meanSize"].is_null()) {
        UnitFigure(page, "Mean", "meanSize", report["meanSize"], "byte", atLeast);
    }
    UnitFigure(page, "Total", "totalBytes", report["totalBytes"], "byte", atLeast);
    const Json& percentiles = report["percentiles"];
    if (!percentiles.is_null()) {
        UnitFigure(page, "Median (50%)", "p50", percentiles["p50"], "byte", " or less");
        UnitFigure(page, "90% of records", "p90", percentiles["p90"], "byte", " or less");
        UnitFigure(page, "99% of records", "p99", percentiles["p99"], "byte", " or less");
        UnitFigure(page, "99.9% of records", "p99_9", percentiles["p99_9"], "byte", " or less");
        UnitFigure(page, "Half the bytes in records of", "bytesHalf", HalfBytesSize(sizes), "byte",
                   " or more");
    }
    Figure(page, "Records that did not fit", "lowerBoundRecords",
           Value(report["lowerBoundRecords"]),
           suffix.empty() ? " (" + OverWords(report["probe"]) + ")" : "");
    const Json& truncation = report["truncation"];
    if (!truncation.is_null()) {
        const bool dryRun = truncation["dryRun"].get<bool>();
        const std::string option = "/T" + Value(truncation["minimum"]) + (dryRun ? " /N" : "");
        UnitFigure(page, dryRun ? "/T would update" : "/T updated", "updatedCount",
                   truncation["updatedCount"], "record", " (" + option + ")");
        UnitFigure(page, dryRun ? "/T would free" : "/T freed", "freedBytes",
                   truncation["freedBytes"], "byte");
    }
    *page += "</table>\n";
}

// A scan that stopped short of the end of the file, said before the
// figures: what stopped it, where, and what the figures then cover.
void EndNotice(std::string* page, const Json& report, const std::string& suffix) {
    const std::string scanEnd = report["scanEnd"].get<std::string>();
    const bool notLoaded = report["endedByStatus20"].get<bool>();
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
    *page += "<p" + IdAndClass("ended", suffix) +
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
    *page += "<table" + IdAndClass("bins", suffix) +
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
    const std::vector<SizeCount> sizes = ReadSizes(report);
    const std::string heading = suffix.empty() ? "h2>" : "h3>";
    EndNotice(page, report, suffix);
    Figures(page, report, sizes, made, suffix);
    if (sizes.empty()) {
        *page += "<p" + IdAndClass("nosizes", suffix) + ">No record lengths were kept";
        *page += report["truncation"].is_null() ? ": no record was counted.</p>\n"
                                                : ": the /T scan measures none.</p>\n";
        return;
    }
    const bool exact = sizes.size() <= EXACT_BARS_MAX;
    const std::vector<Bin> bins = MakeBins(sizes, exact);
    const uint64_t smallest = sizes.front().size, largest = sizes.back().size;
    const Axis axis =
        exact ? Axis{smallest / 2.0, largest * 2.0 + 1}
              : Axis{static_cast<double>(bins.front().first), (bins.back().last + 1.0) * 1.2};
    *page += "<div class=\"chart\">\n<" + heading + "Histogram</" + heading + "\n";
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
    *page += "</div>\n<div class=\"chart\">\n<" + heading + "Cumulative</" + heading + "\n";
    Cumulative(page, sizes, axis, smallest, largest, suffix);
    *page += "</div>\n";
    if (suffix.empty()) {  // on the page of several files, too heavy a thousand times over
        *page += "<h2>Bins</h2>\n";
        BinTable(page, bins, suffix);
    }
}

// The JSON document at the end of the page, with the closing tags.
void Tail(std::string* page, const std::string& jsonText) {
    *page += "<h2>The JSON report</h2>\n<p>The same document as <code>/J=FILE.json</code> writes "
             "for this run, in the element <code>recmeter-report</code>.</p>\n"
             "<script type=\"application/json\" id=\"recmeter-report\">";
    for (char character : jsonText) {
        if (character == '<') {
            *page += "\\u003c";
        } else {
            *page += character;
        }
    }
    *page += "</script>\n</body>\n</html>\n";
}

// A count of a summary row, 0 where it has none.
uint64_t Count(const Json& row, const char* key) {
    const auto it = row.find(key);
    return it != row.end() && it->is_number_unsigned() ? it->get<uint64_t>() : 0;
}

// Whether a summary row has `key` and it is true (the total's "failed" is a
// count, never true).
bool Flag(const Json& row, const char* key) {
    const auto it = row.find(key);
    return it != row.end() && *it == true;
}

// A figure of a summary row as a cell, a dash where it has none.
std::string Cell(const Json& row, const char* key, const char* after = "") {
    const auto it = row.find(key);
    if (it == row.end() || it->is_null()) return "<td>&#8211;</td>";
    return "<td>" + Value(*it) + after + "</td>";
}

void AddNote(std::string* notes, const char* note) {
    *notes += (notes->empty() ? "" : "; ") + std::string(note);
}

// What a reader should look at in a summary row, in words: records over a
// buffer, a file not read to its end or at all, updates refused; "" for
// none. The row of the total has no outcome of its own.
std::string Notes(const Json& row) {
    const std::string outcome = row.value("outcome", std::string());
    std::string notes;
    if (Count(row, "overStandardCount") + Count(row, "overExtendedCount") != 0 ||
        Flag(row, "overflowSeen")) {
        AddNote(&notes, "records over a buffer");
    }
    if (outcome == "scanned" && row["ended"].get<std::string>().rfind("end of file", 0) != 0) {
        AddNote(&notes, "ended early");
    }
    if (outcome == "notOpened" || outcome == "noMatch" || outcome == "notScanned") {
        AddNote(&notes, "not read");
    }
    if (Count(row, "refusedUpdates") != 0) AddNote(&notes, "updates refused");
    if (notes.empty() && Flag(row, "failed")) AddNote(&notes, "failed");
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
                 Cell(row, "largestSize", Flag(row, "overflowSeen") ? "+" : "") +
                 Cell(row, "overStandardCount") + Cell(row, "overExtendedCount");
    }
    *page += "<td>";
    AppendEscaped(page, ended);
    *page += "</td><td>" + (notes.empty() ? "" : "<strong>" + notes + "</strong>") + "</td></tr>\n";
}
// The table of the files, each linked to its section when it has one, and
// the total; the figures of /T in a run of /T, the sizes otherwise.
void SummaryTable(std::string* page, const Json& summary, bool truncating, bool dryRun) {
    *page += "<table id=\"summary\" class=\"summary\">\n<thead><tr><th>File</th><th>Records</th>";
    *page += truncating ? dryRun ? "<th>Would update</th><th>Would free, bytes</th>"
                                 : "<th>Updated</th><th>Freed, bytes</th>"
                        : "<th>Smallest, bytes</th><th>Largest, bytes</th>";
    *page += truncating ? "<th>Updates refused</th>" : "<th>Over 64000</th><th>Over 258048</th>";
    *page += "<th>Ended</th><th>Notes</th></tr></thead>\n<tbody>\n";
    for (const Json& row : summary["files"]) {
        const bool linked = !row["document"].is_null();
        std::string first = "<td>";
        if (linked) first += "<a href=\"#file-" + Value(row["document"]) + "\">";
        AppendEscaped(&first, row["path"].get<std::string>());
        first += linked ? "</a></td>" : "</td>";
        SummaryRow(page, row, truncating, first, row["ended"].get<std::string>());
    }
    *page += "</tbody>\n<tfoot>\n";
    const Json& total = summary["total"];
    const uint64_t failed = total["failed"].get<uint64_t>();
    SummaryRow(page, total, truncating, "<th>Total</th>",
               Units(total["files"].get<uint64_t>(), "file") +
                   (failed == 0 ? "" : ", " + Number(failed) + " failed"));
    *page += "</tfoot>\n</table>\n";
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
    *page += ".</p>\n";
    SummaryTable(page, summary, truncating, dryRun);
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

// True when `path` ends in `ending`, which is in lower case, the path's ASCII
// letters in either case (the bytes of other encodings stay as they are).
bool EndsInFolded(const char* path, const char* ending) {
    const size_t pathLength = strlen(path), endingLength = strlen(ending);
    if (pathLength < endingLength) return false;
    const char* tail = path + pathLength - endingLength;
    for (size_t index = 0; index < endingLength; ++index) {
        char letter = tail[index];
        if (letter >= 'A' && letter <= 'Z') letter += 'a' - 'A';
        if (letter != ending[index]) return false;
    }
    return true;
}

}  // namespace

bool ReportIsHtml(const char* path) {
    return EndsInFolded(path, ".html") || EndsInFolded(path, ".htm");
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

// The JSON document and the report file. This is the one place that calls the JSON library, which
// reports failures by throwing: everything that may throw stays inside
// BuildJsonReport, which answers with a status like the rest of the program.
#include "report/json_report.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "cli/run_options.h"
#include "console/files.h"
#include "console/output.h"
#include "engine/engine.h"
#include "program_version.h"
#include "report/html_report.h"
#include "report/summary.h"
#include "report/totals.h"

std::vector<std::string> fileDocuments;

namespace {

// The program and its version, as every document names them.
constexpr char PROGRAM_NAME[] = "Recmeter " PROGRAM_VERSION;

using Json = nlohmann::ordered_json;

// Percentiles of the distribution, in thousandths, with their keys.
const struct {
    const char* key;
    uint64_t permille;
} PERCENTILES[] = {{"p50", 500}, {"p90", 900}, {"p99", 990}, {"p99_9", 999}, {"max", 1000}};

Json EngineVersionObject() {
    EngineVersionEntry entries[VERSION_ENTRIES_MAX];
    int status = 0;
    int count = EngineVersionReply(entries, &status);
    Json list = Json::array();
    for (int index = 0; index < count; ++index) {
        list.push_back(Json{{"version", entries[index].version},
                            {"revision", entries[index].revision},
                            {"platform", std::string(1, entries[index].platform)}});
    }
    return Json{{"status", status}, {"entries", list}};
}

// /B's probe, when the scan used it (/T's scan never does).
Json ProbeObject() {
    if (runOptions.probeMegabytes == 0 || runOptions.truncateMin != 0) return nullptr;
    return Json{{"megabytes", runOptions.probeMegabytes}, {"granularity", runOptions.granularity}};
}

Json TruncationObject() {
    if (runOptions.truncateMin == 0) return nullptr;
    const bool journalled = runOptions.undoPath[0] != '\0';
    return Json{{"minimum", runOptions.truncateMin},
                {"dryRun", runOptions.dryRun != 0},
                {"updatedCount", runTotals.updatedCount},
                {"freedBytes", runTotals.freedBytes},
                {"undoJournal", journalled ? Json(runOptions.undoPath) : Json(nullptr)},
                {"journalEntries", journalled ? Json(runTotals.journalEntries) : Json(nullptr)},
                {"leftAloneCount", runTotals.leftAloneCount},
                {"journalFailed", runTotals.journalFailed != 0}};
}

Json RestoreObject() {
    if (runOptions.restorePath[0] == '\0') return nullptr;
    return Json{{"undoJournal", runOptions.restorePath},
                {"dryRun", runOptions.dryRun != 0},
                {"restoredCount", runTotals.restoredCount},
                {"alreadyRestoredCount", runTotals.alreadyRestoredCount},
                {"leftAloneCount", runTotals.leftAloneCount},
                {"refusedCount", runTotals.refusedRestoreCount},
                {"journalFailed", runTotals.journalFailed != 0}};
}

// The sizes, the totals over them and the percentiles (nearest rank: the
// smallest size at or below which at least that share of the records lie).
void AddDistribution(Json* report) {
    Json sizes = Json::array();
    uint64_t counted = 0;
    uint64_t lowerBounds = 0;
    uint64_t totalBytes = 0;
    for (const SizeEntry* entry = sizeList; entry != nullptr; entry = entry->next) {
        sizes.push_back(Json{{"size", entry->size},
                             {"count", entry->count},
                             {"lowerBound", entry->mark != 0},
                             {"lowerBoundCount", entry->lowerBoundCount}});
        counted += entry->count;
        lowerBounds += entry->lowerBoundCount;
        totalBytes += static_cast<uint64_t>(entry->size) * entry->count;
    }
    Json percentiles = nullptr;
    if (counted != 0) {
        percentiles = Json::object();
        const SizeEntry* entry = sizeList;
        uint64_t below = entry->count;  // records of this entry's size or smaller
        for (const auto& percentile : PERCENTILES) {
            uint64_t rank = (counted * percentile.permille + 999) / 1000;
            while (below < rank) {
                entry = entry->next;
                below += entry->count;
            }
            percentiles[percentile.key] = entry->size;
        }
    }
    (*report)["countedRecords"] = counted;
    (*report)["lowerBoundRecords"] = lowerBounds;
    (*report)["totalBytes"] = totalBytes;
    (*report)["totalIsLowerBound"] = runTotals.overflowSeen != 0;
    (*report)["meanSize"] =
        counted == 0 ? Json(nullptr) : Json(static_cast<double>(totalBytes) / counted);
    (*report)["percentiles"] = percentiles;
    (*report)["sizes"] = sizes;
}

Json ReportObject() {
    // The truncation scan reads through the standard entry whatever the engine.
    const bool extendedReads = runOptions.truncateMin == 0 && extendedMode == 1;
    const char* scanEnd = runTotals.scanCancelled                          ? "cancelled"
                          : runTotals.scanStatus == STATUS_END_OF_FILE ? "end"
                                                                       : "status";
    Json report = {
        {"schemaVersion", JSON_SCHEMA_VERSION},
        {"program", PROGRAM_NAME},
        {"path", runOptions.path},
        {"engineVersion", EngineVersionObject()},
        {"readEntry", extendedReads ? "extended" : "standard"},
        {"scanEnd", scanEnd},
        {"scanStatus", runTotals.scanCancelled ? Json(nullptr) : Json(runTotals.scanStatus)},
        {"endedByStatus20", runTotals.endedByStatus20 != 0},
        {"scannedCount", runTotals.scannedCount},
        {"truncation", TruncationObject()},
        {"restore", RestoreObject()},
        {"probe", ProbeObject()},
    };
    const bool sized = runTotals.scannedCount != 0;
    report["smallestSize"] = sized ? Json(runTotals.smallestSize) : Json(nullptr);
    report["largestSize"] = sized ? Json(runTotals.largestSize) : Json(nullptr);
    report["overflowSeen"] = runTotals.overflowSeen != 0;
    AddDistribution(&report);
    return report;
}

const char* OutcomeName(const FileResult& file) {
    switch (file.outcome) {
        case FILE_SCANNED: return "scanned";
        case FILE_NOT_OPENED: return "notOpened";
        case FILE_SKIPPED: return "skipped";
        case FILE_NO_MATCH: return "noMatch";
        default: return "notScanned";
    }
}

// The figures of a scanned file, or of all of them: null where there are
// none (sizes under /T, or without a record).
void AddFigures(Json* row, uint64_t scanned, uint64_t updated, uint64_t freed, uint64_t refused,
                uint64_t overStandard, uint64_t overExtended, bool sized, uint32_t smallest,
                uint32_t largest, bool overflowSeen) {
    const bool truncating = runOptions.truncateMin != 0;
    (*row)["scannedCount"] = scanned;
    (*row)["smallestSize"] = sized ? Json(smallest) : Json(nullptr);
    (*row)["largestSize"] = sized ? Json(largest) : Json(nullptr);
    (*row)["overflowSeen"] = overflowSeen;
    (*row)["overStandardCount"] = truncating ? Json(nullptr) : Json(overStandard);
    (*row)["overExtendedCount"] = truncating ? Json(nullptr) : Json(overExtended);
    (*row)["updatedCount"] = truncating ? Json(updated) : Json(nullptr);
    (*row)["freedBytes"] = truncating ? Json(freed) : Json(nullptr);
    (*row)["refusedUpdates"] = truncating ? Json(refused) : Json(nullptr);
}

Json SummaryObject() {
    Json files = Json::array();
    for (const FileResult& file : fileResults) {
        Json row = {{"path", file.path},
                    {"outcome", OutcomeName(file)},
                    {"ended", DescribeOutcome(file)},
                    {"failed", file.failed != 0},
                    {"document", file.document >= 0 ? Json(file.document) : Json(nullptr)}};
        if (file.outcome == FILE_NOT_OPENED || file.outcome == FILE_SKIPPED) {
            row["openStatus"] = file.status;
        }
        if (file.outcome == FILE_SCANNED) {
            const RunTotals& t = file.totals;
            row["scanStatus"] = t.scanCancelled ? Json(nullptr) : Json(t.scanStatus);
            AddFigures(&row, t.scannedCount, t.updatedCount, t.freedBytes, file.refusedUpdates,
                       t.overStandardCount, t.overExtendedCount,
                       t.scannedCount != 0 && runOptions.truncateMin == 0, t.smallestSize,
                       t.largestSize, t.overflowSeen != 0);
        }
        files.push_back(row);
    }
    const SummaryTotals sum = AddUpFiles();
    Json total = {{"files", fileResults.size()}, {"failed", sum.failed}};
    AddFigures(&total, sum.scanned, sum.updated, sum.freed, sum.refused, sum.overStandard,
               sum.overExtended, sum.sized != 0, sum.smallest, sum.largest, sum.overflowSeen != 0);
    return Json{{"files", files}, {"total", total}};
}

// `text` with `spaces` blanks after each of its line ends.
std::string Indented(const std::string& text, int spaces) {
    std::string indented;
    indented.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        indented += c;
        if (c == '\n') indented.append(static_cast<size_t>(spaces), ' ');
    }
    return indented;
}

// The report of a run over several files: the documents of the files
// scanned, each as a run on it alone writes it, and the summary. Written
// as the JSON library would write the whole, without building it again.
int BuildSeveralReport(std::string* text) {
    try {
        *text = "{\n  \"schemaVersion\": " + std::to_string(JSON_SCHEMA_VERSION) +
                ",\n  \"program\": \"" + PROGRAM_NAME + "\",\n  \"files\": [";
        for (size_t index = 0; index < fileDocuments.size(); ++index) {
            std::string document = fileDocuments[index];
            if (!document.empty() && document.back() == '\n') document.pop_back();
            *text += index == 0 ? "\n    " : ",\n    ";
            *text += Indented(document, 4);
        }
        *text += fileDocuments.empty() ? "]" : "\n  ]";
        *text += ",\n  \"summary\": ";
        *text += Indented(SummaryObject().dump(2, ' ', false, Json::error_handler_t::replace), 2);
        *text += "\n}\n";
        return 0;
    } catch (...) {
        return 1;
    }
}

// What a report of this program begins with: a JSON document its first
// members, a page its head with the generator line (or, written before that
// line, the head as it then stood).
constexpr size_t MARK_SEARCH_BYTES = 4096;
const char JSON_START[] = "{\n  \"schemaVersion\": ";
const char JSON_MARK[] = ",\n  \"program\": \"Recmeter ";
const char PAGE_START[] = "<!DOCTYPE html>\n";
const char PAGE_MARK[] = "<meta name=\"generator\" content=\"Recmeter\">";
const char EARLIER_PAGE_START[] =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'\">\n"
    "<meta name=\"viewport\" content=\"width=device-width\">\n<title>Record lengths: ";

bool StartsWith(const std::string& text, const char* start) {
    return text.compare(0, strlen(start), start) == 0;
}

// The message for a report file that cannot be written, by its reason.
int RefuseReportFile(int reason) {
    if (reason == WHOLE_FILE_NOT_OURS) {
        ErrorPrintf("The JSON report %s would replace a file that is not a report of this "
                    "program.\n",
                    runOptions.reportPath);
    } else {
        ErrorPrintf("Unable to write JSON report to %s.\n", runOptions.reportPath);
    }
    return 1;
}

}  // namespace

int IsReportOfThisProgram(const char* existing) {
    FILE* file = fopen(existing, "rb");
    if (file == nullptr) return 0;
    std::string start(MARK_SEARCH_BYTES, '\0');
    start.resize(fread(&start[0], 1, start.size(), file));
    const bool unreadable = ferror(file) != 0;
    fclose(file);
    if (unreadable) return 0;
    if (start.empty()) return 1;  // an empty file holds nothing to lose
    if (StartsWith(start, JSON_START)) return start.find(JSON_MARK) != std::string::npos;
    if (StartsWith(start, EARLIER_PAGE_START)) return 1;
    return StartsWith(start, PAGE_START) && start.find(PAGE_MARK) != std::string::npos;
}

int BuildJsonReport(std::string* text) {
    try {
        *text = ReportObject().dump(2, ' ', false, Json::error_handler_t::replace);
        *text += '\n';
        return 0;
    } catch (...) {
        return 1;
    }
}

int PrepareReportFile() {
    if (runOptions.reportPath[0] == '\0') return 0;
    for (const FileResult& file : fileResults) {
        if (file.outcome == FILE_NO_MATCH) continue;
        if (SameExistingFile(runOptions.reportPath, file.path.c_str())) {
            ErrorPrintf("The JSON report %s would overwrite the data file.\n",
                        runOptions.reportPath);
            return 1;
        }
    }
    int reason = CheckWholeFileTarget(runOptions.reportPath, IsReportOfThisProgram);
    return reason == 0 ? 0 : RefuseReportFile(reason);
}

int WriteReportText(const std::string& text) {
    // The text report first, should both land in one place (/J=/dev/stdout).
    FlushStandardOutput();
    int reason =
        WriteWholeFile(runOptions.reportPath, text.data(), text.size(), IsReportOfThisProgram);
    return reason == 0 ? 0 : RefuseReportFile(reason);
}

int KeepFileDocument(int* index) {
    std::string text;
    if (BuildJsonReport(&text) != 0) return RefuseReportFile(WHOLE_FILE_UNWRITABLE);
    *index = static_cast<int>(fileDocuments.size());
    fileDocuments.push_back(std::move(text));
    return 0;
}

namespace {

// Builds the report with `build`, as a page when the name ends in .html or
// .htm, and writes it.
int WriteReport(int (*build)(std::string*)) {
    std::string text;
    std::string page;
    int status = build(&text);
    if (status == 0 && ReportIsHtml(runOptions.reportPath)) {
        status = BuildHtmlReport(text, &page);
        text.swap(page);
    }
    if (status != 0) return RefuseReportFile(WHOLE_FILE_UNWRITABLE);
    return WriteReportText(text);
}

}  // namespace

int WriteReportFile() {
    return WriteReport(BuildJsonReport);
}

int WriteSeveralReportFile() {
    return WriteReport(BuildSeveralReport);
}

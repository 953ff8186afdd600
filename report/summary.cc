#include "report/summary.h"

#include <cstdio>

#include "cli/run_options.h"
#include "console/output.h"
#include "engine/engine.h"

std::vector<FileResult> fileResults;

namespace {

constexpr char DASH[] = "-";

const char* Digits(uint64_t value, char* text) {
    return FormatUnsigned64(value, text);
}

// The columns of a line: the scans' sizes, or what /T did.
void PrintColumns(const char* records, const char* second, const char* third, char mark,
                  const char* fourth, const char* fifth, const std::string& ended,
                  const std::string& path) {
    if (runOptions.truncateMin != 0) {
        OutputPrintf("%10s %10s %14s %8s  %-22s %s\n", records, second, third, fourth,
                     ended.c_str(), path.c_str());
    } else {
        OutputPrintf("%10s %10s %10s%c %11s %11s  %-22s %s\n", records, second, third, mark,
                     fourth, fifth, ended.c_str(), path.c_str());
    }
}

void PrintFileLine(const FileResult& file) {
    const std::string ended = DescribeOutcome(file);
    if (file.outcome != FILE_SCANNED) {
        PrintColumns(DASH, DASH, DASH, ' ', DASH, DASH, ended, file.path);
        return;
    }
    const RunTotals& totals = file.totals;
    char records[24], second[24], third[24], fourth[24], fifth[24];
    Digits(totals.scannedCount, records);
    if (runOptions.truncateMin != 0) {
        PrintColumns(records, Digits(totals.updatedCount, second), Digits(totals.freedBytes, third),
                     ' ', Digits(file.refusedUpdates, fourth), DASH, ended, file.path);
    } else if (totals.scannedCount == 0) {
        PrintColumns(records, DASH, DASH, ' ', DASH, DASH, ended, file.path);
    } else {
        PrintColumns(records, Digits(totals.smallestSize, second), Digits(totals.largestSize, third),
                     totals.overflowSeen ? '+' : ' ', Digits(totals.overStandardCount, fourth),
                     Digits(totals.overExtendedCount, fifth), ended, file.path);
    }
}

}  // namespace

SummaryTotals AddUpFiles() {
    SummaryTotals sum{};
    for (const FileResult& file : fileResults) {
        sum.failed += file.failed ? 1 : 0;
        if (file.outcome != FILE_SCANNED) continue;
        const RunTotals& totals = file.totals;
        sum.scanned += totals.scannedCount;
        sum.updated += totals.updatedCount;
        sum.freed += totals.freedBytes;
        sum.refused += file.refusedUpdates;
        sum.overStandard += totals.overStandardCount;
        sum.overExtended += totals.overExtendedCount;
        sum.overflowSeen |= totals.overflowSeen;
        if (totals.scannedCount == 0 || runOptions.truncateMin != 0) continue;
        if (!sum.sized || totals.smallestSize < sum.smallest) sum.smallest = totals.smallestSize;
        if (!sum.sized || totals.largestSize > sum.largest) sum.largest = totals.largestSize;
        sum.sized = 1;
    }
    return sum;
}

std::string DescribeOutcome(const FileResult& file) {
    char text[48];
    switch (file.outcome) {
        case FILE_SCANNED:
            if (file.totals.scanCancelled) return "Esc";
            if (file.totals.scanStatus != STATUS_END_OF_FILE) {
                snprintf(text, sizeof text, "status %d", file.totals.scanStatus);
                return text;
            }
            if (file.totals.endedByStatus20) return "end of file; status 20";
            if (file.refusedUpdates != 0) return "end of file; refused";
            return file.failed ? "end of file; Close refused" : "end of file";
        case FILE_NOT_OPENED:
            if (file.status == 0) return "path too long";
            snprintf(text, sizeof text, "not opened: %d", file.status);
            return text;
        case FILE_SKIPPED:
            return "skipped: not data";
        case FILE_NO_MATCH:
            return file.noMatch == NO_MATCH_UNREADABLE     ? "folder unreadable"
                   : file.noMatch == NO_MATCH_EMPTY_FOLDER ? "no file in folder"
                                                           : "no file matches";
        default:
            return "not scanned";
    }
}

void ReportNoMatch(const FileResult& file) {
    const char* path = file.path.c_str();
    if (file.noMatch == NO_MATCH_UNREADABLE) {
        ErrorPrintf("Unable to read folder %s.\n", path);
    } else if (file.noMatch == NO_MATCH_EMPTY_FOLDER) {
        ErrorPrintf("No file in folder %s.\n", path);
    } else {
        ErrorPrintf("No file matches %s.\n", path);
    }
}

void PrintSummary() {
    OutputEndLine();
    const bool truncating = runOptions.truncateMin != 0;
    char count[24];
    const char* files = fileResults.size() == 1 ? "file" : "files";
    OutputPrintf("\nSummary of %s %s:\n", Digits(fileResults.size(), count), files);
    if (truncating) {
        const bool dry = runOptions.dryRun != 0;
        PrintColumns("Records", dry ? "To update" : "Updated", dry ? "Bytes to free" : "Bytes freed",
                     ' ', "Refused", DASH, "Ended", "File");
    } else {
        PrintColumns("Records", "Smallest", "Largest", ' ', "Over 64000", "Over 258048", "Ended",
                     "File");
    }
    for (const FileResult& file : fileResults) PrintFileLine(file);
    const SummaryTotals sum = AddUpFiles();
    char records[24], second[24], third[24], fourth[24], fifth[24], failed[24];
    const std::string ended = std::string(Digits(fileResults.size(), count)) + " " + files +
                              ", " + Digits(sum.failed, failed) + " failed";
    Digits(sum.scanned, records);
    if (truncating) {
        PrintColumns(records, Digits(sum.updated, second), Digits(sum.freed, third), ' ',
                     Digits(sum.refused, fourth), DASH, ended, "(total)");
    } else if (!sum.sized) {
        PrintColumns(records, DASH, DASH, ' ', DASH, DASH, ended, "(total)");
    } else {
        PrintColumns(records, Digits(sum.smallest, second), Digits(sum.largest, third),
                     sum.overflowSeen ? '+' : ' ', Digits(sum.overStandard, fourth),
                     Digits(sum.overExtended, fifth), ended, "(total)");
    }
}

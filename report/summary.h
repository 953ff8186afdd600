// A run over several files: what became of each file named, and the
// summary that follows their reports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "report/totals.h"

enum FileOutcome {
    FILE_WAITING,      // not reached yet
    FILE_SCANNED,      // opened and scanned, to its end or cut short
    FILE_NOT_OPENED,   // the Open failed (status), or the path was too long (status 0)
    FILE_SKIPPED,      // listed by a folder or pattern, and no data file (status 30)
    FILE_NOT_SCANNED,  // the run ended before it: Esc, or status 20
    FILE_NO_MATCH,     // a pattern or folder that named no file: the path is the argument
};

enum NoMatch { NO_MATCH_PATTERN, NO_MATCH_EMPTY_FOLDER, NO_MATCH_UNREADABLE };

struct FileResult {
    std::string path;
    int listed;    // named by a folder or a pattern
    int outcome;   // a FileOutcome
    int status;    // FILE_NOT_OPENED: the Open's; FILE_SCANNED: the one that ended the scan
    int failed;    // the file counts against the run: its exit code is 1
    RunTotals totals;        // FILE_SCANNED: what the scan learnt
    uint32_t refusedUpdates; // FILE_SCANNED: Updates the engine refused under /T
    int closeStatus;         // FILE_SCANNED: the Close's status
    int noMatch;             // FILE_NO_MATCH: why (a NoMatch)
    int document;            // with /J: its document's place in the list; -1 for none
};

// Every file of the run, in the order scanned. With one file named on its
// own the list holds that file, and no summary is printed.
extern std::vector<FileResult> fileResults;

// The figures of every file scanned, added up; sizes over the files that
// have them (none under /T, which measures no sizes).
struct SummaryTotals {
    uint64_t scanned;
    uint64_t updated;
    uint64_t freed;
    uint64_t refused;
    uint64_t overStandard;
    uint64_t overExtended;
    uint32_t smallest;
    uint32_t largest;
    int sized;  // some file had a record
    int overflowSeen;
    uint32_t failed;  // files that count against the run
};
SummaryTotals AddUpFiles();

// The line on standard error for a row of FILE_NO_MATCH, when its turn
// comes: "No file matches ...", "No file in folder ...", "Unable to read
// folder ...".
void ReportNoMatch(const FileResult& file);

// What a row says of how its file ended, for the summary and the page:
// "end of file", "Esc", "status 2", "not opened: 12", ...
std::string DescribeOutcome(const FileResult& file);

// The summary on standard output: a header, an aligned line for each file
// with its path last, and a total line.
void PrintSummary();

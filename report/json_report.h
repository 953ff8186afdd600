// The run's report as a JSON document, for scripts, and the report file
// (/J=FILE) that carries it: the document itself, or a page made from it.
#pragma once

#include <string>
#include <vector>

constexpr int JSON_SCHEMA_VERSION = 1;

// The report of the run that just ended, as one JSON object, indented, with
// a line end after it. Bytes of the data file's path that are not UTF-8 come
// out as U+FFFD. Returns 0, or 1 when the document could not be made.
int BuildJsonReport(std::string* text);

// Nonzero when the existing file at `existing` may be replaced by a report:
// it is empty, or a report this program wrote (a JSON document whose first
// members are "schemaVersion" and a "program" of "Recmeter ...", or a page
// whose head carries <meta name="generator" content="Recmeter">).
int IsReportOfThisProgram(const char* existing);

// Before the data file is opened: refuses a report that is the data file
// itself (by identity, links followed), an existing file that is not a
// report of this program, and one that could not be written for a reason
// known now (see CheckWholeFileTarget). Nothing to do without /J.
// Returns 0, or 1 after a message on standard error.
int PrepareReportFile();

// Writes `text` to runOptions.reportPath the safe way (see WriteWholeFile):
// a reader never sees half a document. Returns 0, or 1 after a message on
// standard error.
int WriteReportText(const std::string& text);

// In a run over several files: builds the document of the file just
// scanned and keeps it for the run's report, setting *index to its place.
// Returns 0, or 1 after a message on standard error.
int KeepFileDocument(int* index);
// The documents of the files a run over several files has scanned so far.
extern std::vector<std::string> fileDocuments;

// The report of a run over several files, written once all are scanned:
// one document with the kept documents in a list ("files") and the summary
// of every file named ("summary"); a page when the name ends in .html or
// .htm. Returns 0, or 1 after a message on standard error.
int WriteSeveralReportFile();

// Builds the JSON document, or the page that carries it when the name ends
// in .html or .htm, and writes it to the report file with WriteReportText. Returns 0, or 1
// after a message on standard error.
int WriteReportFile();

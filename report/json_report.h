// The run's report as a JSON document, for scripts (/J=FILE).
#pragma once

#include <string>

constexpr int JSON_SCHEMA_VERSION = 1;

// The report of the run that just ended, as one JSON object, indented, with
// a line end after it. Bytes of the data file's path that are not UTF-8 come
// out as U+FFFD. Returns 0, or 1 when the document could not be made.
int BuildJsonReport(std::string* text);

// Writes `text` to runOptions.jsonPath: first under that name with ".tmp"
// added, in the same folder, then renamed over it, so a reader never sees
// half a document. Returns 0, or 1 after a message on standard error.
int WriteReportText(const std::string& text);

// Writes the JSON report to runOptions.jsonPath, or the HTML page that
// carries it when the name ends in .html or .htm (WriteReportText).
// Returns 0, or 1 after a message on standard error.
int WriteJsonReport();

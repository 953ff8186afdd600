// The run's report as one HTML page (/J=FILE.html or .htm): the figures,
// a histogram and a cumulative chart of the record lengths, a table of the
// histogram's bins, and the JSON document itself for scripts.
#pragma once

#include <string>

// True when `path` ends in ".html" or ".htm", letters in either case.
bool ReportIsHtml(const char* path);

// The page for the JSON document `jsonText` (BuildJsonReport's document),
// which it carries as <script type="application/json" id="recmeter-report">
// byte for byte, except that each "<" (only the data file's path can hold
// one) is written "\u003c" so that no path can end the element. Returns 0,
// or 1 when the page could not be made.
int BuildHtmlReport(const std::string& jsonText, std::string* page);

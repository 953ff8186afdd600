// The program's own texts, as the scan and request tests expect them, a
// check that compares a whole run (exit code, whole stdout, whole stderr),
// and what the tests' tables share: items as one text, a file's lengths.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "program_version.h"

namespace e2e {

inline const std::string kBanner =
    "Recmeter Version " PROGRAM_VERSION ": " PROGRAM_VERSION_DATE "\n";
inline const std::string kPress = "Press <Esc> to terminate...\n";
inline const std::string kOpenDebug = "Opening Files\nData Files Opened: 0\n";
inline const std::string kCloseDebug = "Closing Files\nData Files Closed\n";
inline const std::string kNotLoaded = "Please load the Btrieve Record Manager\n";

// printf into a string, for lines whose format the program fixes.
inline std::string Fmt(const char* format, ...) __attribute__((format(printf, 1, 2)));
inline std::string Fmt(const char* format, ...) {
    char buffer[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    return buffer;
}

inline std::string Scanning(const std::string& path) {
    return "Scanning Data File " + path + ".\n";
}

using support::RecordLengths;
using support::Words;

// The engine's complaints on stderr: a failed request, and a damaged file.
inline std::string EngineError(int status, int op, const std::string& file = "data.dat") {
    return Fmt("Btrieve Error %d: Operation=%d, File=%s\n", status, op, file.c_str());
}
inline std::string Corruption(int status) {
    return Fmt("Data File Corruption (Status %d) Detected!\n", status);
}

// The program's arguments: the path, then the options.
inline std::vector<std::string> Args(const std::string& path,
                                     const std::vector<std::string>& options) {
    std::vector<std::string> args{path};
    args.insert(args.end(), options.begin(), options.end());
    return args;
}

// One line of the /DD trace.
inline std::string Trace(int op, uint32_t buflen, int keynum, int status) {
    return Fmt("Op: %d, Buflen: %u, KeyNum: %d Status: %d\n", op, buflen, keynum, status);
}

// The size scan's lines: the size in 6 columns and a "+" or a blank.
inline std::string Started(uint32_t size, char mark = ' ') {
    return Fmt("RecSize Started at %6u%c\n", size, mark);
}
inline std::string Changed(uint32_t size, char mark = ' ') {
    return Fmt("RecSize Changed to %6u%c\n", size, mark);
}
// The large-record scan's lines: 10 columns and "+" or nothing.
inline std::string LargeStarted(uint32_t size, bool mark = false) {
    return Fmt("RecSize Started at %10u%s\n", size, mark ? "+" : "");
}
inline std::string LargeChanged(uint32_t size, bool mark = false) {
    return Fmt("RecSize Changed to %10u%s\n", size, mark ? "+" : "");
}
inline std::string Granularity(uint32_t bytes) {
    return Fmt("Using granularity of %u bytes to handle record sizes through %u bytes.\r\n", bytes,
               bytes * 64000u);
}
inline std::string Truncating(int minimum) {
    return Fmt("Truncating Records to a minimum of %d Bytes.\r\n", minimum);
}

inline const std::string kDryRun = "Dry Run: no record will be changed.\n";

// The report, with `truncation` (the lines of /T or /N) after the count line.
// With no record scanned it ends right after the count lines.
inline std::string ReportWith(uint32_t scanned, uint32_t smallest, uint32_t largest, char mark,
                              const std::string& truncation) {
    std::string s = Fmt("\nTotal Scanned Record Count: %u", scanned) + truncation;
    if (scanned != 0) {
        s += Fmt("\nSmallest Record Size Found: %u\n Largest Record Size Found: %u%c\n\n", smallest,
                 largest, mark);
    }
    return s;
}
// The report; `updated` < 0 when the run did not truncate.
inline std::string Report(uint32_t scanned, uint32_t smallest, uint32_t largest, char mark = ' ',
                          int updated = -1) {
    return ReportWith(scanned, smallest, largest, mark,
                      updated < 0 ? "" : Fmt("\nTotal Updated Record Count: %d", updated));
}
// The report of /T with /N: the sizes read 0.
inline std::string DryRunReport(uint32_t scanned, uint32_t would_update, uint64_t freed) {
    return ReportWith(scanned, 0, 0, ' ',
                      Fmt("\nDry Run, Records That Would Be Updated: %u"
                          "\nDry Run, Bytes That Would Be Freed: %llu",
                          would_update, static_cast<unsigned long long>(freed)));
}
struct Row {
    uint32_t size;
    char mark;
    uint32_t count;
};
inline std::string Histogram(const std::vector<Row>& rows) {
    std::string s = "Record Size , RecCount\n";
    for (const Row& row : rows) s += Fmt("%11u%c, %u\n", row.size, row.mark, row.count);
    return s;
}

// The whole run as expected, in the program's own line ends (mapped for the
// target here).
inline ::testing::AssertionResult Ran(const Result& got, int exit_code, const std::string& out,
                                      const std::string& err) {
    Result want;
    want.exit_code = exit_code;
    want.out = Expect(out);
    want.err = Expect(err);
    if (got.exit_code == want.exit_code && got.signal == 0 && got.out == want.out &&
        got.err == want.err) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "\nexpected " << want << "\n     got " << got;
}

}  // namespace e2e

// The /B scan, run for real on each target: a record that does not fit the
// data buffer is measured with Get Position and one rectangle chunk request
// reading a byte every `granularity` bytes, and reported as the largest
// multiple of the granularity below its length, marked "+".
#include "recmeter_text.h"

namespace e2e {
namespace {

using LargeScanTest = E2ETest;

// What debug mode says of the engine version 12.99W.
const std::string kVersionCall = "Version Call: Status=0, 12.99(W)\nBtrvEx IS NOT available!\n";

TEST_F(LargeScanTest, MeasuresRecordsThatDoNotFit) {
    const struct {
        const char* version;
        const char* option;
        uint32_t granularity;
        const char* items;
        std::string lines;
        std::string report;
    } cases[] = {
        // Standard entry: every record over 64000 bytes is measured;
        // 70000 = 4375 x 16, so the last row starts at 69984.
        {"12.99", "/B1", 16, "100 70000 300000",
         LargeStarted(100) + LargeChanged(69984, true) + LargeChanged(299984, true),
         Report(3, 100, 299984, '+')},
        // Extended entry: only records over 258048 bytes are measured.
        {"13.30", "/B1", 16, "100 70000 300000",
         LargeStarted(100) + LargeChanged(70000) + LargeChanged(299984, true),
         Report(3, 100, 299984, '+')},
        // k x g + 1 bytes and (k + 1) x g bytes both report k x g.
        {"12.99", "/B2", 32, "65537 65568 65569",
         LargeStarted(65536, true) + LargeChanged(65536 + 32, true), Report(3, 65536, 65568, '+')},
        // One row back: a granularity at least the record's length gives 0+.
        {"12.99", "/B4095", 67092, "65000", LargeStarted(0, true), Report(1, 0, 0, '+')},
        // Past 64000 x g all rows come back: (64000 - 1) x g.
        {"12.99", "/B1", 16, "1100000", LargeStarted(63999 * 16, true),
         Report(1, 63999 * 16, 63999 * 16, '+')},
        // /B above 4095 is capped.
        {"13.30", "/B5000", 67092, "300000", LargeStarted(4 * 67092, true),
         Report(1, 4 * 67092, 4 * 67092, '+')},
    };
    int file_number = 0;
    for (const auto& c : cases) {
        std::string name = "data" + std::to_string(++file_number) + ".dat";
        SCOPED_TRACE(std::string(c.version) + " " + c.option + " " + name);
        Make(name, Words(c.items));
        Result r = Run({name, c.option}, WithEnv({{"LOCALENGINE_VERSION", c.version}}));
        EXPECT_TRUE(Ran(r, 0, Granularity(c.granularity) + Scanning(name) + c.lines + c.report,
                        kBanner + kPress));
    }
}

// A failed Get Position keeps the record at the read's length, marked, and
// the scan goes on; a failed chunk request ends the scan, its size computed
// from the 0 bytes returned: (0 - 1) x 16 in 32 bits. A scan cut short ends
// with 1.
TEST_F(LargeScanTest, FailedMeasurement) {
    Make("data.dat", {"100", "300000", "200"});
    const std::string position_failed =
        EngineError(7, 22) + "GetPosition Failed: 7. File may be in active use.\n";
    const struct {
        const char* version;
        const char* faults;
        const char* debug;
        std::string out_after_banner;
        std::string err_after_prompt;
        int exit_code = 1;
    } cases[] = {
        {"12.99W", "22=7", "",
         LargeStarted(100) + LargeChanged(64000, true) + LargeChanged(200) +
             Report(3, 100, 64000, '+'),
         position_failed, 0},
        {"13.30W", "22=7", "",
         LargeStarted(100) + LargeChanged(258048, true) + LargeChanged(200) +
             Report(3, 100, 258048, '+'),
         position_failed, 0},
        {"12.99W", "23=7", "/D",
         kOpenDebug + LargeStarted(100) + "RecSize: 4294967280\n" +
             "Abnormal Termination, Status = 7.\n" + kCloseDebug + Report(1, 100, 100, '+'),
         kVersionCall + EngineError(7, 23) + "GetRectangleChunk Failed: 7.\n"},
        {"12.99W", "24#2=7", "",
         LargeStarted(100) + LargeChanged(299984, true) + "Abnormal Termination, Status = 7.\n" +
             Report(2, 100, 299984, '+'),
         EngineError(7, 24)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.version) + " " + c.faults);
        std::vector<std::string> args{"data.dat", "/B1"};
        if (*c.debug != '\0') args.push_back(c.debug);
        Result r = Run(
            args, WithEnv({{"LOCALENGINE_VERSION", c.version}, {"LOCALENGINE_FAULTS", c.faults}}));
        EXPECT_TRUE(
            Ran(r, c.exit_code, Granularity(16) + Scanning("data.dat") + c.out_after_banner,
                kBanner + (*c.debug != '\0' ? "Full Debug!\n" : "") + kPress + c.err_after_prompt));
    }
}

// The chunk request goes out with key number 254 (the engine gets -2); the
// Step Next after it with 0 again. No size line for the first record.
TEST_F(LargeScanTest, TraceOfAMeasuredRecord) {
    Make("data.dat", {"70000", "100"});
    Result r = Run({"data.dat", "/B1", "/DD"}, WithEnv({{"LOCALENGINE_VERSION", "12.99W"}}));
    std::string out = Granularity(16) + Scanning("data.dat") + "Opening Files\n" +
                      Trace(0, 0, 0, 0) + "Data Files Opened: 0\n" + Trace(26, 15, 0, 0) +
                      Trace(33, 64000, 0, 22) + Trace(22, 4, 0, 0) + Trace(23, 64000, 254, 103) +
                      LargeStarted(69984, true) + Trace(24, 64000, 0, 0) + "RecSize: 100\n" +
                      LargeChanged(100) + Trace(24, 64000, 0, 9) + "RecSize: 0\n" +
                      "Closing Files\n" + Trace(1, 0, 0, 0) + "Data Files Closed\n" +
                      Trace(28, 0, 0, 0) + Report(2, 100, 69984, '+');
    EXPECT_TRUE(Ran(r, 0, out, kBanner + "Full Debug!\nSuper Debug!\n" + kPress + kVersionCall));
}

// /C keeps the histogram and drops the size lines, except the Started line,
// which debug mode still writes.
TEST_F(LargeScanTest, HistogramWithAndWithoutDebug) {
    Make("data.dat", {"100", "70000"});
    const std::string report =
        Report(2, 100, 69984, '+') + Histogram({{100, ' ', 1}, {69984, '+', 1}});
    const ChildOptions standard = WithEnv({{"LOCALENGINE_VERSION", "12.99W"}});

    Result plain = Run({"data.dat", "/B1", "/C"}, standard);
    EXPECT_TRUE(Ran(plain, 0, Granularity(16) + Scanning("data.dat") + report, kBanner + kPress));

    Result debug = Run({"data.dat", "/B1", "/C", "/D"}, standard);
    EXPECT_TRUE(Ran(debug, 0,
                    Granularity(16) + Scanning("data.dat") + kOpenDebug + LargeStarted(100) +
                        "RecSize: 69984\nRecSize: 0\n" + kCloseDebug + report,
                    kBanner + "Full Debug!\n" + kPress + kVersionCall));
}

}  // namespace
}  // namespace e2e

// The default scan, run for real on each target: size lines, the report and
// the histogram, statuses that end the scan, and the spinner.
#include <filesystem>

#include "recmeter_text.h"

namespace e2e {
namespace {

using SizeScanTest = E2ETest;

TEST_F(SizeScanTest, SizeLinesAndReport) {
    const struct {
        const char* items;
        const char* options;
        std::string out_after_banner;
    } cases[] = {
        // A change is reported against the previous record, not the extremes.
        {"100 200 100", "", Started(100) + Changed(200) + Changed(100) + Report(3, 100, 200)},
        {"300 100 200", "", Started(300) + Changed(100) + Changed(200) + Report(3, 100, 300)},
        {"200x3", "", Started(200) + Report(3, 200, 200)},
        // An empty file: only the count, without a line end.
        {"", "", Report(0, 0, 0)},
        {"", "/C", Report(0, 0, 0)},
        // With /C no size lines; the rows come in ascending order.
        {"300 100 300 200", "/C",
         Report(4, 100, 300) + Histogram({{100, ' ', 1}, {200, ' ', 1}, {300, ' ', 2}})},
    };
    int file_number = 0;
    for (const auto& c : cases) {
        std::string name = "data" + std::to_string(++file_number) + ".dat";
        SCOPED_TRACE(name);
        Make(name, Words(c.items));
        EXPECT_TRUE(Ran(Run(Args(name, Words(c.options))), 0, Scanning(name) + c.out_after_banner,
                        kBanner + kPress));
    }
}

// Through the standard entry a 70000-byte record reads as 64000 with status
// 22; a 64000-byte one fits exactly. A histogram row keeps the mark of the
// record that made it; the largest size is marked once any read hit 22.
TEST_F(SizeScanTest, RowKeepsTheMarkOfItsFirstRecord) {
    const struct {
        std::vector<std::string> items;
        char row_mark;
    } cases[] = {
        {{"64000", "70000"}, ' '},
        {{"70000", "64000"}, '+'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.items[0]);
        Make("data.dat", c.items);
        Result r = Run({"data.dat", "/C"}, WithEnv({{"LOCALENGINE_VERSION", "12.99"}}));
        EXPECT_TRUE(Ran(r, 0,
                        Scanning("data.dat") + Report(2, 64000, 64000, '+') +
                            Histogram({{64000, c.row_mark, 2}}),
                        kBanner + kPress));
        std::filesystem::remove(path("data.dat"));
    }
}

// A status other than 0, 22 and 9 ends the scan: the engine's message (none
// for the statuses that pass silently), the abnormal-termination line, the
// report of what was counted, and exit 1: the scan was cut short. In debug mode the failed Step Next still
// writes its size line; a failed Step First writes none.
TEST_F(SizeScanTest, StatusEndsTheScan) {
    Make("data.dat", {"100", "200", "300"});
    const std::string two = Started(100) + Changed(200);
    auto abnormal = [](int status) { return Fmt("Abnormal Termination Status %d.\n", status); };
    const struct {
        const char* faults;
        bool debug;
        std::string err_after_prompt;
        std::string out_after_banner;
    } cases[] = {
        {"33=2", false, Corruption(2), abnormal(2) + Report(0, 0, 0)},
        {"24#2=7", false, EngineError(7, 24), two + abnormal(7) + Report(2, 100, 200)},
        {"24#2=30", false, "data.dat: Not a Btrieve File\n",
         two + abnormal(30) + Report(2, 100, 200)},
        {"24#1=-5", false, EngineError(-5, 24), Started(100) + abnormal(-5) + Report(1, 100, 100)},
        {"24#1=4", false, "", Started(100) + abnormal(4) + Report(1, 100, 100)},
        {"33=2", true, Corruption(2), kOpenDebug + abnormal(2) + kCloseDebug + Report(0, 0, 0)},
        {"24#2=7", true, EngineError(7, 24),
         kOpenDebug + "RecSize: 100\n" + Started(100) + "RecSize: 200\n" + Changed(200) +
             "RecSize: 0\n" + abnormal(7) + kCloseDebug + Report(2, 100, 200)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.faults) + (c.debug ? " /D" : ""));
        std::vector<std::string> args{"data.dat"};
        if (c.debug) args.push_back("/D");
        Result r = Run(
            args, WithEnv({{"LOCALENGINE_FAULTS", c.faults}, {"LOCALENGINE_VERSION", "13.30W"}}));
        std::string debug_err = c.debug ? "Full Debug!\n" : "";
        std::string version_err =
            c.debug ? "Version Call: Status=0, 13.30(W)\nBtrvEx IS available!\n" : "";
        EXPECT_TRUE(Ran(r, 1, Scanning("data.dat") + c.out_after_banner,
                        kBanner + debug_err + kPress + version_err + c.err_after_prompt));
    }
}

// Every 1000 records the spinner turns, on stderr only, whichever scan runs;
// the fifth turn shows the hyphen again.
TEST_F(SizeScanTest, SpinnerTurnsEveryThousandRecords) {
    Gen("data.dat", 5000, 10, 10);
    const std::string spinner = "-\b\\\b|\b/\b-\b";
    const struct {
        const char* option;
        std::string out;
    } cases[] = {
        {"/C", Scanning("data.dat") + Report(5000, 10, 10) + Histogram({{10, ' ', 5000}})},
        {"/B1", Granularity(16) + Scanning("data.dat") + LargeStarted(10) + Report(5000, 10, 10)},
        {"/T4", Truncating(4) + Scanning("data.dat") + Report(5000, 0, 0, ' ', 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        EXPECT_TRUE(Ran(Run({"data.dat", c.option}), 0, c.out, kBanner + kPress + spinner));
    }
}

}  // namespace
}  // namespace e2e

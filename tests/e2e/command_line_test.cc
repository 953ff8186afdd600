// The program's command line, run for real on each target: when it shows
// the usage text, how it reads its options (right to left, numbers clamped,
// unknown letters passed over), and how an option or a missing file ends the
// run.
#include "recmeter_text.h"

namespace e2e {
namespace {

const std::string kUsage =
    "\nUsage:  RECMETER Filename [options]\n\n"
    "    This command scans the Btrieve file for variable length records.\n"
    "    Use the /B# option to check for records over 60KB, up to # MB.\n"
    "    Use the /C option to calculate and display totals for all values.\n"
    "    Use the /O=owner option to specify the Btrieve file owner name.\n"
    "    Use the /T# option to truncate Null/Space values to no fewer than # bytes.\n"
    "    Use the /D option to enable DEBUG mode.\n\n";

using Args = std::vector<std::string>;

class CommandLineTest : public E2ETest {
protected:
    // One record of 10 bytes, scanned as it is by a plain run.
    void SetUp() override { Make("data.dat", {"10"}); }
    const std::string plain_scan_ = Scanning("data.dat") + Started(10) + Report(1, 10, 10);
};

TEST_F(CommandLineTest, UsageWhenThereIsNothingToScan) {
    const Args cases[] = {
        {},
        {"/?"},
        {"?x"},
        {"data.dat", "/?x"},  // only the first argument is looked at
        {"data.dat", "/C", "/C", "/C", "/C"},  // more than three options
    };
    for (const Args& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        if (args.size() == 2) {
            // A second argument "/?x" is an unknown option, passed over.
            EXPECT_TRUE(Ran(Run(args), 0, plain_scan_, kBanner + kPress));
            continue;
        }
        EXPECT_TRUE(Ran(Run(args), 1, "", kBanner + kUsage));
    }
    // Asked for, alone: on standard output, exit 0; a file of that name is a file.
    EXPECT_TRUE(Ran(Run({"--version"}), 0, kBanner, ""));
    Result help = Run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.out.rfind(Expect(kBanner + kUsage + "    Use the /N option"), 0), 0u) << help;
    Make("--help", {"10"});
    EXPECT_TRUE(Ran(Run({"--help"}), 0, Scanning("--help") + Started(10) + Report(1, 10, 10),
                    kBanner + kPress));
}

TEST_F(CommandLineTest, OptionsThatChangeNothingVisible) {
    const Args cases[] = {
        {"data.dat"},
        {"data.dat", "/X"},
        {"data.dat", "-x", "/Z9"},
        {"data.dat", "/T3"},   // below the lowest minimum of 4: no truncation
        {"data.dat", "/T-5"},
        {"data.dat", "/T"},
        {"data.dat", "/B0"},
        {"data.dat", "/X", "/Y", "/Z"},  // three options are the most
    };
    for (const Args& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        EXPECT_TRUE(Ran(Run(args), 0, plain_scan_, kBanner + kPress));
    }
    EXPECT_EQ(Recfile({"hex", "data.dat"}).out, "4142434445464748494a\n") << "file changed";
}

TEST_F(CommandLineTest, ProbeOptionSetsTheGranularity) {
    const struct {
        const char* option;
        uint32_t granularity;
    } cases[] = {
        {"/B1", 16},
        {"/b2", 32},
        {"/B64", 1048},
        {"/B5000", 67092},        // capped at 4095 MB
        {"/B-1", 67092},          // read as a huge unsigned number, capped
        {"/B99999999999", 67092},  // clamped, then capped
    };
    const std::string large_scan = Scanning("data.dat") + LargeStarted(10) + Report(1, 10, 10);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        EXPECT_TRUE(Ran(Run({"data.dat", c.option}), 0, Granularity(c.granularity) + large_scan,
                        kBanner + kPress));
    }
}

// Options are read from the last to the first, so of two /T the leftmost
// wins; each prints its line as it is read.
TEST_F(CommandLineTest, OptionsAreReadRightToLeft) {
    Make("filler.dat", {"hex:41000000000000"});
    EXPECT_TRUE(Ran(Run({"filler.dat", "/T4", "/T5"}), 0,
                    Truncating(5) + Truncating(4) + Scanning("filler.dat") +
                        Report(1, 0, 0, ' ', 1),
                    kBanner + kPress));
    EXPECT_EQ(Recfile({"hex", "filler.dat"}).out, "41000000\n") << "the minimum in force is 4";
}

TEST_F(CommandLineTest, HugeMinimumIsClampedAndShortensNothing) {
    EXPECT_TRUE(Ran(Run({"data.dat", "/T99999999999"}), 0,
                    Truncating(2147483647) + Scanning("data.dat") + Report(1, 0, 0, ' ', 0),
                    kBanner + kPress));
    EXPECT_EQ(Recfile({"hex", "data.dat"}).out, "4142434445464748494a\n");
}

TEST_F(CommandLineTest, OwnerWithoutEqualsSignEndsTheRun) {
    const std::string owner_error = kBanner + "Unable to parse owner name.\n";
    // Options to the right of /O have been read, and have spoken, by then;
    // options to its left never are.
    EXPECT_TRUE(Ran(Run({"data.dat", "/O"}), 1, "", owner_error));
    EXPECT_TRUE(Ran(Run({"data.dat", "/Osecret"}), 1, "", owner_error));
    EXPECT_TRUE(Ran(Run({"data.dat", "/O", "/T5", "/B1"}), 1, Granularity(16) + Truncating(5),
                    owner_error));
    EXPECT_TRUE(Ran(Run({"data.dat", "/T5", "/O"}), 1, "", owner_error));
}

TEST_F(CommandLineTest, MissingFileEndsTheRun) {
    EXPECT_TRUE(Ran(Run({"missing.dat"}), 1, Scanning("missing.dat"),
                    kBanner + kPress + "Unable to Open Files - Status 12\n"));
}

TEST_F(CommandLineTest, UsageLeavesTheTerminalAsItWas) {
    E2E_REQUIRE_PTY_TARGET();
    Result r = Run({}, OnPty());
    EXPECT_TRUE(Ran(r, 1, "", kBanner + kUsage));
    EXPECT_TRUE(SameTerminalSettings(r.tty_before, r.tty_after));
}

}  // namespace
}  // namespace e2e

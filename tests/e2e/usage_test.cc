// The program's command line, run for real on each target.
#include "e2e_support.h"

namespace e2e {
namespace {

const char kBanner[] = "Recmeter Version 2.43: 09/25\n";
const char kUsage[] =
    "\nUsage:  RECMETER Filename [options]\n\n"
    "    This command scans the Btrieve file for variable length records.\n"
    "    Use the /B# option to check for records over 60KB, up to # MB.\n"
    "    Use the /C option to calculate and display totals for all values.\n"
    "    Use the /O=owner option to specify the Btrieve file owner name.\n"
    "    Use the /T# option to truncate Null/Space values to no fewer than # bytes.\n"
    "    Use the /D option to enable DEBUG mode.\n\n";

using UsageTest = E2ETest;

TEST_F(UsageTest, NoArgumentsPrintsUsage) {
    Result r = Run({});
    EXPECT_EQ(r.exit_code, 1) << r;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, Expect(std::string(kBanner) + kUsage));
}

TEST_F(UsageTest, UsageLeavesTheTerminalAsItWas) {
    E2E_REQUIRE_PTY_TARGET();
    RunOptions options;
    options.pty = true;
    Result r = Run({}, options);
    EXPECT_EQ(r.exit_code, 1) << r;
    EXPECT_EQ(r.err, std::string(kBanner) + kUsage);
    EXPECT_TRUE(SameTerminalSettings(r.tty_before, r.tty_after));
}

}  // namespace
}  // namespace e2e

// What a user can hand the program that it must survive: damaged and foreign
// files, things that are no data file at all, files it may not read or that
// another process holds, paths and owners at and past their limits, option
// values of every shape; and a truncation run killed again and again. Every
// run must end with its exact message and exit code, and leave the bytes of
// the file as they were, or exactly as truncation wants them.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "recmeter_text.h"

namespace e2e {
namespace {

using Args = std::vector<std::string>;
using std::chrono::milliseconds;

constexpr size_t kFileHeaderSize = 512;   // the engine's file header
constexpr size_t kRecordHeaderSize = 16;  // in front of each record's data

std::string OpenFailure(int status, const std::string& name) {
    std::string engine_says;
    if (status == 2) engine_says = "Data File Corruption (Status 2) Detected!\n";
    else if (status == 30) engine_says = name + ": Not a Btrieve File\n";
    else if (status != 12) engine_says = Fmt("Btrieve Error %d: Operation=0, File=%s\n", status, name.c_str());
    return kBanner + kPress + engine_says + Fmt("Unable to Open Files - Status %d\n", status);
}

// A run of the program under test that the test itself ends: started in its
// own session with no input and its output thrown away.
class Background : public support::Child {
public:
    Background(const std::vector<std::string>& argv, const std::string& dir) : Child(argv, dir) {}

    // True when the process holds `path` open (as the engine does while the
    // file is open), watched for up to `limit`; false once it has ended.
    bool WaitUntilHolding(const std::string& path, milliseconds limit) {
        const std::string target = std::filesystem::canonical(path).string();
        const std::string fds = "/proc/" + std::to_string(pid()) + "/fd";
        auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            std::error_code error;
            for (const auto& fd : std::filesystem::directory_iterator(fds, error)) {
                std::error_code ignored;
                if (std::filesystem::read_symlink(fd.path(), ignored).string() == target) return true;
            }
            if (Ended()) return false;
            std::this_thread::sleep_for(milliseconds(1));
        }
        return false;
    }
};

using HostileTest = E2ETest;

// Files cut short at every kind of boundary, and files that were never ours:
// Open answers, the program says so and ends, and not one byte changes,
// whether it was asked to read or to truncate.
TEST_F(HostileTest, DamagedOrForeignFilesEndTheRunUntouched) {
    Make("whole.dat", {"10", "20+30", "hex:414243"});
    const std::string whole = ReadFile("whole.dat");
    const size_t second_record = kFileHeaderSize + 32;  // 16 + 10 bytes, aligned to 16
    ASSERT_GT(whole.size(), second_record + kRecordHeaderSize + 10);
    const struct {
        const char* name;
        std::string bytes;
        int status;
    } cases[] = {
        {"empty.dat", "", 30},
        {"in_header.dat", whole.substr(0, 300), 30},
        {"header_only.dat", whole.substr(0, kFileHeaderSize), 2},
        {"in_record_header.dat", whole.substr(0, kFileHeaderSize + 8), 2},
        {"in_record_data.dat", whole.substr(0, kFileHeaderSize + kRecordHeaderSize + 5), 2},
        {"at_record_end.dat", whole.substr(0, second_record), 2},
        {"in_second_header.dat", whole.substr(0, second_record + 3), 2},
        {"in_last_record.dat", whole.substr(0, whole.size() - 5), 2},
        {"zeros.dat", std::string(4096, '\0'), 30},
        {"header_of_zeros.dat", std::string(kFileHeaderSize, '\0') + whole.substr(kFileHeaderSize), 30},
        {"text.dat", std::string(600, 'x'), 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(c.name, c.bytes);
        EXPECT_TRUE(Ran(Run({c.name}), 1, Scanning(c.name), OpenFailure(c.status, c.name)));
        EXPECT_TRUE(Ran(Run({c.name, "/T4"}), 1, Truncating(4) + Scanning(c.name),
                        OpenFailure(c.status, c.name)));
        EXPECT_EQ(ReadFile(c.name), c.bytes) << "the file changed";
    }
}

// Damage met in the middle of a scan ends the scan with its status; what was
// truncated before it stays truncated and nothing past it is touched.
TEST_F(HostileTest, DamageFoundMidScanStopsTruncationThere) {
    Make("data.dat", {"10+5", "20+30", "8+8"});
    std::string bytes = ReadFile("data.dat");
    const size_t second_data = kFileHeaderSize + 32 + kRecordHeaderSize;
    bytes[second_data + 3] ^= 0x40;
    WriteFile("data.dat", bytes);

    EXPECT_TRUE(Ran(
        Run({"data.dat"}), 1,
        Scanning("data.dat") + Started(15) + "Abnormal Termination Status 2.\n" + Report(1, 15, 15),
        kBanner + kPress + Corruption(2)));
    EXPECT_EQ(ReadFile("data.dat"), bytes);

    EXPECT_TRUE(Ran(Run({"data.dat", "/T4"}), 1,
                    Truncating(4) + Scanning("data.dat") + "Abnormal Termination, Status 2.\n" +
                        Report(1, 0, 0, ' ', 1),
                    kBanner + kPress + Corruption(2)));
    // Only the first record's header was rewritten.
    const std::string after = ReadFile("data.dat");
    ASSERT_EQ(after.size(), bytes.size());
    EXPECT_EQ(after.substr(0, kFileHeaderSize), bytes.substr(0, kFileHeaderSize));
    EXPECT_EQ(after.substr(kFileHeaderSize + kRecordHeaderSize),
              bytes.substr(kFileHeaderSize + kRecordHeaderSize));
    EXPECT_NE(after.substr(kFileHeaderSize, kRecordHeaderSize),
              bytes.substr(kFileHeaderSize, kRecordHeaderSize));
}

// A run whose standard output or error is closed: the data file must never
// take its place, whatever the program, its spinner or recfile then write.
// A /T whose report is already lost changes nothing; otherwise the file is
// as a run with both streams open leaves it. A report that could not be
// written is a failure, and so is one sent to a full disk. (Under
// wine closed streams become wine's own files, and a byte written to one of
// them would end the process with 0.)
TEST_F(HostileTest, ClosedOrFullStandardStreams) {
    Make("original.dat", {"20+10x3000", "7x2500"});
    const std::string original = ReadFile("original.dat");
    WriteFile("reference.dat", original);
    ASSERT_EQ(Run({"reference.dat", "/T4"}).exit_code, 0);
    const std::string truncated = ReadFile("reference.dat");
    ASSERT_NE(truncated, original);

    const std::string lost = Expect("Cannot write to standard output: Bad file descriptor\n");
    const std::string full = Expect("Cannot write to standard output: No space left on device\n");
    const struct {
        const char* redirect;
        Args args;
        bool truncates;
        int exit_code;
        std::string err_ends;  // what the end of standard error must be
    } cases[] = {
        {">&-", {}, false, 1, lost},
        {">&-", {"/C"}, false, 1, lost},
        {">&-", {"/T4"}, false, 1, lost},
        {">&-", {"/T4", "/N"}, false, 1, lost},
        {"2>&-", {}, false, 0, ""},
        {"2>&-", {"/C"}, false, 0, ""},
        {"2>&-", {"/T4"}, true, 0, ""},
        {">&- 2>&-", {}, false, 1, ""},
        {">&- 2>&-", {"/T4"}, false, 1, ""},
        {">/dev/full", {"/C"}, false, 1, full},
        {">/dev/full", {"/T4"}, false, 1, full},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.redirect) + " " + ::testing::PrintToString(c.args));
        WriteFile("data.dat", original);
        Args argv = TargetCommand(ProgramPath(), {"data.dat"});
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        argv.insert(argv.begin(), {"sh", "-c", std::string("exec \"$0\" \"$@\" ") + c.redirect});
        Result r = RunCommand(argv, dir());
        EXPECT_EQ(r.exit_code, c.exit_code) << r;
        // Under wine a piped standard error behind a closed standard output
        // looks like wine's server socket, and is never written to.
        const std::string err_ends = windows() && c.redirect == std::string(">&-") ? "" : c.err_ends;
        EXPECT_EQ(r.err.substr(r.err.size() - std::min(r.err.size(), err_ends.size())), err_ends)
            << r;
        if (c.exit_code == 0) {
            EXPECT_NE(r.out.find("Total Scanned Record Count: 5500"), std::string::npos) << r;
        }
        EXPECT_TRUE(ReadFile("data.dat") == (c.truncates ? truncated : original)) << "the file changed";
        EXPECT_EQ(Recfile({"check", "data.dat"}).exit_code, 0);
    }
    for (const char* redirect : {">&-", "2>&-"}) {
        if (windows()) break;
        WriteFile("data.dat", original);
        Result r = RunCommand({"sh", "-c", std::string("exec \"$0\" list data.dat ") + redirect, RecfilePath()}, dir());
        EXPECT_EQ(r.exit_code, std::string(redirect) == ">&-" ? 1 : 0) << redirect << "\n" << r;
        EXPECT_TRUE(ReadFile("data.dat") == original) << redirect << ": the file changed";
        EXPECT_EQ(Recfile({"check", "data.dat"}).exit_code, 0);
    }
}

// A folder names the files in it; one that holds none is an error, and
// nothing is opened.
TEST_F(HostileTest, FolderIsNoDataFile) {
    std::filesystem::create_directory(path("folder.dat"));
    const std::string summary =
        "\nSummary of 1 file:\n"
        "   Records   Smallest    Largest   Over 64000 Over 258048  Ended                  File\n"
        "         -          -          -            -           -  no file in folder      folder.dat\n"
        "         0          -          -            -           -  1 file, 1 failed       (total)\n";
    EXPECT_TRUE(Ran(Run({"folder.dat"}), 1, summary, kBanner + kPress + "No file in folder folder.dat.\n"));
}

// A file the user may not read. Root reads every file whatever its mode, so
// as root the program runs as the user "nobody" (setpriv) on a file of mode
// 000. Under wine the prefix belongs to the user running the tests, so there
// the test runs only for a user other than root.
TEST_F(HostileTest, UnreadableFileGivesTheSystemsRefusal) {
    Make("locked.dat", {"10"});
    ASSERT_EQ(chmod(path("locked.dat").c_str(), 0), 0);
    std::vector<std::string> argv = TargetCommand(ProgramPath(), {"locked.dat"});
    if (geteuid() == 0) {
        if (windows()) GTEST_SKIP() << "as root wine reads a file of mode 000";
        if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
        ASSERT_EQ(chmod(dir().c_str(), 0755), 0);
        const std::vector<std::string> as_nobody{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                                 "--clear-groups"};
        // The build may sit where that user cannot reach the program.
        std::vector<std::string> probe = as_nobody;
        probe.insert(probe.end(), {"/bin/sh", "-c", "test -x \"$0\" && test -r \"$1\"", ProgramPath(),
                                   ProgramDir() + "/liblocalengine.so"});
        if (RunCommand(probe, dir()).exit_code != 0)
            GTEST_SKIP() << "the user nobody cannot run " << ProgramPath();
        argv.insert(argv.begin(), as_nobody.begin(), as_nobody.end());
    }
    Result r = RunCommand(argv, dir());
    // The engine answers 18 when the system refuses the file (12 on Windows,
    // where a refused open cannot be told from a folder).
    int status = windows() ? 12 : 18;
    EXPECT_TRUE(Ran(r, 1, Scanning("locked.dat"), OpenFailure(status, "locked.dat")));
}

// Another process holds the file open: the engine answers 85, the program
// names it and ends. Once that process is gone, nothing of its hold stays.
TEST_F(HostileTest, FileInUseByAnotherProcess) {
    // Big enough that the holder is still scanning when it is caught.
    Gen("held.dat", 1000000, 1, 4);
    Background holder(TargetCommand(ProgramPath(), {"held.dat"}), dir());
    ASSERT_TRUE(holder.WaitUntilHolding(path("held.dat"), std::chrono::seconds(60)))
        << "the first run never had the file open";
    holder.Signal(SIGSTOP);
    EXPECT_TRUE(Ran(Run({"held.dat"}), 1, Scanning("held.dat"), OpenFailure(85, "held.dat")));
    holder.Signal(SIGKILL);
    holder.Wait();
    Result r = Run({"held.dat"});
    EXPECT_EQ(r.exit_code, 0) << r;
    EXPECT_EQ(support::NumberAfter(r.out, "Total Scanned Record Count: "), 1000000) << r;
}

// The longest path the program takes, and one more character.
TEST_F(HostileTest, PathsAtTheLimit) {
    std::filesystem::create_directory(path("sub"));
    const std::string longest = "sub/" + std::string(247, 'p') + ".dat";
    ASSERT_EQ(longest.size(), 255u);
    Make(longest, {"10"});
    EXPECT_TRUE(Ran(Run({longest}), 0, Scanning(longest) + Started(10) + Report(1, 10, 10),
                    kBanner + kPress));
    const std::string too_long = "sub/" + std::string(248, 'p') + ".dat";
    EXPECT_TRUE(Ran(Run({too_long}), 1, "",
                    kBanner + "Path too long: 256 characters; at most 255 are accepted.\n"));
}

// Owners at the engine's limit of 66 bytes and past it. The program keeps
// the first 66 characters of /O=, so a longer owner opens a file whose owner
// is its first 66; a hexadecimal owner of 64 digits gives 32 bytes.
TEST_F(HostileTest, OwnersAtAndPastTheLimit) {
    const std::string owner66 = "O" + std::string(64, 'w') + "!";
    ASSERT_EQ(owner66.size(), 66u);
    Make("text.dat", {"10"}, owner66);
    std::string digits;
    for (int i = 0; i < 32; ++i) digits += Fmt("%02x", (i * 37) & 0xff);  // zero bytes included
    ASSERT_EQ(digits.size(), 64u);
    Recfile({"create", "hex.dat", "--owner-hex=" + digits});
    Recfile({"add", "hex.dat", "--owner-hex=" + digits, "10"});
    Make("free.dat", {"10"});

    const std::string opened = Started(10) + Report(1, 10, 10);
    std::string upper = digits;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const struct {
        const char* file;
        std::string option;
        bool opens;
    } cases[] = {
        {"text.dat", "/O=" + owner66, true},
        {"text.dat", "/O=" + owner66 + "tail", true},  // 70 characters: the first 66 count
        {"text.dat", "/O=" + owner66.substr(0, 65), false},
        {"text.dat", "/O=X" + owner66.substr(1) + "tail", false},
        {"text.dat", "/O=", false},
        {"hex.dat", "/O=0x" + digits, true},
        {"hex.dat", "/O=0x" + upper, true},
        {"hex.dat", "/O=0x" + digits + "00", true},  // cut to 66 characters: 64 digits
        {"hex.dat", "/O=0x" + digits.substr(0, 63), false},  // odd: no owner at all
        {"hex.dat", "/O=0x" + digits.substr(0, 62), false},
        {"hex.dat", "/O=" + digits, false},  // without 0x: the digits as text
        {"free.dat", "/O=" + owner66 + "tail", true},
        {"free.dat", "/O=", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + c.option);
        Result r = Run({c.file, c.option});
        EXPECT_TRUE(c.opens ? Ran(r, 0, Scanning(c.file) + opened, kBanner + kPress)
                            : Ran(r, 1, Scanning(c.file), OpenFailure(51, c.file)));
    }
}

// /B and /T read one optional sign and digits after blanks; no digits give
// 0, numbers past 32 bits are clamped. A record of 10 bytes and 6 nulls
// shows what the scan made of each.
TEST_F(HostileTest, OptionValuesOfEveryShape) {
    const std::string twenty_nines(20, '9');
    const std::string plain = Started(16) + Report(1, 16, 16);
    const std::string large = LargeStarted(16) + Report(1, 16, 16);
    const struct {
        std::string option;
        std::string before_scanning;  // lines the option prints
        std::string after_scanning;
        std::string record;           // in hex, after the run
    } cases[] = {
        {"/T", "", plain, ""},
        {"/T" + twenty_nines, Truncating(2147483647), Report(1, 0, 0, ' ', 0), ""},
        {"/T-" + twenty_nines, "", plain, ""},
        {"/T+8", Truncating(8), Report(1, 0, 0, ' ', 1), "4142434445464748494a00"},
        {"/T 8", Truncating(8), Report(1, 0, 0, ' ', 1), "4142434445464748494a00"},
        {"/T\t 12", Truncating(12), Report(1, 0, 0, ' ', 1), "4142434445464748494a0000"},
        {"/T--8", "", plain, ""},
        {"/T+-8", "", plain, ""},
        {"/T8x9", Truncating(8), Report(1, 0, 0, ' ', 1), "4142434445464748494a00"},
        {"/T" + std::string(5000, '7'), Truncating(2147483647), Report(1, 0, 0, ' ', 0), ""},
        {"/B", "", plain, ""},
        {"/B" + twenty_nines, Granularity(67092), large, ""},
        {"/B-" + twenty_nines, Granularity(67092), large, ""},
        {"/B 1", Granularity(16), large, ""},
        {"/B+2", Granularity(32), large, ""},
        {"/B-0", "", plain, ""},
        {"/B" + std::string(5000, '0') + "1", Granularity(16), large, ""},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option.substr(0, 40));
        const std::string name = Fmt("f%d.dat", index++);
        Make(name, {"10+6"});
        EXPECT_TRUE(Ran(Run({name, c.option}), 0,
                        c.before_scanning + Scanning(name) + c.after_scanning, kBanner + kPress));
        const std::string want = c.record.empty() ? "4142434445464748494a000000000000" : c.record;
        EXPECT_EQ(HexLines(name), std::vector<std::string>{want});
    }
}

// A truncation run over a million records with trailing nulls, killed at
// random moments and started again, then left to end by itself: every record
// ends exactly truncated (its 20 bytes and one null), and the file checks
// clean after every kill. The kills come within the time a plain scan of the
// file takes, which truncation far exceeds, so they land mid-run on a fast
// build and a slow one alike.
TEST_F(HostileTest, SoakKilledTruncationEndsExact) {
    if (windows()) GTEST_SKIP() << "killing a run is tested on the native build";
    constexpr int kRecords = 1000000;
    constexpr int kKills = 10;
    Make("soak.dat", {"20+30x" + std::to_string(kRecords)});

    auto started = std::chrono::steady_clock::now();
    Result scan = Run({"soak.dat"});
    ASSERT_EQ(scan.exit_code, 0) << scan;
    const auto scan_ms = std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - started);

    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long> delay_ms(1, std::max<long>(5, scan_ms.count()));
    int kills = 0;
    while (kills < kKills) {
        Background run(TargetCommand(ProgramPath(), {"soak.dat", "/T4"}), dir());
        auto until = std::chrono::steady_clock::now() + milliseconds(delay_ms(random));
        while (!run.Ended() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(milliseconds(1));
        if (!run.Ended()) run.Signal(SIGKILL);
        const int status = run.Wait();
        if (WIFEXITED(status)) {  // it got to the end first
            ASSERT_EQ(WEXITSTATUS(status), 0) << "a run failed";
            break;
        }
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        ++kills;
        // Every restart must find a file that opens and checks clean.
        ASSERT_EQ(Recfile({"check", "soak.dat"}).exit_code, 0) << "after kill " << kills;
    }
    EXPECT_GE(kills, 3) << "the runs ended before they could be killed";

    Result last = Run({"soak.dat", "/T4"});
    ASSERT_EQ(last.exit_code, 0) << last;
    EXPECT_EQ(support::NumberAfter(last.out, "Total Scanned Record Count: "), kRecords);
    std::printf("soak: plain scan %ld ms, %d kills, the last run updated %ld records\n",
                static_cast<long>(scan_ms.count()), kills,
                support::NumberAfter(last.out, "Total Updated Record Count: "));
    Recfile({"check", "soak.dat"});

    const std::string truncated = support::Hex("ABCDEFGHIJKLMNOPQRST") + "00";
    std::vector<std::string> lines = HexLines("soak.dat");
    ASSERT_EQ(lines.size(), static_cast<size_t>(kRecords));
    for (size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(lines[i], truncated) << "record " << i << " after " << kills << " kills";
}

}  // namespace
}  // namespace e2e

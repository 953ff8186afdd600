// The cancel key and the terminal, with a pseudo-terminal as the program's
// controlling terminal (native only). Keys typed before the scan starts wait
// in the terminal, which makes the point of cancellation exact; keys typed
// while it runs cancel at the next test.
#include <signal.h>

#include <nlohmann/json.hpp>

#include "recmeter_text.h"

namespace e2e {
namespace {

class KeyboardTest : public E2ETest {
protected:
    void SetUp() override { E2E_REQUIRE_PTY_TARGET(); }

    // Types `keys` once stderr shows `after`.
    static ChildOptions TypeAfter(const std::string& after, const std::string& keys) {
        return OnPty({{after, keys}});
    }
    // `script` run by a shell in the test folder, the program as its $0.
    Result Shell(const std::string& script, const ChildOptions& options = OnPty()) const {
        return RunCommand({"sh", "-c", script, ProgramPath()}, dir(), options);
    }

    // Runs the program with `keys` already waiting in the terminal: they are
    // typed while a shell sleeps before it starts the program in its place.
    Result RunWithKeysWaiting(const std::vector<std::string>& args, const std::string& keys) const {
        std::vector<std::string> argv{"sh", "-c", "sleep 0.5; exec \"$0\" \"$@\"", ProgramPath()};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunCommand(argv, dir(), TypeAfter("", keys));
    }
};

// Enough records that a key typed once the spinner has turned arrives well
// before the scan ends.
constexpr uint32_t kManyRecords = 1000000;

const std::string kCancelled = "\nApplication terminated.\n";
const std::string kFirstTurn = "-\b";

std::string Spinner(uint32_t turns) {
    static const char kChars[] = {'-', '\\', '|', '/'};
    std::string s;
    for (uint32_t i = 0; i < turns; ++i) s += std::string{kChars[i % 4], '\b'};
    return s;
}

// The record count from the report (-1 as unsigned when there is none).
uint32_t ScannedCount(const std::string& out) {
    return static_cast<uint32_t>(support::NumberAfter(out, "Total Scanned Record Count: "));
}

// Keys typed before the program starts. The 1000th record, where the first
// test is made, is 20 bytes long and the others 10: the record at which Esc
// is noticed is neither compared (no Changed line, largest 10) nor added to
// the histogram (its counts add up to one less than the count).
TEST_F(KeyboardTest, KeysWaitingBeforeTheScan) {
    Make("data.dat", {"10x999", "20", "10x4000"});
    const std::string scanning = Scanning("data.dat");
    const std::string change_at_1000 = Changed(20) + Changed(10);
    const std::string counted_999 = Report(1000, 10, 10) + Histogram({{10, ' ', 999}});
    const std::string to_2000 = scanning + Started(10) + change_at_1000 + Report(2000, 10, 20);
    const std::string truncating = Truncating(4) + scanning;
    const struct {
        const char* keys;
        std::vector<std::string> options;
        uint32_t scanned;
        bool cancelled;
        std::string out;
    } cases[] = {
        {"\x1b", {}, 1000, true, scanning + Started(10) + Report(1000, 10, 10)},
        {"\x1b", {"/C"}, 1000, true, scanning + counted_999},
        {"\x1b", {"/B1", "/C"}, 1000, true, Granularity(16) + scanning + counted_999},
        // One key per test: the first is passed over, the Esc cancels next.
        {"x\x1b", {}, 2000, true, to_2000},
        // Esc pressed twice: the first one cancels.
        {"\x1b\x1b", {}, 1000, true, scanning + Started(10) + Report(1000, 10, 10)},
        // An arrow key is no Esc, whatever its first byte.
        {"\x1b[A", {}, 5000, false, scanning + Started(10) + change_at_1000 + Report(5000, 10, 20)},
        {"\x1b[A\x1b", {}, 2000, true, to_2000},
        // Truncation tests before every record: it stops before the first.
        {"\x1b", {"/T4"}, 0, true, truncating + Report(0, 0, 0, ' ', 0)},
        {"\x1b", {"/T4", "/N"}, 0, true, kDryRun + truncating + DryRunReport(0, 0, 0)},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = Args("data.dat", c.options);
        SCOPED_TRACE(::testing::PrintToString(std::string(c.keys)) + " " + args.back());
        Result r = RunWithKeysWaiting(args, c.keys);
        const std::string err = kBanner + kPress + Spinner(c.scanned / 1000);
        EXPECT_TRUE(Ran(r, 0, c.out, err + (c.cancelled ? kCancelled : "")));
        EXPECT_TRUE(SameTerminalSettings(r.tty_before, r.tty_after));
    }
}

// The JSON report of a cancelled scan says so; its sizes, like the
// histogram, leave out the record at which Esc was noticed.
TEST_F(KeyboardTest, JsonReportOfACancelledScan) {
    Make("data.dat", {"10x999", "20", "10x4000"});
    Result r = RunWithKeysWaiting({"data.dat", "/J=out.json"}, "\x1b");
    EXPECT_TRUE(Ran(r, 0, Scanning("data.dat") + Started(10) + Report(1000, 10, 10),
                    kBanner + kPress + Spinner(1) + kCancelled));
    nlohmann::json report = nlohmann::json::parse(ReadFile("out.json"));
    EXPECT_EQ(report["scanEnd"], "cancelled");
    EXPECT_TRUE(report["scanStatus"].is_null());
    EXPECT_EQ(report["scannedCount"], 1000);
    EXPECT_EQ(report["countedRecords"], 999);
    EXPECT_EQ(report["sizes"],
              (nlohmann::json{
                  {{"size", 10}, {"count", 999}, {"lowerBound", false}, {"lowerBoundCount", 0}}}));
}

// Over several files Esc ends the file under way, whose report follows,
// and the run: the files after it are not scanned, and the exit code is 0.
TEST_F(KeyboardTest, EscEndsARunOverSeveralFiles) {
    Make("a.dat", {"10x999", "20", "10x4000"});
    Make("b.dat", {"10"});
    Result r = RunWithKeysWaiting({"a.dat", "b.dat"}, "\x1b");
    EXPECT_EQ(r.exit_code, 0) << r;
    EXPECT_EQ(r.out.rfind(Scanning("a.dat") + Started(10) + Report(1000, 10, 10) + "\nSummary of 2 files:\n", 0), 0u) << r;
    EXPECT_NE(r.out.find("  Esc                    a.dat\n"), std::string::npos) << r;
    EXPECT_NE(r.out.find("  not scanned            b.dat\n"), std::string::npos) << r;
    EXPECT_EQ(r.err, kBanner + kPress + Spinner(1) + kCancelled);
}

TEST_F(KeyboardTest, EscDuringTheSizeScan) {
    const uint32_t total = kManyRecords;
    Gen("data.dat", total, 10, 10);
    Result r = Run({"data.dat"}, TypeAfter(kFirstTurn, "\x1b"));
    uint32_t scanned = ScannedCount(r.out);
    EXPECT_EQ(scanned % 1000, 0u) << r;
    EXPECT_GE(scanned, 1000u) << r;
    EXPECT_LT(scanned, total) << "the scan ran to its end before the Esc arrived";
    EXPECT_TRUE(Ran(r, 0, Scanning("data.dat") + Started(10) + Report(scanned, 10, 10),
                    kBanner + kPress + Spinner(scanned / 1000) + kCancelled));
    EXPECT_TRUE(SameTerminalSettings(r.tty_before, r.tty_after));
}

// Truncation notices Esc at the next record, not the next thousand: every
// record before it is trimmed and counted, none after it.
TEST_F(KeyboardTest, EscDuringTruncation) {
    const uint32_t total = 200000;
    Make("data.dat", {"10+5x" + std::to_string(total)});
    const std::vector<std::string> before = HexLines("data.dat");
    ASSERT_EQ(before.size(), total);

    Result r = Run({"data.dat", "/T4"}, TypeAfter(kFirstTurn, "\x1b"));
    uint32_t scanned = ScannedCount(r.out);
    EXPECT_GE(scanned, 1000u) << r;
    EXPECT_LT(scanned, total) << "the scan ran to its end before the Esc arrived";
    EXPECT_TRUE(Ran(r, 0,
                    Truncating(4) + Scanning("data.dat") +
                        Report(scanned, 0, 0, ' ', static_cast<int>(scanned)),
                    kBanner + kPress + Spinner(scanned / 1000) + kCancelled));
    EXPECT_TRUE(SameTerminalSettings(r.tty_before, r.tty_after));

    const std::vector<std::string> after = HexLines("data.dat");
    uint32_t wrong = 0;
    for (uint32_t index = 0; index < after.size() && index < total; ++index) {
        const std::string expected =
            index < scanned ? before[index].substr(0, 2 * 11) : before[index];
        if (after[index] != expected && wrong++ < 3) {
            ADD_FAILURE() << "record " << index << " of " << scanned
                          << " scanned: " << after[index];
        }
    }
    EXPECT_EQ(after.size(), total);
}

// Esc typed after the 100th spinner turn of a long /T run, when no key has
// been waiting for many tests (the console is asked only now and then, every
// few milliseconds: report/progress.cc): counted from the turn it was typed
// at, the run stops within a bound in records far above what a scan walks
// while the key reaches the program and the console is next asked, at any
// scan speed the benchmark has seen (bench/README.md, "The Esc test at a
// console"). A loaded machine scans slower and only makes it easier to keep.
TEST_F(KeyboardTest, EscStopsALongTruncationPromptly) {
    const uint32_t total = 3000000, typed_at = 100000, bound = 1000000;
    Gen("data.dat", total, 10, 10);
    Result r = Run({"data.dat", "/T8", "/N"}, TypeAfter(Spinner(typed_at / 1000), "\x1b"));
    uint32_t scanned = ScannedCount(r.out);
    EXPECT_GE(scanned, typed_at) << r;
    EXPECT_LE(scanned, typed_at + bound) << "Esc was noticed late, or not at all";
    EXPECT_EQ(r.err, kBanner + kPress + Spinner(scanned / 1000) + kCancelled);
}

// Ctrl-C and Ctrl-\ kill the program by their signals, the terminal as it
// was before.
TEST_F(KeyboardTest, InterruptAndQuitRestoreTheTerminal) {
    Gen("data.dat", kManyRecords, 10, 10);
    const struct {
        const char* key;
        int signal;
    } cases[] = {{"\x03", SIGINT}, {"\x1c", SIGQUIT}};
    for (const auto& c : cases) {
        Result r = Run({"data.dat"}, TypeAfter(kFirstTurn, c.key));
        EXPECT_EQ(r.signal, c.signal) << r;
        const std::string prefix = kBanner + kPress + kFirstTurn;
        EXPECT_EQ(r.err.substr(0, prefix.size()), prefix) << r;
        EXPECT_TRUE(SameTerminalSettings(r.tty_before, r.tty_after)) << "signal " << c.signal;
    }
}

// SIGTERM while the scan runs (sent by a shell once the spinner has turned,
// so the terminal is in key mode then): the program dies by it, and the
// terminal is back as it was.
TEST_F(KeyboardTest, TerminateRestoresTheTerminal) {
    Gen("data.dat", kManyRecords, 10, 10);
    // The shell reads stderr up to the spinner's first turn.
    const std::string script =
        Fmt("mkfifo err.fifo && exec 3<>err.fifo || exit 9\n"
            "\"$0\" data.dat >/dev/null 2>err.fifo &\n"
            "pid=$!\n"
            "head -c %zu <&3 >/dev/null\n"
            "stty -g </dev/tty >during.txt\n"
            "kill -TERM $pid\n"
            "wait $pid\n"
            "echo \"status $?\"\n"
            "stty -g </dev/tty >after.txt\n",
            (kBanner + kPress + kFirstTurn).size());
    Result r = Shell(script);
    EXPECT_EQ(r.out, Fmt("status %d\n", 128 + SIGTERM)) << r;
    EXPECT_NE(ReadFile("during.txt"), ReadFile("after.txt"))
        << "the terminal was never in key mode";
    EXPECT_TRUE(SameTerminalSettings(r.tty_before, r.tty_after));
}

// Output into a pipe whose reader has gone: the program dies of SIGPIPE
// while it scans, and the terminal is back as it was.
TEST_F(KeyboardTest, BrokenPipeRestoresTheTerminal) {
    Gen("data.dat", kManyRecords, 10, 60);
    const std::string script =
        "{ \"$0\" data.dat 2>/dev/null; echo \"status $?\" >status.txt; } | head -c 1 >/dev/null\n";
    Result r = Shell(script);
    EXPECT_EQ(ReadFile("status.txt"), Fmt("status %d\n", 128 + SIGPIPE)) << r;
    EXPECT_TRUE(SameTerminalSettings(r.tty_before, r.tty_after));
}

// Ctrl-Z under a shell with job control, which gives the program a process
// group of its own and the terminal. The program puts the shell's settings
// back before it stops; continued in the background it leaves the terminal
// alone (asking anything of it would stop the job again, and the wait would
// end with 128 + that signal); brought back with fg it takes the keyboard
// again, so Esc cancels. The shell's own job messages go to a file.
TEST_F(KeyboardTest, StopThenContinue) {
    const uint32_t total = kManyRecords;
    Gen("data.dat", total, 10, 10);
    enum Outcome { kToTheEnd, kCancelledByEsc, kTerminated };
    const struct {
        const char* resume;
        int status;
        Outcome outcome;
    } cases[] = {
        {"bg >&4\nwait %1\n", 0, kToTheEnd},
        // An interactive shell takes its own settings back while the job is
        // stopped; Esc is typed before fg and waits in the terminal.
        {"stty \"$(cat before.txt)\"\necho resuming >&3\nfg >&4\n", 0, kCancelledByEsc},
        {"kill -TERM %1\nbg >&4\nwait %1\n", 128 + SIGTERM, kTerminated},
    };
    const std::string kResuming = "resuming\n";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.resume);
        const std::string script =
            "exec 3>&2 4>shell.txt 2>&4\n"
            "set -m\n"
            "stty -g >before.txt\n"
            "\"$0\" data.dat >out.txt 2>&3\n"
            "echo \"stopped $?\"\n"
            "stty -g >stopped.txt\n" +
            std::string(c.resume) + "echo \"ended $?\"\n";
        ChildOptions options = TypeAfter(kFirstTurn, "\x1a");
        options.timeout = std::chrono::seconds(20);
        if (c.outcome == kCancelledByEsc) options.pty_script.push_back({kResuming, "\x1b"});
        Result r = Shell(script, options);
        EXPECT_EQ(r.out, Fmt("stopped %d\nended %d\n", 128 + SIGTSTP, c.status)) << r;
        EXPECT_EQ(ReadFile("stopped.txt"), ReadFile("before.txt"))
            << "the terminal was left in key mode while the job was stopped";
        EXPECT_TRUE(SameTerminalSettings(r.tty_before, r.tty_after));
        if (c.outcome == kTerminated) continue;

        const std::string out = ReadFile("out.txt");
        const uint32_t scanned = ScannedCount(out);
        std::string err = r.err;
        size_t marker = err.find(kResuming);
        if (marker != std::string::npos) err.erase(marker, kResuming.size());
        if (c.outcome == kCancelledByEsc) {
            EXPECT_LT(scanned, total) << "Esc did not cancel after fg";
        } else {
            EXPECT_EQ(scanned, total);
        }
        EXPECT_EQ(out, Scanning("data.dat") + Started(10) + Report(scanned, 10, 10));
        EXPECT_TRUE(err == kBanner + kPress + Spinner(scanned / 1000) +
                               (c.outcome == kCancelledByEsc ? kCancelled : ""))
            << "stderr of " << scanned << " records: " << err.substr(0, 80) << " ... "
            << err.substr(err.size() < 40 ? 0 : err.size() - 40);
    }
}

}  // namespace
}  // namespace e2e

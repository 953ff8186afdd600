// Support for the end-to-end tests: each test gets a fresh folder, makes its
// data files there with the native recfile tool, and runs the real program
// (natively, or under wine for the Windows build) with that folder as its
// working directory, capturing stdout and stderr separately and byte-exact.
#pragma once

#include <gtest/gtest.h>
#include <termios.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

enum class Target { kNative, kWindows };

// Chosen by CTest through RECMETER_E2E_TARGET (native|windows) and
// RECMETER_E2E_BIN (the folder holding the program and the engine).
Target CurrentTarget();
const std::string& ProgramDir();
// The native recfile tool used to make files for both targets.
const std::string& RecfilePath();
// The program under test in ProgramDir(): recmeter or RECMETER.EXE.
std::string ProgramPath();
// Checks the environment before any test runs.
struct Setup {
    enum Verdict { kReady, kSkip, kBroken } verdict = kReady;
    std::string reason;
};
Setup CheckSetup();

// Turns text as the program writes it ("\n" line ends, "\r\n" where the
// program writes "\r\n" itself) into the bytes the target delivers to a pipe:
// under wine stdout and stderr are in text mode, so every "\n" arrives as
// "\r\n" (a program "\r\n" arrives as "\r\r\n").
std::string Expect(const std::string& text, Target target);
inline std::string Expect(const std::string& text) { return Expect(text, CurrentTarget()); }

// One step of a terminal conversation: once `after_stderr` has appeared on
// the program's stderr (past what earlier steps waited for), write `send` to
// the terminal.
struct PtyStep {
    std::string after_stderr;
    std::string send;
};

struct RunOptions {
    // Extra environment variables, e.g. {"LOCALENGINE_FAULTS", "24=2"}.
    // LOCALENGINE_VERSION and LOCALENGINE_FAULTS are removed from the
    // inherited environment unless given here.
    std::vector<std::pair<std::string, std::string>> env;
    std::chrono::milliseconds timeout{std::chrono::seconds(60)};
    // Native target only: give the program a pseudo-terminal as its
    // controlling terminal and stdin; stdout and stderr stay pipes.
    bool pty = false;
    std::vector<PtyStep> pty_script;
};

inline RunOptions WithEnv(std::vector<std::pair<std::string, std::string>> env) {
    RunOptions options;
    options.env = std::move(env);
    return options;
}

struct Result {
    std::string out;
    std::string err;
    int exit_code = -1;  // -1 when killed by a signal or timed out
    int signal = 0;
    bool timed_out = false;
    // Only with a pty: the terminal's settings before the program started
    // and after it ended, everything it wrote to the terminal, and the steps
    // of the script that were carried out.
    termios tty_before{};
    termios tty_after{};
    std::string tty_output;
    size_t pty_steps_done = 0;
};

std::ostream& operator<<(std::ostream& os, const Result& r);

// True when the settings a program could change (modes and control
// characters) are the same.
bool SameTerminalSettings(const termios& a, const termios& b);

// Runs argv[0] (looked up in PATH when it has no slash) in `dir` with stdin
// from /dev/null (or the pty) and no controlling terminal. A run past the
// timeout is killed and reported as a test failure.
Result RunCommand(const std::vector<std::string>& argv, const std::string& dir,
                  const RunOptions& options = {});

// A fresh temporary folder, removed with its contents at the end (kept when
// RECMETER_E2E_KEEP is set, for looking at a failure).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Skips the current test on targets that have no pseudo-terminal.
#define E2E_REQUIRE_PTY_TARGET()                                        \
    do {                                                                \
        if (::e2e::CurrentTarget() == ::e2e::Target::kWindows)          \
            GTEST_SKIP() << "needs a pseudo-terminal, none under wine"; \
    } while (0)

// Base fixture: a fresh folder per test, recfile to fill it, the program to
// run in it.
class E2ETest : public ::testing::Test {
protected:
    const std::string& dir() const { return dir_.path(); }
    std::string PathOf(const std::string& name) const { return dir() + "/" + name; }
    static Target target() { return CurrentTarget(); }
    static bool windows() { return CurrentTarget() == Target::kWindows; }

    // The program under test with `args` (data files named relative to the
    // test folder, since on Windows a path starting with "/" is an option).
    Result Run(const std::vector<std::string>& args, const RunOptions& options = {}) const;
    // A companion tool of the target build: "recfile" runs bin/recfile
    // natively or bin/recfile.exe under wine.
    Result RunTool(const std::string& tool, const std::vector<std::string>& args,
                   const RunOptions& options = {}) const;
    // The native recfile tool; a failure fails the test.
    Result Recfile(const std::vector<std::string>& args) const;
    // recfile add NAME ITEM... (creates NAME first); owner empty = none.
    void Make(const std::string& name, const std::vector<std::string>& items,
              const std::string& owner = "") const;
    // recfile gen NAME --count --min --max --seed.
    void Gen(const std::string& name, uint32_t count, uint32_t min_len, uint32_t max_len,
             uint32_t seed = 1) const;
    // Writes raw bytes into the test folder.
    void WriteFile(const std::string& name, const std::string& bytes) const;
    std::string ReadFile(const std::string& name) const;

private:
    TempDir dir_;
};

}  // namespace e2e

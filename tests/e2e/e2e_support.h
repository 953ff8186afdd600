// Support for the end-to-end tests: each test gets a fresh folder, makes its
// data files there with the native recfile tool, and runs the real program
// (natively, or under wine for the Windows build) with that folder as its
// working directory, capturing stdout and stderr separately and byte-exact.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/process.h"
#include "support/test_support.h"

namespace e2e {

enum class Target { kNative, kWindows };

// Chosen by CTest through RECMETER_E2E_TARGET (native|windows) and
// RECMETER_E2E_BIN (the folder holding the program and the engine).
Target CurrentTarget();
const std::string& ProgramDir();
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

// The runner, its options and results are the tests' shared ones; the
// native recfile makes the files for both targets.
using support::ChildOptions;
using support::Environment;
using support::OnPty;
using support::RecfilePath;
using support::Result;
using support::RunCommand;
using support::SameTerminalSettings;
using support::WithEnv;

// `program` of the target's build with `args`, as a command: under wine for
// the Windows build.
std::vector<std::string> TargetCommand(const std::string& program,
                                       const std::vector<std::string>& args);

// Skips the current test on targets that have no pseudo-terminal.
#define E2E_REQUIRE_PTY_TARGET()                                        \
    do {                                                                \
        if (::e2e::CurrentTarget() == ::e2e::Target::kWindows)          \
            GTEST_SKIP() << "needs a pseudo-terminal, none under wine"; \
    } while (0)

// Base fixture: a fresh folder per test, recfile to fill it, the program to
// run in it. Files are named relative to the folder.
class E2ETest : public support::FolderTest {
protected:
    static Target target() { return CurrentTarget(); }
    static bool windows() { return CurrentTarget() == Target::kWindows; }

    // The program under test with `args` (data files named relative to the
    // test folder, since on Windows a path starting with "/" is an option).
    Result Run(const std::vector<std::string>& args, const ChildOptions& options = {}) const;
    // A companion tool of the target build: "recfile" runs bin/recfile
    // natively or bin/recfile.exe under wine.
    Result RunTool(const std::string& tool, const std::vector<std::string>& args,
                   const ChildOptions& options = {}) const;
    // The native recfile in the folder, as support's Recfile, MakeFile,
    // GenFile and HexLines.
    Result Recfile(const std::vector<std::string>& args) const {
        return support::Recfile(args, dir());
    }
    void Make(const std::string& name, const std::vector<std::string>& items,
              const std::string& owner = "") const {
        support::MakeFile(path(name), items, owner);
    }
    void Gen(const std::string& name, uint32_t count, uint32_t min_len, uint32_t max_len,
             uint32_t seed = 1) const {
        support::GenFile(path(name), count, min_len, max_len, seed);
    }
    std::vector<std::string> HexLines(const std::string& name) const {
        return support::HexLines(path(name));
    }
};

}  // namespace e2e

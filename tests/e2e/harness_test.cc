// The harness itself, with ordinary shell commands: what the program tests
// rely on (separate byte-exact streams, no terminal, timeouts, the pty) must
// hold, or their verdicts mean nothing. Target-independent, so native only.
#include <gtest/gtest-spi.h>

#include "e2e_support.h"

namespace e2e {
namespace {

class HarnessTest : public E2ETest {
protected:
    void SetUp() override {
        if (windows()) GTEST_SKIP() << "harness checks run with the native target";
    }
    Result Sh(const std::string& script, const ChildOptions& options = {}) const {
        return RunCommand({"sh", "-c", script}, dir(), options);
    }
};

TEST_F(HarnessTest, StreamsAreSeparateAndByteExact) {
    Result r = Sh("printf 'a\\r\\n\\000b'; printf 'err\\n' >&2; printf 'c' ; exit 3");
    EXPECT_EQ(r.out, std::string("a\r\n\0bc", 6));
    EXPECT_EQ(r.err, "err\n");
    EXPECT_EQ(r.exit_code, 3);
}

TEST_F(HarnessTest, RunsInTheTestFolderWithoutTerminalOrInput) {
    WriteFile("here.txt", "x");
    Result r = Sh("cat here.txt; if (: </dev/tty) 2>/dev/null; then echo tty; else echo no-tty; fi; "
                  "cat; echo end");
    EXPECT_EQ(r.out, "xno-tty\nend\n") << r;
}

TEST_F(HarnessTest, EngineSwitchesAreSetOnlyWhenAsked) {
    ::setenv("LOCALENGINE_FAULTS", "24=2", 1);
    Result bare = Sh("echo \"[${LOCALENGINE_FAULTS-unset}][${LOCALENGINE_VERSION-unset}]\"");
    Result given = Sh("echo \"[$LOCALENGINE_FAULTS][$LOCALENGINE_VERSION]\"",
                      WithEnv({{"LOCALENGINE_VERSION", ""}, {"LOCALENGINE_FAULTS", "0=20"}}));
    ::unsetenv("LOCALENGINE_FAULTS");
    EXPECT_EQ(bare.out, "[unset][unset]\n");
    EXPECT_EQ(given.out, "[0=20][]\n");
}

TEST_F(HarnessTest, KillsARunPastItsTimeout) {
    ChildOptions quick;
    quick.timeout = std::chrono::milliseconds(300);
    Result r;
    EXPECT_NONFATAL_FAILURE(r = Sh("echo started; exec sleep 30", quick), "timed out");
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.out, "started\n");
}

TEST_F(HarnessTest, MapsLineEndsForTheTarget) {
    const struct {
        const char* text;
        const char* windows;
    } cases[] = {
        {"", ""},
        {"a\n", "a\r\n"},
        {"a\r\nb\n\n", "a\r\r\nb\r\n\r\n"},
        {"no end", "no end"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Expect(c.text, Target::kNative), c.text);
        EXPECT_EQ(Expect(c.text, Target::kWindows), c.windows) << c.text;
    }
}

// The byte helpers every test compares with.
TEST_F(HarnessTest, HexAndLinesAtTheirEdges) {
    const struct {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"\n", {""}},
        {"a", {"a"}},
        {"a\n\nb\n", {"a", "", "b"}},
        {"a\r\nb", {"a\r", "b"}},
    };
    for (const auto& c : cases) EXPECT_EQ(support::Lines(c.text), c.lines) << c.text;

    const std::string bytes("\x00\x7f\x80\xff Az", 7);
    EXPECT_EQ(support::Hex(bytes), "007f80ff20417a");
    EXPECT_EQ(support::Unhex("007F80ff20417A"), std::vector<uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_EQ(support::Hex(support::Unhex("")), "");
    for (const char* bad : {"0", "abc", "0g", " 1"})
        EXPECT_THROW(support::Unhex(bad), std::invalid_argument) << bad;
}

TEST_F(HarnessTest, PtyIsTheControllingTerminalAndTheScriptTalksToIt) {
    Result r = Sh("stty -echo; echo ready >&2; read line </dev/tty; stty echo; echo \"got $line\"",
                  OnPty({{"ready", "hello\n"}}));
    EXPECT_EQ(r.out, "got hello\n") << r;
    EXPECT_EQ(r.err, "ready\n");
    EXPECT_EQ(r.pty_steps_done, 1u);
    EXPECT_TRUE(SameTerminalSettings(r.tty_before, r.tty_after));
}

TEST_F(HarnessTest, PtySeesTerminalSettingsLeftChanged) {
    Result r = Sh("stty -echo -icanon", OnPty());
    EXPECT_EQ(r.exit_code, 0) << r;
    EXPECT_FALSE(SameTerminalSettings(r.tty_before, r.tty_after));
}

}  // namespace
}  // namespace e2e

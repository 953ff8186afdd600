// Settings the engine reads from its environment once per process (version
// replies, injected faults) and the lock between processes, each tested in
// child processes.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "support.h"

namespace {
// Set in a child forked while the engine's reader thread ran. The sanitizer
// build's leak check at exit takes its allocator's locks, and the child may
// hold a copy of one that the reader had taken at the fork: it would wait for
// ever. The leak checker asks this hook first (it is unused elsewhere).
bool forkedWithThreads = false;
}  // namespace

extern "C" int __lsan_is_turned_off() {
    return forkedWithThreads ? 1 : 0;
}

namespace behaviour {
namespace {

using namespace localengine;

struct Probe {
    support::Result run;
    std::vector<std::string> words;  // STATUS/LENGTH/HEX, one per request
};

Probe probe(const std::string& entry, const std::string& file, const std::vector<std::string>& requests,
            const support::Environment& env) {
    std::vector<std::string> argv = {LEPROBE_PROGRAM, entry, file};
    argv.insert(argv.end(), requests.begin(), requests.end());
    Probe p;
    p.run = support::RunChild(argv, "", support::WithEnv(env));
    p.words = support::Words(p.run.out);
    return p;
}

// ---- Version replies -------------------------------------------------------

struct VersionEntry {
    uint16_t version, revision;
    char letter;  // 0: none given
};

struct VersionCase {
    BEHAVIOUR_CASE_NAMED(VersionCase)
    const char* name;
    std::optional<std::string> value;  // none: unset
    uint32_t buffer;
    int status;
    std::vector<VersionEntry> entries;
    uint32_t length;  // bytes returned
};

class VersionReply : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionReply, FollowsTheEnvironment) {
    const VersionCase& c = GetParam();
    for (const char* entry : {"std", "ex"}) {
        const Probe p = probe(entry, "unused", {"version:" + std::to_string(c.buffer)},
                              {{"LOCALENGINE_VERSION", c.value}, {"LOCALENGINE_FAULTS", std::nullopt}});
        ASSERT_EQ(p.run.exit_code, 0) << p.run.err;
        ASSERT_EQ(p.words.size(), 1u) << p.run.out;
        int status = 0;
        uint32_t length = 0;
        std::sscanf(p.words[0].c_str(), "%d/%u/", &status, &length);
        const std::string hex = p.words[0].substr(p.words[0].rfind('/') + 1);
        EXPECT_EQ(status, c.status) << entry;
        EXPECT_EQ(length, c.length) << entry;
        std::string expected;
        for (const VersionEntry& e : c.entries) {
            expected += support::Hex(
                Bytes{uint8_t(e.version), uint8_t(e.version >> 8), uint8_t(e.revision), uint8_t(e.revision >> 8)});
            // Without a letter the engine may answer a blank or a zero byte.
            const std::string letter = hex.size() >= expected.size() + 2 ? hex.substr(expected.size(), 2) : "";
            expected += e.letter == 0 && (letter == "20" || letter == "00") ? letter : support::Hex({&e.letter, 1});
        }
        expected = expected.substr(0, 2 * c.length);
        EXPECT_EQ(hex, c.length == 0 ? "-" : expected) << entry;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionReply,
    ::testing::Values(
        VersionCase{"Unset", std::nullopt, 64, kOk, {{13, 30, 0}}, 5}, VersionCase{"Empty", "", 64, kOk, {}, 0},
        VersionCase{"Old", "12.99", 64, kOk, {{12, 99, 0}}, 5},
        VersionCase{"JustBelow", "13.29", 64, kOk, {{13, 29, 0}}, 5},
        VersionCase{"TwoWithLetters", "13.30W,13.30T", 64, kOk, {{13, 30, 'W'}, {13, 30, 'T'}}, 10},
        VersionCase{"Three", "6.15,13.30W,14.0T", 64, kOk, {{6, 15, 0}, {13, 30, 'W'}, {14, 0, 'T'}}, 15},
        VersionCase{"ThreeInShortBuffer", "6.15,13.30W,14.0T", 7, kBufferTooShort, {{6, 15, 0}, {13, 30, 'W'}}, 7},
        VersionCase{"DefaultInEmptyBuffer", std::nullopt, 0, kBufferTooShort, {}, 0},
        VersionCase{"ExactBuffer", "13.30W,13.30T", 10, kOk, {{13, 30, 'W'}, {13, 30, 'T'}}, 10}),
    [](const auto& info) { return std::string(info.param.name); });

// Malformed values are the engine's to refuse as it likes, but not with a crash
// or a reply of broken entries.
TEST(VersionReplyMalformed, NeverCrashesNorAnswersHalfEntries) {
    for (const char* value : {"13", "13.", ".30", "13.3x", "a.b", "13.30WW", "13.30,13.30,13.30,13.30", "13.30,,13.30",
                              "70000.1", "13.30 ", ",", "-1.5"}) {
        const Probe p = probe("ex", "unused", {"version:64"}, {{"LOCALENGINE_VERSION", value}});
        ASSERT_EQ(p.run.exit_code, 0) << value << ": " << p.run.err;
        ASSERT_EQ(p.words.size(), 1u) << value;
        int status = 0;
        uint32_t length = 0;
        std::sscanf(p.words[0].c_str(), "%d/%u/", &status, &length);
        EXPECT_TRUE(status != kOk || length % 5 == 0) << value << " -> " << p.words[0];
    }
}

// ---- Injected faults ---------------------------------------------------------

// Record i of the fault file is i+1 bytes long.
std::string record(int i) { return "0/" + std::to_string(i + 1) + "/" + support::Hex(RecordBytes(i, i + 1)); }

const std::string kOpened = "0/0/-";
const std::string kEnd = "9/0/-";

struct FaultCase {
    BEHAVIOUR_CASE_NAMED(FaultCase)
    const char* name;
    const char* value;
    const char* entry;
    std::vector<std::string> requests;
    std::vector<std::string> replies;
    bool complaint;  // one "localengine:" line on stderr
};

class Faults : public BehaviourTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Faults, InjectedStatusesReplaceTheRequest) {
    const FaultCase& c = GetParam();
    std::vector<Bytes> records;
    for (uint32_t i = 0; i < 4; ++i) records.push_back(RecordBytes(i, i + 1));
    MakeFile(EngineFile(), path("f"), records);
    const Probe p = probe(c.entry, path("f"), c.requests, {{"LOCALENGINE_FAULTS", c.value}});
    ASSERT_EQ(p.run.exit_code, 0) << p.run.err;
    EXPECT_EQ(p.words, c.replies);
    const std::vector<std::string> errLines = support::Lines(p.run.err);
    if (c.complaint) {
        ASSERT_EQ(errLines.size(), 1u) << p.run.err;
        EXPECT_EQ(errLines[0].rfind("localengine:", 0), 0u) << errLines[0];
    } else {
        EXPECT_EQ(p.run.err, "");
    }
}

const std::vector<std::string> kWalk = {"open", "first", "next", "next", "next", "next", "close"};
const std::vector<std::string> kClean = {kOpened, record(0), record(1), record(2), record(3), kEnd, "0/0/-"};

INSTANTIATE_TEST_SUITE_P(
    Cases, Faults,
    ::testing::Values(
        FaultCase{"None", "", "ex", kWalk, kClean, false},
        FaultCase{"EveryStepNext", "24=2", "ex", kWalk,
                  {kOpened, record(0), "2/0/-", "2/0/-", "2/0/-", "2/0/-", "0/0/-"}, false},
        // The third Step Next is not carried out: the fourth reads what it would have.
        FaultCase{"ThirdStepNext", "24#3=20", "std", kWalk,
                  {kOpened, record(0), record(1), record(2), "20/0/-", record(3), "0/0/-"}, false},
        FaultCase{"Open", "0=20", "ex", {"open"}, {"20/0/-"}, false},
        FaultCase{"SecondOpenOnly", "0#2=85", "ex", {"open", "close", "open", "open", "first"},
                  {kOpened, "0/0/-", "85/0/-", kOpened, record(0)}, false},
        FaultCase{"NegativeExtended", "24=-5", "ex", {"open", "first", "next"}, {kOpened, record(0), "-5/0/-"}, false},
        FaultCase{"NegativeStandard", "24=-5", "std", {"open", "first", "next"}, {kOpened, record(0), "-5/0/-"}, false},
        FaultCase{"WideExtended", "24=-70000", "ex", {"open", "first", "next"}, {kOpened, record(0), "-70000/0/-"},
                  false},
        // The standard entry's status is 16 bits wide.
        FaultCase{"WideStandard", "24=-70000", "std", {"open", "first", "next"}, {kOpened, record(0), "-4464/0/-"},
                  false},
        FaultCase{"WidePositiveStandard", "24=70000", "std", {"open", "first", "next"},
                  {kOpened, record(0), "4464/0/-"}, false},
        FaultCase{"SeveralRules", "33#1=7,24#1=2,1=40", "ex", {"open", "first", "first", "next", "next", "close"},
                  {kOpened, "7/0/-", record(0), "2/0/-", record(1), "40/0/-"}, false},
        FaultCase{"Version", "26=2", "ex", {"version:64"}, {"2/0/-"}, false},
        FaultCase{"Check", "90#1=2", "ex", {"open", "check", "check"}, {kOpened, "2/0/-", "0/0/-"}, false},
        FaultCase{"MalformedStatus", "24=abc", "ex", kWalk, kClean, true},
        FaultCase{"MalformedOp", "abc=2", "ex", kWalk, kClean, true},
        FaultCase{"MalformedCount", "24#=2", "ex", kWalk, kClean, true},
        FaultCase{"MalformedCountZero", "24#0=2", "ex", kWalk, kClean, true},
        FaultCase{"MalformedMissingStatus", "24=", "ex", kWalk, kClean, true},
        FaultCase{"MalformedDoubleEquals", "24==2", "ex", kWalk, kClean, true},
        FaultCase{"MalformedSemicolon", "24=2;33=2", "ex", kWalk, kClean, true},
        // One bad rule voids the whole value, the good rules with it.
        FaultCase{"MalformedVoidsAll", "24=2,junk", "ex", kWalk, kClean, true},
        FaultCase{"MalformedTrailingComma", "24=2,", "ex", kWalk, kClean, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Get Position's reply depends on the file; check its shape here.
TEST_F(BehaviourTest, FaultOnSecondGetPositionOnly) {
    MakeFile(EngineFile(), path("f"), {Bytes(3, 1)});
    const Probe p = probe("ex", path("f"), {"open", "first", "pos", "pos", "pos"}, {{"LOCALENGINE_FAULTS", "22#2=2"}});
    ASSERT_EQ(p.words.size(), 5u) << p.run.out;
    EXPECT_EQ(p.words[2].substr(0, 4), "0/4/");
    EXPECT_EQ(p.words[3], "2/0/-");
    EXPECT_EQ(p.words[4], p.words[2]);
}

// Faults are read once: setting them later in the process changes nothing.
TEST(SettingsReadOnce, LaterFaultsAreIgnored) {
    const Probe p = probe("ex", "unused", {"version:64", "set:LOCALENGINE_FAULTS=26=2", "version:64"},
                          {{"LOCALENGINE_VERSION", "13.30W"}, {"LOCALENGINE_FAULTS", ""}});
    ASSERT_EQ(p.words.size(), 2u) << p.run.out << p.run.err;
    EXPECT_EQ(p.words[0], "0/5/0d001e0057");
    EXPECT_EQ(p.words[1], p.words[0]);
}

// ---- Lock between processes ---------------------------------------------------

TEST_F(BehaviourTest, SecondProcessGetsInUse) {
    MakeFile(EngineFile(), path("f"), {Bytes(3, 1)});
    {
        EngineFile held;
        ASSERT_EQ(held.open(path("f")), kOk);
        const Probe p = probe("ex", path("f"), {"open"}, {});
        EXPECT_EQ(p.words, std::vector<std::string>{"85/0/-"});
        // Another open and close of the file in this process must not drop the lock.
        walkFile(path("f"));
        EXPECT_EQ(probe("ex", path("f"), {"open"}, {}).words, std::vector<std::string>{"85/0/-"});
    }
    const Probe after = probe("ex", path("f"), {"open", "first"}, {});
    EXPECT_EQ(after.words, (std::vector<std::string>{kOpened, "0/3/010101"}));
}

// A child forked while the file is open, its reader running, may not use
// it (85), and ends without waiting for a reader it does not have; the
// parent's file goes on.
TEST_F(BehaviourTest, ForkedChildGetsInUseAndEnds) {
    MakeFile(EngineFile(), path("f"),
             {Bytes(3, 1), Bytes(5, 2), Bytes(3u << 20, 3)});  // past the first stretch: a reader
    EngineFile held;
    ASSERT_EQ(held.open(path("f")), kOk);
    ASSERT_EQ(held.step(kOpStepFirst, 100).status, kOk);
    for (bool closes : {true, false}) {  // its Close, or the engine's own end at exit
        pid_t child = fork();
        if (child == 0) {
            forkedWithThreads = true;
            armWatchdog(20);
            bool refused = held.step(kOpStepNext, 100).status == kInUse;
            std::exit(refused && (!closes || held.close() == kOk) ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << closes << " " << status;
    }
    EXPECT_EQ(held.step(kOpStepNext, 100).status, kOk);
}

}  // namespace
}  // namespace behaviour

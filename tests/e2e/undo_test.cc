// /T with an undo journal (/U) and the restore (/R), run for real on each
// target: every record comes back byte for byte, whatever was done when a
// run died; a record changed since is left alone and said; a journal is
// never written over a file, and one cut short or damaged is known.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "recmeter_text.h"

namespace e2e {
namespace {

using UndoTest = E2ETest;

long Count(const Result& r, const std::string& label) {
    return support::NumberAfter(r.out, label);
}

TEST_F(UndoTest, RestoreGivesBackEveryRecordAndLeavesChangedOnesAlone) {
    // Under wine the journal of RECMETER.EXE is restored by the native
    // program: one format on both.
    const std::string native = std::filesystem::path(RecfilePath()).parent_path().string() + "/recmeter";
    const struct {
        const char* items;
        int minimum;
        int t_exit;  // 1: /T stopped by a record over 64000 bytes
        long entries;
        int retrim = 0;  // a later /T# without a journal changes records the journal holds
        long left_alone = 0;
    } cases[] = {
        {"hex:41422020202020 hex:4120202020 10", 4, 0, 2},
        {"10+5x3 20+30 10", 4, 0, 4},
        {"hex:410020002020 hex:41200000202000 hex:4100002020", 4, 0, 3},
        {"10+5 hex:4142000000", 12, 0, 1},
        {"10+5 70000 10+5", 4, 1, 1},
        {"20+30x2 10+5", 12, 0, 3, 4, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.items) + " /T" + std::to_string(c.minimum));
        std::filesystem::remove(path("j.undo"));
        std::filesystem::remove(path("data.dat"));
        Make("data.dat", Words(c.items));
        const std::vector<std::string> before = HexLines("data.dat");
        Result t = Run({"data.dat", Fmt("/T%d", c.minimum), "/U=j.undo"});
        EXPECT_EQ(t.exit_code, c.t_exit) << t;
        EXPECT_EQ(Count(t, "Undo Journal Entries: "), c.entries) << t;
        EXPECT_NE(HexLines("data.dat"), before);
        if (c.retrim) {
            ASSERT_EQ(Run({"data.dat", Fmt("/T%d", c.retrim)}).exit_code, 0);
        }
        Result r = windows() ? RunCommand({native, "data.dat", "/R=j.undo"}, dir())
                             : Run({"data.dat", "/R=j.undo"});
        EXPECT_EQ(r.exit_code, c.left_alone ? 1 : 0) << r;
        EXPECT_EQ(Count(r, "Restored Record Count: "), c.entries - c.left_alone) << r;
        EXPECT_EQ(Count(r, "Left Alone Record Count: "), c.left_alone) << r;
        if (c.left_alone) {
            EXPECT_NE(r.out.find("Left alone, changed since /T: the record at position"), std::string::npos);
            continue;
        }
        EXPECT_EQ(HexLines("data.dat"), before);
        // Run again, it finds every record whole.
        r = Run({"data.dat", "/R=j.undo"});
        EXPECT_EQ(Count(r, "Already Restored Record Count: "), c.entries) << r;
    }
}

// Refused before the data file is opened, which keeps every byte: a journal
// over a file that exists (the data file, the report), and options that do
// not go together. A journal cut short, damaged or foreign is known before
// any record is touched.
TEST_F(UndoTest, RefusedJournalsAndTheirMessages) {
    Make("data.dat", {"10+5x2"});
    WriteFile("notes.txt", "a text\n");
    ASSERT_EQ(Run({"data.dat", "/T4", "/U=whole.undo"}).exit_code, 0);
    std::filesystem::remove(path("data.dat"));
    Make("data.dat", {"10+5x2"});
    const std::string data = ReadFile("data.dat");
    const std::string whole = ReadFile("whole.undo");
    WriteFile("cut.undo", whole.substr(0, whole.size() - 3));
    std::string flipped = whole;
    flipped[whole.size() / 2] ^= 1;
    WriteFile("flipped.undo", flipped);
    const struct {
        std::string args;
        int exit_code;
        std::string message;  // on stderr, or on stdout for an exit of 0
    } cases[] = {
        {"/T4 /U=data.dat", 1, "The undo journal data.dat exists: /U names a new file.\n"},
        {"/T4 /U=notes.txt", 1, "The undo journal notes.txt exists: /U names a new file.\n"},
        {"/T4 /U=j.undo /J=j.undo", 1, "The JSON report j.undo would overwrite the undo journal.\n"},
        {"/U=j.undo", 1, "An undo journal (/U) goes with /T#.\n"},
        {"/T4 /N /U=j.undo", 1, "A dry run (/N) changes nothing and writes no undo journal (/U).\n"},
        {"/T4 /R=whole.undo", 1, "A restore (/R) goes without /T# and /B#.\n"},
        {"/R=cut.undo", 0, "The undo journal cut.undo is incomplete: the /T run that wrote it stopped "
                           "before it changed any record. Nothing to restore.\n"},
        {"/R=flipped.undo", 1, "The undo journal flipped.undo is damaged; nothing was restored.\n"},
        {"/R=notes.txt", 1, "notes.txt is not an undo journal of this program.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        std::vector<std::string> args = Words(c.args);
        args.insert(args.begin(), "data.dat");
        Result r = Run(args);
        EXPECT_EQ(r.exit_code, c.exit_code) << r;
        const std::string& where = c.exit_code == 0 ? r.out : r.err;
        EXPECT_NE(where.find(Expect(c.message)), std::string::npos) << r;
        EXPECT_EQ(ReadFile("data.dat"), data);
        EXPECT_FALSE(std::filesystem::exists(path("j.undo")));
    }
    // A data file that does not open leaves no journal behind.
    EXPECT_EQ(Run({"missing.dat", "/T4", "/U=j.undo"}).exit_code, 1);
    EXPECT_FALSE(std::filesystem::exists(path("j.undo")));
}

// /T with a journal killed at random moments, each time on a fresh copy:
// the restore that follows gives back every record, whether the run died
// writing the journal (which then says the run changed nothing) or while
// it shortened records.
TEST_F(UndoTest, KilledAnywhereTheRestoreGivesEveryRecordBack) {
    if (windows()) GTEST_SKIP() << "killing a run is tested on the native build";
    constexpr int kKills = 6;
    // Records to shorten among many to pass by: the kills land all along
    // both passes, and a restore (an Update through the engine's own
    // journal each) stays short.
    Make("original.dat", {"hex:41422000", "30x50000", "20+30x1000", "30x50000", "20+30x1000", "7+9x3"});
    const std::string original = ReadFile("original.dat");
    const std::vector<std::string> before = HexLines("original.dat");
    WriteFile("data.dat", original);
    auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(Run({"data.dat", "/T4", "/U=timed.undo"}).exit_code, 0);
    const long run_ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - started).count();
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<long> delay_ms(1, std::max<long>(5, run_ms));
    int journalling = 0, shortening = 0;  // where the kills landed
    for (int kill = 0; kill < kKills; ++kill) {
        WriteFile("data.dat", original);
        const std::string journal = Fmt("k%d.undo", kill);
        support::Child run(TargetCommand(ProgramPath(), {"data.dat", "/T4", "/U=" + journal}),
                           dir());
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms(random)));
        if (!run.Ended()) run.Signal(SIGKILL);
        run.Wait();
        ASSERT_EQ(Recfile({"check", "data.dat"}).exit_code, 0) << "after kill " << kill;
        if (!std::filesystem::exists(path(journal))) {  // killed before it made the journal
            ASSERT_EQ(HexLines("data.dat"), before) << "after kill " << kill;
            continue;
        }
        Result r = Run({"data.dat", "/R=" + journal});
        ASSERT_EQ(r.exit_code, 0) << r;
        ASSERT_EQ(HexLines("data.dat"), before) << "after kill " << kill << "\n" << r.out.substr(0, 400);
        journalling += r.out.find("is incomplete") != std::string::npos;
        shortening += Count(r, "Restored Record Count: ") > 0;
    }
    std::printf("undo kills: %d while journalling, %d while shortening, of %d\n", journalling,
                shortening, kKills);
}

}  // namespace
}  // namespace e2e

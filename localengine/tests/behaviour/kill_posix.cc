// A writer shortening records is killed (SIGKILL) at several moments; each
// record must then be whole in its old or its new form, and the file sound.
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "support.h"

namespace behaviour {
namespace {

using namespace localengine;

struct Group {
    uint32_t filled, nulls, count;
};
const std::vector<Group> kGroups = {{20, 12, 50000}, {7, 1, 50000}, {100, 60, 50000}, {3, 200, 50000}};


// Counts the records already shortened; fails on any record in a third form.
size_t verify(const std::string& file, const std::vector<std::string>& listBefore) {
    support::Recfile({"check", file});
    const std::vector<std::string> lines = support::HexLines(file);
    size_t index = 0, shortened = 0;
    for (const Group& g : kGroups) {
        const std::string shortForm = letterHex(g.filled);
        const std::string longForm = shortForm + std::string(2 * g.nulls, '0');
        for (uint32_t i = 0; i < g.count; ++i, ++index) {
            if (index >= lines.size()) {
                ADD_FAILURE() << "only " << lines.size() << " records left";
                return shortened;
            }
            if (lines[index] == shortForm) {
                ++shortened;
            } else if (lines[index] != longForm) {
                ADD_FAILURE() << "record " << index << " is neither its old nor its new form";
                return shortened;
            }
        }
    }
    EXPECT_EQ(lines.size(), index);
    // Positions never move.
    std::vector<std::string> listAfter = support::Lines(support::Recfile({"list", file}).out);
    EXPECT_EQ(listAfter.size(), listBefore.size());
    for (size_t i = 0; i < listAfter.size() && i < listBefore.size(); ++i) {
        if (listAfter[i].substr(0, listAfter[i].find(' ')) != listBefore[i].substr(0, listBefore[i].find(' '))) {
            ADD_FAILURE() << "record " << i << " moved";
            break;
        }
    }
    return shortened;
}

// Runs the writer and kills it `delay` after it opened the file; false when it
// finished first.
bool runAndKill(const std::string& file, std::chrono::microseconds delay) {
    support::Child writer(support::ChildCommand({LECRASHWRITER_PROGRAM, file}), "", {},
                          /*read_lines=*/true);
    EXPECT_GT(writer.pid(), 0);
    EXPECT_EQ(writer.ReadLine(), "ready");
    std::this_thread::sleep_for(delay);
    writer.Signal(SIGKILL);
    return WIFSIGNALED(writer.Wait());
}

TEST_F(BehaviourTest, KilledWriterLeavesEveryRecordOldOrNew) {
    std::vector<std::string> items;
    for (const Group& g : kGroups) {
        items.push_back(std::to_string(g.filled) + "+" + std::to_string(g.nulls) + "x" + std::to_string(g.count));
    }
    support::MakeFile(path("base"), items);
    const std::string base = support::ReadFile(path("base"));
    const std::vector<std::string> listBefore = support::Lines(support::Recfile({"list", path("base")}).out);
    ASSERT_EQ(listBefore.size(), 200000u);

    // A whole run first, to learn how long the writer takes here.
    support::WriteFile(path("f"), base);
    const auto start = std::chrono::steady_clock::now();
    const support::Result whole = support::RunChild({LECRASHWRITER_PROGRAM, path("f")});
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(whole.exit_code, 0) << whole.err;
    EXPECT_EQ(verify(path("f"), listBefore), 200000u);

    size_t killedMidway = 0;
    for (double fraction : {0.0, 0.05, 0.2, 0.4, 0.6, 0.8, 0.95}) {
        support::WriteFile(path("f"), base);
        const auto delay = std::chrono::microseconds(static_cast<long long>(took.count() * fraction));
        const bool killed = runAndKill(path("f"), delay);
        SCOPED_TRACE("killed after " + std::to_string(delay.count()) + " us");
        const size_t shortened = verify(path("f"), listBefore);
        if (killed && shortened > 0 && shortened < 200000) ++killedMidway;
        std::printf("kill after %lld us: %zu of 200000 records shortened\n", static_cast<long long>(delay.count()),
                    shortened);
    }
    std::printf("%zu kills landed mid-run (a whole run took %lld us)\n", killedMidway,
                static_cast<long long>(took.count()));
    // Otherwise every kill missed, and nothing above was tested.
    EXPECT_GE(killedMidway, 1u);
}

}  // namespace
}  // namespace behaviour

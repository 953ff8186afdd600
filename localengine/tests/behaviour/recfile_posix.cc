// The recfile tool run as a program: the records it makes, its refusals
// (which leave the file untouched), and its positions used in chunk requests.
#include <algorithm>
#include <sstream>

#include "support.h"

namespace behaviour {
namespace {

using namespace localengine;
using support::HexLines;
using support::Recfile;
using support::RunRecfile;

struct ItemsCase {
    BEHAVIOUR_CASE_NAMED(ItemsCase)
    const char* name;
    std::vector<std::string> items;
    std::vector<std::string> hexLines;
};

class RecfileItems : public BehaviourTest, public ::testing::WithParamInterface<ItemsCase> {};

TEST_P(RecfileItems, MakeTheRecordsAsked) {
    const ItemsCase& c = GetParam();
    support::MakeFile(path("f"), c.items);
    EXPECT_EQ(HexLines(path("f")), c.hexLines);
    const std::vector<std::string> lines = support::Lines(Recfile({"list", path("f")}).out);
    ASSERT_EQ(lines.size(), c.hexLines.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(lines[i].find(' ') + 1), std::to_string(c.hexLines[i].size() / 2));
    }
    Recfile({"check", path("f")});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RecfileItems,
    ::testing::Values(ItemsCase{"Plain", {"3"}, {"414243"}},
                      ItemsCase{"LettersWrap", {"27"}, {letterHex(27)}},
                      ItemsCase{"Nulls", {"2+2"}, {"41420000"}},
                      ItemsCase{"OnlyNulls", {"0+3"}, {"000000"}},
                      ItemsCase{"Repeated", {"1x3"}, {"41", "41", "41"}},
                      ItemsCase{"RepeatedWithNulls", {"2+1x2"}, {"414200", "414200"}},
                      ItemsCase{"Hex", {"hex:00ff20AB"}, {"00ff20ab"}},
                      ItemsCase{"InOrder", {"hex:01", "2", "1+1"}, {"01", "4142", "4100"}},
                      ItemsCase{"Long", {"300000"}, {letterHex(300000)}},
                      ItemsCase{"LongerThanOneReadPiece", {"3145728", "1048576+1", "2"}, {letterHex(3145728), letterHex(1048576) + "00", "4142"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Bad input: one line on stderr, a nonzero exit, and the file as it was.
TEST_F(BehaviourTest, RecfileRefusalsLeaveTheFileAlone) {
    support::MakeFile(path("f"), {"5", "hex:0102"}, "own");
    const std::string before = support::ReadFile(path("f"));
    const std::string f = path("f");
    std::vector<std::vector<std::string>> cases = {
        {"frobnicate", f},
        {"add"},
        {"add", f, "--owner=own"},
        {"add", f, "--owner=own", "3", "12y"},
        {"add", f, "--owner=own", "4", "1073741825"},
        {"add", f, "3"},
        {"add", f, "--owner=wrong", "3"},
        {"add", f, "--owner-hex=6f776", "3"},
        {"add", f, "--owner-hex=6g", "3"},
        {"add", f, "--owner=" + std::string(67, 'a'), "3"},
        {"add", f, "--owner=own", "--owner=own", "3"},
        {"add", f, "--owner", "3"},
        {"gen", f, "--owner=own", "--count=10", "--min=5", "--max=4"},
        {"gen", f, "--owner=own", "--count=abc", "--min=1", "--max=4"},
        {"gen", f, "--owner=own", "--count=-1", "--min=1", "--max=4"},
        {"gen", f, "--owner=own", "--count=10", "--min=1"},
        {"gen", f, "--owner=own", "--count=10", "--min=1", "--max=1073741825"},
        {"gen", f, "--owner=own", "--count=10", "--min=1", "--max=4", "--seed=x"},
        {"gen", f, "--count=10", "--min=1", "--max=4"},
        {"gen", f, "--owner=own", "--count=10", "--min=1", "--max=4", "junk"},
        {"create", f},
        {"list", f, "--owner=own", "extra"},
        {"list", f, "--bogus=1", "--owner=own"},
        {"list", f, "--count=1", "--owner=own"},
        {"list", f},
        {"hex", f, "--owner=nope"},
        {"check", f, "--owner=x"},
        {"list", path("missing")},
        {"add", path("missing"), "3"},
    };
    // Items add refuses, with the right owner.
    for (const char* item : {"x3", "3x", "3x0", "+1", "1+", "1++1", "1x2x3", "0", "0+0", "-3", "3x-1",
                             "99999999999999999999999", "hex:abc", "hex:zz", "4294967295+4294967295"}) {
        cases.push_back({"add", f, "--owner=own", item});
    }
    for (const auto& args : cases) {
        std::string shown;
        for (const std::string& a : args) shown += " " + a.substr(0, 40);
        const support::Result r = RunRecfile(args);
        EXPECT_NE(r.exit_code, 0) << shown;
        const std::vector<std::string> lines = support::Lines(r.err);
        EXPECT_EQ(lines.size(), 1u) << shown << ": " << r.err;
        EXPECT_EQ(r.err.rfind("recfile: ", 0), 0u) << shown << ": " << r.err;
        EXPECT_TRUE(support::ReadFile(f) == before) << shown << " changed the file";
    }
    for (const std::vector<std::string>& usage : {std::vector<std::string>{}, {"--help"}}) {
        const support::Result r = RunRecfile(usage);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_NE(r.err.find("usage"), std::string::npos);
    }
}

TEST_F(BehaviourTest, RecfileOwnersWithZeroBytes) {
    Recfile({"create", path("f"), "--owner-hex=00AB00"});
    Recfile({"add", path("f"), "--owner-hex=00ab00", "2"});
    EXPECT_NE(RunRecfile({"add", path("f"), "--owner-hex=00ab", "2"}).exit_code, 0);
    EXPECT_NE(RunRecfile({"list", path("f")}).exit_code, 0);
    EXPECT_EQ(RunRecfile({"hex", path("f"), "--owner-hex=00ab00"}).out, "4142\n");
    // gen creates the file with its owner.
    Recfile({"gen", path("g"), "--owner=" + std::string(66, 'z'), "--count=3", "--min=1", "--max=1"});
    EXPECT_NE(RunRecfile({"list", path("g"), "--owner=" + std::string(65, 'z')}).exit_code, 0);
    EXPECT_EQ(RunRecfile({"hex", path("g"), "--owner=" + std::string(66, 'z')}).out, "41\n41\n41\n");
}

TEST_F(BehaviourTest, RecfileGenIsDeterministicAndInRange) {
    const auto gen = [&](const std::string& name, const char* seed) {
        Recfile({"gen", path(name), "--count=2000", "--min=20", "--max=40", seed});
        return support::RecordLengths(path(name));
    };
    const std::vector<uint32_t> a = gen("a", "--seed=7");
    ASSERT_EQ(a.size(), 2000u);
    EXPECT_EQ(*std::min_element(a.begin(), a.end()), 20u);
    EXPECT_EQ(*std::max_element(a.begin(), a.end()), 40u);
    EXPECT_EQ(gen("b", "--seed=7"), a);
    EXPECT_NE(gen("c", "--seed=8"), a);
    // On an existing file gen appends.
    EXPECT_EQ(gen("a", "--seed=7").size(), 4000u);
    const std::vector<std::string> hex = HexLines(path("a"));
    for (size_t i = 0; i < 2000; ++i) ASSERT_EQ(hex[i], letterHex(a[i])) << i;
}

// Positions printed by list address the same records in chunk requests.
TEST_F(BehaviourTest, ListedPositionsServeChunkRequests) {
    support::MakeFile(path("f"), {"1", "7+9x3", "hex:00112233", "70000", "300000", "64000", "2500000", "1048576"});
    support::GenFile(path("f"), 500, 1, 3000);
    const std::vector<std::string> list = support::Lines(Recfile({"list", path("f")}).out);
    const std::vector<std::string> hex = HexLines(path("f"));
    ASSERT_EQ(list.size(), 510u);
    ASSERT_EQ(hex.size(), list.size());
    const Walk walk = walkFile(path("f"));
    EngineFile file;
    ASSERT_EQ(file.open(path("f")), kOk);
    for (size_t i = 0; i < list.size(); ++i) {
        std::istringstream line(list[i]);
        uint32_t position = 0, length = 0;
        line >> position >> length;
        EXPECT_EQ(position, walk.positions[i]);
        // The buffer holds the 32-byte descriptor going in.
        const Reply whole = file.chunk(position, length, 0, 1, 1, std::max<uint32_t>(length, 32));
        ASSERT_EQ(whole.status, kOk) << list[i];
        ASSERT_EQ(support::Hex(whole.data), hex[i]) << list[i];
        const Reply probe = file.chunk(position, 64000, 0, 1, 1, 64000);
        EXPECT_EQ(probe.status, length < 64000 ? kChunkPastEnd : kOk) << list[i];
        EXPECT_EQ(probe.length, std::min<uint32_t>(length, 64000)) << list[i];
    }
}

TEST_F(BehaviourTest, RecfileCheckFindsDamage) {
    ASSERT_EQ(RunRecfile({"add", path("f"), "3"}).exit_code, 1) << "add needs an existing file";
    support::GenFile(path("f"), 1000, 10, 10);
    EXPECT_EQ(Recfile({"check", path("f")}).err, "");
    std::string bytes = support::ReadFile(path("f"));
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x10);
    support::WriteFile(path("f"), bytes);
    const support::Result bad = RunRecfile({"check", path("f")});
    EXPECT_EQ(bad.exit_code, 1);
    EXPECT_EQ(bad.err.rfind("recfile: ", 0), 0u) << bad.err;
}

}  // namespace
}  // namespace behaviour

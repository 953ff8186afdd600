// Files made by the native recfile read back the same through the target's
// own build of the engine, so a file made once serves both targets' tests.
#include <algorithm>
#include <sstream>

#include "e2e_support.h"

namespace e2e {
namespace {

using RecfileTest = E2ETest;

std::string WithoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

TEST_F(RecfileTest, ItemsRoundTripOnTheTarget) {
    Make("data.dat", {"100", "200x3", "10+7", "hex:414243"});
    Result list = Recfile({"list", "data.dat"});
    Result hex = Recfile({"hex", "data.dat"});

    const std::vector<uint64_t> lengths{100, 200, 200, 200, 17, 3};
    std::vector<std::string> list_lines = support::Lines(list.out);
    ASSERT_EQ(list_lines.size(), lengths.size()) << list;
    uint64_t last_position = 0;
    for (size_t i = 0; i < lengths.size(); ++i) {
        std::istringstream line(list_lines[i]);
        uint64_t position = 0, length = 0;
        ASSERT_TRUE(line >> position >> length) << list_lines[i];
        EXPECT_EQ(length, lengths[i]) << "record " << i;
        if (i > 0) {
            EXPECT_GT(position, last_position) << "physical order, record " << i;
        }
        last_position = position;
    }

    std::vector<std::string> hex_lines = support::Lines(hex.out);
    ASSERT_EQ(hex_lines.size(), lengths.size()) << hex;
    for (size_t i = 0; i < 4; ++i) {
        ASSERT_EQ(hex_lines[i].size(), 2 * lengths[i]);
        for (size_t b = 0; b < hex_lines[i].size(); b += 2) {
            std::string byte = hex_lines[i].substr(b, 2);
            ASSERT_TRUE(byte != "00" && byte != "20") << "filler inside record " << i;
        }
    }
    EXPECT_EQ(hex_lines[4].substr(20), std::string(14, '0'));
    EXPECT_EQ(hex_lines[5], "414243");

    // The target's own tool reads the native file the same way (whatever
    // line ends it writes).
    Result target_list = RunTool("recfile", {"list", "data.dat"});
    Result target_hex = RunTool("recfile", {"hex", "data.dat"});
    EXPECT_EQ(WithoutCarriageReturns(target_list.out), list.out) << target_list;
    EXPECT_EQ(WithoutCarriageReturns(target_hex.out), hex.out) << target_hex;
    EXPECT_EQ(target_list.exit_code, 0);
}

TEST_F(RecfileTest, OwnedFileNeedsItsOwner) {
    Make("owned.dat", {"5"}, "secret");
    Result wrong = RunTool("recfile", {"list", "owned.dat", "--owner=other"});
    Result right = RunTool("recfile", {"list", "owned.dat", "--owner=secret"});
    EXPECT_NE(wrong.exit_code, 0) << wrong;
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(right.exit_code, 0) << right;
    EXPECT_NE(right.out.find(" 5"), std::string::npos) << right;
}

}  // namespace
}  // namespace e2e

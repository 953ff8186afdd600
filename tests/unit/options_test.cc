#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/file_list.h"
#include "in_process.h"

namespace {

TEST(ParseHexOwner, DecodesPairsAndRefusesAnythingElse) {
    const struct {
        const char* text;
        std::vector<unsigned char> bytes;  // empty: no owner
    } cases[] = {
        {"0x41", {0x41}},
        {"0x0041", {0x00, 0x41}},
        {"0xfFaA", {0xff, 0xaa}},
        {"0x", {}},
        {"0x414", {}},  // odd length
        {"0x4G", {}},   // not a digit
        {"0X41", {}},   // only a lower-case x
        {"41", {}},
        {"0x41 ", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        unsigned char out[OWNER_TEXT_MAX + 1];
        memset(out, 0xEE, sizeof out);
        int count = ParseHexOwner(c.text, out);
        ASSERT_EQ(count, static_cast<int>(c.bytes.size())) << c.text;
        EXPECT_EQ(std::vector<unsigned char>(out, out + count), c.bytes) << c.text;
        EXPECT_EQ(out[count], 0) << c.text << ": the bytes end with a zero";
    }
}

TEST(ParseOptionNumber, ReadsLikeASigned32BitDecimal) {
    const struct {
        const char* text;
        int32_t value;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"12", 12},
        {"12x7", 12},
        {" \t\n\v\f\r7", 7},
        {"+5", 5},
        {"-5", -5},
        {"--5", 0},
        {"+ 5", 0},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"99999999999", 2147483647},
        {"99999999999999999999999999", 2147483647},
        {"-2147483648", INT32_MIN},
        {"-99999999999", INT32_MIN},
        {"00000000000000000000004", 4},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseOptionNumber(c.text), c.value) << c.text;
}

TEST(MatchesPattern, StarsQuestionMarksAndBytes) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*.dat", "a.dat", true},     {"*.dat", ".dat", true},    {"*.dat", "a.DAT", false},
        {"*.dat", "a.dat.bak", false}, {"a?c", "abc", true},      {"a?c", "ac", false},
        {"*a*b", "xaab", true},        {"*a*b", "xaba", false},   {"*", "", true},
        {"**x*", "yxz", true},         {"-t4*", "-t4.dat", true}, {"?", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchesPattern(c.pattern, c.name), c.matches) << c.pattern << " " << c.name;
    }
}

struct ParseResult {
    int exitCode;
    std::string out;
    std::string err;
};

ParseResult Parse(std::vector<std::string> arguments) {
    ResetProgram();
    arguments.insert(arguments.begin(), "recmeter");
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int exitCode = 0;
    Streams streams =
        Capture([&] { exitCode = ParseCommandLine(int(arguments.size()), argv.data()); });
    return {exitCode, streams.out, streams.err};
}

const char kBanner[] = "Recmeter Version " PROGRAM_VERSION ": " PROGRAM_VERSION_DATE "\n";

TEST(ParseCommandLine, RefusesBadArgumentCountsAndQuestionMarks) {
    const std::vector<std::vector<std::string>> refused = {
        {}, {"/?"}, {"?"}, {"a?"}, {"f", "/C", "/D", "/T4", "/B1"},
    };
    for (const auto& arguments : refused) {
        ParseResult result = Parse(arguments);
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_EQ(result.err.rfind(kBanner, 0), 0u);
        EXPECT_NE(result.err.find("\nUsage:  RECMETER Filename [options]\n\n"), std::string::npos);
        EXPECT_EQ(result.out, "");
    }
    EXPECT_EQ(Parse({"a", "/C", "/D", "/T4"}).exitCode, 0);
    EXPECT_EQ(Parse({""}).exitCode, 0) << "an empty path is the engine's to refuse";
}

TEST(ParseCommandLine, ReadsOptionsFromRightToLeft) {
    ParseResult result = Parse({"f", "/T4", "/t5"});
    EXPECT_EQ(result.out,
              "Truncating Records to a minimum of 5 Bytes.\r\n"
              "Truncating Records to a minimum of 4 Bytes.\r\n");
    EXPECT_EQ(runOptions.truncateMin, 4) << "the leftmost occurrence wins";

    result = Parse({"f", "/B1", "/T3"});
    EXPECT_EQ(runOptions.truncateMin, 0);
    EXPECT_EQ(runOptions.probeMegabytes, 1u);

    // Options to the right of a bad /O have printed their messages already.
    result = Parse({"f", "/O", "/T4"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "Truncating Records to a minimum of 4 Bytes.\r\n");
    EXPECT_EQ(result.err, std::string(kBanner) + "Unable to parse owner name.\n");
}

// The first argument is only the path, whatever it begins with.
TEST(ParseCommandLine, FirstArgumentIsNeverAnOption) {
    for (const char* path : {"-t8", "/T8\\x.dat", "/tmp/x.dat", "-dd", "/O", "-J"}) {
        ParseResult result = Parse({path, "/C"});
        EXPECT_EQ(result.exitCode, 0) << path;
        EXPECT_EQ(runOptions.truncateMin, 0) << path;
        EXPECT_EQ(runOptions.countSizes, 1) << path;
        EXPECT_EQ(result.out + result.err, kBanner) << path;
    }
}

TEST(ParseCommandLine, ProbeAndTruncateValues) {
    const char capped[] =
        "Using granularity of 67092 bytes to handle record sizes through 4293888000 bytes.\r\n";
    const struct {
        const char* option;
        uint32_t megabytes;
        uint32_t granularity;
        int truncateMin;
        const char* out;
    } cases[] = {
        {"/B0", 0, 0, 0, ""},
        {"/B1", 1, 16, 0, "Using granularity of 16 bytes to handle record sizes through 1024000 bytes.\r\n"},
        {"-b2", 2, 32, 0, "Using granularity of 32 bytes to handle record sizes through 2048000 bytes.\r\n"},
        {"/B5000", 4095, 67092, 0, capped},
        {"/B-1", 4095, 67092, 0, capped},
        {"/B99999999999999999999", 4095, 67092, 0, capped},
        {"/T3", 0, 0, 0, ""},
        {"/T-5", 0, 0, 0, ""},
        {"/T", 0, 0, 0, ""},
        {"/T 4", 0, 0, 4, "Truncating Records to a minimum of 4 Bytes.\r\n"},
        {"/T99999999999", 0, 0, 2147483647,
         "Truncating Records to a minimum of 2147483647 Bytes.\r\n"},
    };
    for (const auto& c : cases) {
        ParseResult result = Parse({"f", c.option});
        EXPECT_EQ(result.exitCode, 0) << c.option;
        EXPECT_EQ(runOptions.probeMegabytes, c.megabytes) << c.option;
        EXPECT_EQ(runOptions.granularity, c.granularity) << c.option;
        EXPECT_EQ(runOptions.truncateMin, c.truncateMin) << c.option;
        EXPECT_EQ(result.out, c.out) << c.option;
    }
}

TEST(ParseCommandLine, DebugLevelsAndUnknownLetters) {
    ParseResult result = Parse({"f", "/dd", "/X", "-"});
    EXPECT_EQ(runOptions.debugLevel, 2);
    EXPECT_EQ(result.err, std::string(kBanner) + "Full Debug!\nSuper Debug!\n");
    result = Parse({"f", "-D"});
    EXPECT_EQ(runOptions.debugLevel, 1);
    EXPECT_EQ(result.err, std::string(kBanner) + "Full Debug!\n");
}

TEST(ParseCommandLine, Owners) {
    const std::string longText(70, 'k');
    const struct {
        std::string option;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {"/O=secret", {'s', 'e', 'c', 'r', 'e', 't'}},
        {"/O=", {}},
        {"/O=0x41", {0x41}},
        {"/O=0X41", {'0', 'X', '4', '1'}},
        {"/O=0x0041", {0x00, 0x41}},
        {"/O=0x414", {}},
        {"/O=0x4G", {}},
        {"/O=" + longText, std::vector<unsigned char>(66, 'k')},
        // cut to 66 characters before decoding: 32 bytes
        {"/O=0x" + std::string(70, 'a'), std::vector<unsigned char>(32, 0xaa)},
    };
    for (const auto& c : cases) {
        ParseResult result = Parse({"f", c.option});
        ASSERT_EQ(result.exitCode, 0) << c.option;
        ASSERT_EQ(runOptions.ownerLen, static_cast<int>(c.bytes.size())) << c.option;
        EXPECT_EQ(std::vector<unsigned char>(runOptions.ownerBytes,
                                             runOptions.ownerBytes + runOptions.ownerLen),
                  c.bytes)
            << c.option;
        EXPECT_EQ(runOptions.ownerBytes[runOptions.ownerLen], 0) << c.option;
    }
}

TEST(ParseCommandLine, DryRunAndJsonReport) {
    const std::string longest(PATH_MAX_CHARS, 'j');
    const std::string jsonError = std::string(kBanner) + "Unable to parse JSON report file name.\n";
    const struct {
        std::string option;
        int exitCode;
        int dryRun;
        std::string reportPath;
        std::string out;
        std::string err;
    } cases[] = {
        {"/N", 0, 1, "", "Dry Run: no record will be changed.\n", kBanner},
        {"-n", 0, 1, "", "Dry Run: no record will be changed.\n", kBanner},
        {"/J=out.json", 0, 0, "out.json", "", kBanner},
        {"-j=" + longest, 0, 0, longest, "", kBanner},
        {"/J", 1, 0, "", "", jsonError},
        {"/Jout.json", 1, 0, "", "", jsonError},
        {"/J=", 1, 0, "", "", jsonError},
        {"/J=" + longest + "k", 1, 0, "", "",
         std::string(kBanner) + "Path too long: 256 characters; at most 255 are accepted.\n"},
    };
    for (const auto& c : cases) {
        ParseResult result = Parse({"f", c.option});
        EXPECT_EQ(result.exitCode, c.exitCode) << c.option;
        EXPECT_EQ(runOptions.dryRun, c.dryRun) << c.option;
        EXPECT_EQ(runOptions.reportPath, c.reportPath) << c.option;
        EXPECT_EQ(result.out, c.out) << c.option;
        EXPECT_EQ(result.err, c.err) << c.option;
    }
}

}  // namespace

#include "environment_rules.h"

#include <gtest/gtest.h>

namespace localengine {
namespace {

TEST(Faults, ParsesWellFormedValues) {
    struct Case {
        const char* text;
        std::vector<FaultRule> rules;
    };
    const Case cases[] = {
        {"", {}},
        {"24=2", {{24, 0, 2}}},
        {"24#3=20", {{24, 3, 20}}},
        {"0=85, 22#1=-7,3=65536", {{0, 0, 85}, {22, 1, -7}, {3, 0, 65536}}},
        {"90=-2147483648", {{90, 0, INT32_MIN}}},
    };
    for (const Case& c : cases) {
        std::vector<FaultRule> rules;
        ASSERT_TRUE(parseFaults(c.text, &rules)) << c.text;
        ASSERT_EQ(rules.size(), c.rules.size()) << c.text;
        for (size_t i = 0; i < rules.size(); ++i) {
            EXPECT_EQ(rules[i].op, c.rules[i].op) << c.text;
            EXPECT_EQ(rules[i].nth, c.rules[i].nth) << c.text;
            EXPECT_EQ(rules[i].status, c.rules[i].status) << c.text;
        }
    }
}

TEST(Faults, MalformedValueYieldsNoRulesAtAll) {
    const char* bad[] = {"24",   "=2",      "24=",     "x=2",    "24#0=2", "24#=2",        "65536=1",
                         "24=2,", "24=2,,3=1", "-1=2", "24=2x", "24=99999999999", "24#2#3=1", "24==2"};
    for (const char* text : bad) {
        std::vector<FaultRule> rules{{1, 0, 1}};
        EXPECT_FALSE(parseFaults(text, &rules)) << text;
        EXPECT_TRUE(rules.empty()) << text;
    }
}

TEST(Faults, NthRuleWinsOverTheRuleForEveryRequest) {
    std::vector<FaultRule> rules;
    ASSERT_TRUE(parseFaults("24=9,24#2=2,3#1=80", &rules));
    struct Case {
        uint16_t op;
        uint64_t count;
        bool hit;
        int status;
    };
    const Case cases[] = {{24, 1, true, 9}, {24, 2, true, 2}, {24, 3, true, 9},
                          {3, 1, true, 80}, {3, 2, false, 0}, {33, 1, false, 0}};
    for (const Case& c : cases) {
        int status = 0;
        EXPECT_EQ(findFault(rules, c.op, c.count, &status), c.hit) << c.op << "#" << c.count;
        if (c.hit) {
            EXPECT_EQ(status, c.status) << c.op << "#" << c.count;
        }
    }
}

TEST(VersionReply, EntriesAreFiveBytesEach) {
    struct Case {
        const char* text;
        std::vector<unsigned char> reply;
    };
    const Case cases[] = {
        {"", {}},
        {"13.30", {13, 0, 30, 0, ' '}},
        {"13.30W,13.30T", {13, 0, 30, 0, 'W', 13, 0, 30, 0, 'T'}},
        {"6.15, 7.0N ,300.1", {6, 0, 15, 0, ' ', 7, 0, 0, 0, 'N', 0x2C, 1, 1, 0, ' '}},
    };
    for (const Case& c : cases) {
        std::vector<unsigned char> reply;
        ASSERT_TRUE(parseVersionReply(c.text, &reply)) << c.text;
        EXPECT_EQ(reply, c.reply) << c.text;
    }
    EXPECT_EQ(defaultVersionReply(), (std::vector<unsigned char>{13, 0, 30, 0, ' '}));
}

TEST(VersionReply, RejectsMalformedValues) {
    const char* bad[] = {"13", "13.", ".30", "13.30WW", "1,2.0", "13.30,6.1,7.0,8.0", "70000.1", "13.3x0", "13.30,"};
    for (const char* text : bad) {
        std::vector<unsigned char> reply;
        EXPECT_FALSE(parseVersionReply(text, &reply)) << text;
    }
}

}  // namespace
}  // namespace localengine

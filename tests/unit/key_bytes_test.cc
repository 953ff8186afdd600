#include "console/keyboard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string arrived;
size_t readAt = 0;

int NextArrived() {
    return readAt < arrived.size() ? static_cast<unsigned char>(arrived[readAt++]) : -1;
}

// Every key that the bytes make when they have all arrived at once.
std::vector<int> KeysOf(const std::string& bytes) {
    arrived = bytes;
    readAt = 0;
    int held = -1;
    std::vector<int> keys;
    while (readAt < arrived.size() || held >= 0) keys.push_back(NextKey(&held, NextArrived));
    return keys;
}

constexpr int ESC = 27;
constexpr int SEQ = NOT_A_KEY;

TEST(NextKey, EscCancelsUnlessABracketOrOFollows) {
    const struct {
        const char* bytes;
        std::vector<int> keys;
    } cases[] = {
        {"\x1b", {ESC}},
        {"\x1b\x1b", {ESC, ESC}},
        {"\x1bx", {ESC, 'x'}},
        {"x\x1b", {'x', ESC}},
        {"\x1b[A", {SEQ}},
        {"\x1bOP", {SEQ}},
        {"\x1b[15;5~x", {SEQ, 'x'}},
        {"\x1b[A\x1b", {SEQ, ESC}},
        // Only as much of a sequence as has arrived.
        {"\x1b[", {SEQ}},
        {"\x1b[1;", {SEQ}},
        // A byte that cannot continue a sequence is a key of its own.
        {"\x1b[\x1b", {SEQ, ESC}},
        {"\x1b[1\x1b[B", {SEQ, SEQ}},
        {"\xff\x1b", {0xff, ESC}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KeysOf(c.bytes), c.keys) << ::testing::PrintToString(std::string(c.bytes));
    }
    int held = -1;
    arrived.clear();
    EXPECT_EQ(NextKey(&held, NextArrived), NOT_A_KEY) << "no byte has arrived";
}

}  // namespace

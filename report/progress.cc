#include "report/progress.h"

#include <cstdint>

#include "console/keyboard.h"
#include "console/output.h"

namespace {

const char SPINNER_CHARS[4] = {'-', '\\', '|', '/'};
const char BACKSPACE = 8;
signed char spinnerIndex = 0;

// Asking the console costs system calls, or under Windows a round trip to
// the console, which is more than a record's whole scan. So after an ask that
// found no key the test answers "no key" until KEY_ASK_INTERVAL_MS have
// passed. An ask that found a key is followed by one at the next test, so
// keys typed ahead are read one per test, and the first test always asks.
constexpr uint32_t KEY_ASK_INTERVAL_MS = 5;
// Tests that come many to a millisecond (truncation tests every record)
// read the clock only at every clockStride-th test, at most this many.
constexpr uint32_t MAX_CLOCK_STRIDE = 64;
bool askAtNextTest = true;
uint32_t lastAskMs = 0;
uint32_t lastClockMs = 0;
uint32_t clockStride = 1;
uint32_t testsSinceClock = 0;

bool KeyAskDue() {
    if (!askAtNextTest && ++testsSinceClock < clockStride) return false;
    testsSinceClock = 0;
    uint32_t now = ConsoleMilliseconds();
    if (now == lastClockMs) {
        if (clockStride < MAX_CLOCK_STRIDE) clockStride *= 2;
    } else if (clockStride > 1) {
        clockStride /= 2;
    }
    lastClockMs = now;
    if (!askAtNextTest && now - lastAskMs < KEY_ASK_INTERVAL_MS) return false;
    lastAskMs = now;
    return true;
}

}  // namespace

void ShowProgress() {
    ErrorPrintf("%c%c", SPINNER_CHARS[spinnerIndex], BACKSPACE);
    spinnerIndex += 1;
    if (spinnerIndex > 3) spinnerIndex = 0;
}

bool EscapePressed() {
    if (!KeyAskDue()) return false;
    askAtNextTest = ConsoleKeyPending();
    if (!askAtNextTest) return false;
    return ConsoleReadKey() == ESC_KEY;
}

#include "report/progress.h"

#include <cstdint>

#include "console/keyboard.h"
#include "console/output.h"

ProgressState progress;

namespace {

const char SPINNER_CHARS[4] = {'-', '\\', '|', '/'};
const char BACKSPACE = 8;

// Asking the console costs system calls, or under Windows a round trip to
// the console, which is more than a record's whole scan. So after an ask that
// found no key the test answers "no key" until KEY_ASK_INTERVAL_MS have
// passed. An ask that found a key is followed by one at the next test, so
// keys typed ahead are read one per test, and the first test always asks.
constexpr uint32_t KEY_ASK_INTERVAL_MS = 5;
// Tests that come many to a millisecond (truncation tests every record)
// read the clock only at every clockStride-th test, at most this many.
constexpr uint32_t MAX_CLOCK_STRIDE = 64;

bool KeyAskDue() {
    if (!progress.askAtNextTest && ++progress.testsSinceClock < progress.clockStride) return false;
    progress.testsSinceClock = 0;
    uint32_t now = ConsoleMilliseconds();
    if (now == progress.lastClockMs) {
        if (progress.clockStride < MAX_CLOCK_STRIDE) progress.clockStride *= 2;
    } else if (progress.clockStride > 1) {
        progress.clockStride /= 2;
    }
    progress.lastClockMs = now;
    if (!progress.askAtNextTest && now - progress.lastAskMs < KEY_ASK_INTERVAL_MS) return false;
    progress.lastAskMs = now;
    return true;
}

}  // namespace

void ShowProgress() {
    ErrorPrintf("%c%c", SPINNER_CHARS[progress.spinnerIndex], BACKSPACE);
    progress.spinnerIndex += 1;
    if (progress.spinnerIndex > 3) progress.spinnerIndex = 0;
}

bool EscapePressed() {
    if (!KeyAskDue()) return false;
    progress.askAtNextTest = ConsoleKeyPending();
    if (!progress.askAtNextTest) return false;
    return ConsoleReadKey() == ESC_KEY;
}

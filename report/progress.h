// The progress spinner and the cancel key.
#pragma once

#include <cstdint>

constexpr unsigned PROGRESS_INTERVAL = 1000;  // records between two spinner steps

void ShowProgress();
// True when a key was waiting and it was Esc; any other key is consumed.
bool EscapePressed();

// Where the spinner is and when the console was last asked for a key.
struct ProgressState {
    signed char spinnerIndex = 0;
    bool askAtNextTest = true;  // the first test always asks
    uint32_t lastAskMs = 0;
    uint32_t lastClockMs = 0;
    uint32_t clockStride = 1;
    uint32_t testsSinceClock = 0;
};
extern ProgressState progress;

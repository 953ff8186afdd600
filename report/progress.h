// The progress spinner and the cancel key.
#pragma once

constexpr unsigned PROGRESS_INTERVAL = 1000;  // records between two spinner steps

void ShowProgress();
// True when a key was waiting and it was Esc; any other key is consumed.
bool EscapePressed();

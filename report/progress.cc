#include "report/progress.h"

#include "cli/output.h"
#include "report/console_keys.h"

namespace {

const char SPINNER_CHARS[4] = {'-', '\\', '|', '/'};
const char BACKSPACE = 8;
signed char spinnerIndex = 0;

}  // namespace

void ShowProgress() {
    ErrorPrintf("%c%c", SPINNER_CHARS[spinnerIndex], BACKSPACE);
    spinnerIndex += 1;
    if (spinnerIndex > 3) spinnerIndex = 0;
}

bool EscapePressed() {
    if (!ConsoleKeyPending()) return false;
    return ConsoleReadKey() == ESC_KEY;
}

#include <conio.h>
#include <windows.h>

#include "console/keyboard.h"

namespace {

// _getch gives 0 or 0xE0 first for arrow and function keys; their second
// code follows at once.
bool IsExtendedKeyPrefix(int code) {
    return code == 0 || code == 0xE0;
}

}  // namespace

void ConsoleKeysBegin() {}

void ConsoleKeysEnd() {}

bool ConsoleKeyPending() {
    return _kbhit() != 0;
}

int ConsoleReadKey() {
    int code = _getch();
    if (IsExtendedKeyPrefix(code)) {
        _getch();
        return -1;
    }
    return code;
}

uint32_t ConsoleMilliseconds() {
    // Counts of the performance counter in a millisecond.
    static LONGLONG perMillisecond = 0;
    if (perMillisecond == 0) {
        LARGE_INTEGER frequency = {};
        QueryPerformanceFrequency(&frequency);
        perMillisecond = frequency.QuadPart >= 1000 ? frequency.QuadPart / 1000 : 1;
    }
    LARGE_INTEGER now = {};
    QueryPerformanceCounter(&now);
    return static_cast<uint32_t>(now.QuadPart / perMillisecond);
}

// The console keyboard: a test, without waiting, for a pending key, and a
// read of one key without echo.
#pragma once

#include <cstdint>

// Makes keys readable one at a time without echo while a scan runs. The
// console's settings come back at ConsoleKeysEnd, on every way the process
// ends (exit, or any signal that ends it, a broken pipe included) and while
// it is stopped from the keyboard.
void ConsoleKeysBegin();
void ConsoleKeysEnd();

bool ConsoleKeyPending();
// A monotonic clock in milliseconds, from any start; it wraps.
uint32_t ConsoleMilliseconds();
// The code of the next key. A key that arrives as a sequence of codes (an
// arrow or function key) is consumed whole and read as -1.
int ConsoleReadKey();

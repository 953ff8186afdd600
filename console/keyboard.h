// The console keyboard: a test, without waiting, for a pending key, and a
// read of one key without echo.
#pragma once

#include <cstdint>

constexpr int ESC_KEY = 27;

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

// How the bytes a terminal delivers make keys, apart from any terminal so it
// can be fed byte strings (the POSIX keyboard reads keys this way).

// What NextKey gives for an arrow or function key, and when no byte came.
constexpr int NOT_A_KEY = -1;

// The next key from the bytes that have arrived: `nextByte` gives the next
// one, or -1 when none is waiting. Esc followed by "[" or "O" begins the
// sequence of an arrow or function key, which is consumed as far as it has
// arrived and read as NOT_A_KEY. Esc followed by any other byte, or by
// nothing, is an Esc press; a byte read past the key that is not part of it
// is kept in *held (-1: none) and begins the next key.
int NextKey(int* held, int (*nextByte)());

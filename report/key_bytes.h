// How the bytes a terminal delivers make keys, apart from any terminal so it
// can be fed byte strings.
#pragma once

// What NextKey gives for an arrow or function key, and when no byte came.
constexpr int NOT_A_KEY = -1;

// The next key from the bytes that have arrived: `nextByte` gives the next
// one, or -1 when none is waiting. Esc followed by "[" or "O" begins the
// sequence of an arrow or function key, which is consumed as far as it has
// arrived and read as NOT_A_KEY. Esc followed by any other byte, or by
// nothing, is an Esc press; a byte read past the key that is not part of it
// is kept in *held (-1: none) and begins the next key.
int NextKey(int* held, int (*nextByte)());

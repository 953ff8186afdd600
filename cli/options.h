// The command line: the parser that fills RunOptions, its number and owner
// readers, and the usage text.
#pragma once

#include <cstdint>

#include "cli/run_options.h"

// Decodes "0x4142..." into bytes followed by a zero; returns how many bytes
// were decoded, 0 on any failure (and then the output holds one zero byte).
int ParseHexOwner(const char* text, unsigned char* out);

// Reads the number after /B or /T: leading white space, one optional sign,
// digits; clamped to the signed 32-bit range; no digits give 0.
int32_t ParseOptionNumber(const char* text);

// Refuses a path the program cannot hold whole: writes the message and
// returns 1 when it is longer than PATH_MAX_CHARS, else returns 0.
int RefuseLongPath(const char* path);

// Steps 1 to 4 of a run: banner, argument count, options (right to left,
// from the last argument to the second: the first is only the path).
// Returns 0 to go on, or the exit code when the run ends here.
int ParseCommandLine(int argc, char** argv);

// Writes the usage text to standard error.
void PrintUsage();

// What differs between the POSIX and the Windows command line.
#pragma once

// True when the first argument must not be read as an option: on POSIX an
// absolute path begins with "/", which on Windows introduces an option.
bool IsAbsolutePathArgument(const char* argument);

// Sets up standard output before anything is written to it.
void PrepareStandardOutput();

// Puts the file `from` in the place of `to`, replacing whatever file is
// there in one step. Returns 0, or 1 when the system refused.
int RenameOver(const char* from, const char* to);

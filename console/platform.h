// What differs between the POSIX and the Windows program's standard
// streams.
#pragma once

#include <cstddef>

// Sets up the standard streams before anything is opened or written. On
// POSIX a closed standard input, output or error is opened on /dev/null, so
// that the data file can never take its place and receive what is written
// there; on Windows a standard error that is not the caller's is silenced.
// Returns 0, or the error (an errno value) that writing to standard output
// would have met because it was closed.
int PrepareStandardStreams();

// True when standard output is a terminal or console, which is shown each
// line as it is written.
bool StandardOutputIsConsole();

// Writes all `length` bytes to standard output. Returns 0, or the errno value
// of the write that failed.
int WriteStandardOutput(const char* bytes, size_t length);


// The program's two streams. Standard output is gathered in the program's
// own buffer and leaves the process in large blocks (a line at a time on a
// console); every message on standard error hands what is gathered over
// first, so a console, or a file both streams go to, shows the two in the
// order they were written.
#pragma once

#include <cstddef>

// What standard output has gathered, and what it met.
constexpr size_t OUTPUT_BUFFER_SIZE = 64 * 1024;
struct OutputState {
    char buffer[OUTPUT_BUFFER_SIZE];
    size_t length = 0;
    int error = 0;         // the first error standard output met; 0 while none
    int console = 0;       // a console sees each line as it is written
    char lastByte = '\n';  // the last byte handed to standard output, or a line end
};
extern OutputState output;

// Sets up the standard streams (see PrepareStandardStreams); the first step
// of a run, before anything is opened or written.
void PrepareOutput();

void OutputPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Room for `length` bytes (a line: at most a few hundred) at the end of what
// standard output has gathered, to be formatted in place and handed on by
// OutputCommit with the number of bytes written there.
char* OutputRoom(size_t length);
void OutputCommit(size_t length);

// Ends the line standard output is on, when the last byte written to it
// was not a line end (a report of no records ends without one).
void OutputEndLine();

void ErrorPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Hands what standard output has gathered to the system.
void FlushStandardOutput();

// Flushes standard output; when anything written to it so far was lost (a
// full disk, a closed stream), writes one line on standard error naming the
// reason and returns 1. Otherwise returns 0.
int RefuseLostOutput();

// The last step of every run: flushes standard output and turns an exit
// code of 0 into 1, with one line on standard error naming the reason, when
// anything written to standard output was lost (a full disk, a closed
// stream). Returns the exit code to end with.
int FinishStandardOutput(int exitCode);

#include "cli/platform.h"

#include <windows.h>

#include <cstdio>

bool IsAbsolutePathArgument(const char*) {
    return false;  // "/" introduces an option on Windows, even in the path's place
}

// The C library leaves standard output unbuffered on any character device,
// NUL included, so output sent there would cost a system call per
// character. Anything but a real console gets a block buffer; messages on
// standard error flush it first, so the order of the two streams holds.
void PrepareStandardOutput() {
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
        setvbuf(stdout, nullptr, _IOFBF, 64 * 1024);
    }
}

// The C library's rename refuses to replace a file that exists.
int RenameOver(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}

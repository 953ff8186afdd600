#include "cli/platform.h"

#include <io.h>
#include <windows.h>

#include <cerrno>

bool IsAbsolutePathArgument(const char*) {
    return false;  // "/" introduces an option on Windows, even in the path's place
}

// A handle the system never gave the process cannot be taken by the data
// file: nothing to do.
int PrepareStandardStreams() {
    return 0;
}

bool StandardOutputIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

// Through the C runtime's descriptor, which is in text mode: it turns each
// "\n" into "\r\n".
int WriteStandardOutput(const char* bytes, size_t length) {
    while (length > 0) {
        unsigned int part = length > 0x40000000u ? 0x40000000u : static_cast<unsigned int>(length);
        int written = _write(1, bytes, part);
        if (written < 0) return errno;
        if (written == 0) return ENOSPC;
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return 0;
}

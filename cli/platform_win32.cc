#include "cli/platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

// A handle the system never gave the process cannot be taken by the data
// file: nothing to do.
int PrepareStandardStreams() {
    return 0;
}

bool StandardOutputIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

namespace {

int WriteAll(const char* bytes, size_t length) {
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

// What the C runtime's text mode does, "\n" to "\r\n", in blocks of up to
// 128 KiB: the runtime itself would hand the system a write per 2 KiB.
int WriteTranslated(const char* bytes, size_t length) {
    static char block[128 * 1024];
    while (length > 0) {
        // A byte takes at most two places, so half a block always fits.
        size_t piece = length < sizeof block / 2 ? length : sizeof block / 2;
        size_t used = 0;
        for (size_t index = 0; index < piece; ++index) {
            char byte = bytes[index];
            if (byte == '\n') block[used++] = '\r';
            block[used++] = byte;
        }
        int error = WriteAll(block, used);
        if (error != 0) return error;
        bytes += piece;
        length -= piece;
    }
    return 0;
}

}  // namespace

// Through the C runtime's descriptor, whose mode says whether each "\n"
// becomes "\r\n" (text mode, the default).
int WriteStandardOutput(const char* bytes, size_t length) {
    int mode = _setmode(1, _O_BINARY);
    if (mode == -1) return errno;
    int error = (mode & _O_TEXT) != 0 ? WriteTranslated(bytes, length) : WriteAll(bytes, length);
    _setmode(1, mode);
    return error;
}

#include "console/platform.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>

namespace {

bool IsFolder(HANDLE handle) {
    FILE_STANDARD_INFO info{};
    return GetFileInformationByHandleEx(handle, FileStandardInfo, &info, sizeof info) != 0 &&
           info.Directory != 0;
}

// Standard error goes nowhere from here on, for the C library and the system.
void SilenceStandardError() {
    if (freopen("NUL", "w", stderr) == nullptr) return;
    SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stderr))));
}

}  // namespace

// Windows gives a closed standard output no handle at all, and a handle the
// system never gave the process cannot be taken by the data file. Wine,
// started with closed descriptors, hands them out to its own files first and
// then makes the standard handles of them: a closed standard output becomes
// a handle on the current folder, and a standard error closed as well
// becomes the socket to wine's server, which ends the process (with exit
// code 0) at the first byte written to it. Such a standard error, a pipe
// behind a standard output that is a folder, is never written to.
int PrepareStandardStreams() {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE) return EBADF;
    if (!IsFolder(output)) return 0;
    if (GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_PIPE) SilenceStandardError();
    return EBADF;
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

#include "console/platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

// A descriptor among 0, 1 and 2 that is closed would be the next one the
// system hands out, to the data file itself: whatever the program then
// wrote to standard output or error would land in the data.
int PrepareStandardStreams() {
    int outputError = 0;
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
        int opened = open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != descriptor) {
            dup2(opened, descriptor);
            close(opened);
        }
        if (descriptor == 1) outputError = EBADF;
    }
    return outputError;
}

bool StandardOutputIsConsole() {
    return isatty(1) != 0;
}

int WriteStandardOutput(const char* bytes, size_t length) {
    while (length > 0) {
        ssize_t written = write(1, bytes, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return 0;
}

#include "console/platform.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "recfile/standard_streams.h"

// A descriptor among 0, 1 and 2 that is closed would be the next one the
// system hands out, to the data file itself: whatever the program then
// wrote to standard output or error would land in the data.
int PrepareStandardStreams() {
    return recfile::secureStandardStreams();
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

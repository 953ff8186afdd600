// Standard input, output and error for the programs that write files: a
// closed one among descriptors 0, 1 and 2 would be handed to the next file
// opened, and what the program prints would land in that file. recfile, the
// engine's test tools and recmeter itself (which takes this header alone, not
// the engine) set them up here.
#pragma once

#include <cerrno>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace recfile {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed. Returns
// 0, or EBADF when standard output was closed: what is written there is lost.
inline int secureStandardStreams() {
    int outputError = 0;
#ifndef _WIN32
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
        if (fd == 1) outputError = EBADF;
    }
#endif
    return outputError;
}

}  // namespace recfile

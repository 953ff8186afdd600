#include "cli/output.h"

#include <cstdarg>
#include <cstdio>

void ErrorPrintf(const char* format, ...) {
    fflush(stdout);
    // Standard error is unbuffered: the message goes out with one write
    // (some C libraries would write an unbuffered stream piece by piece).
    char message[1024];
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    if (length >= 0 && static_cast<size_t>(length) < sizeof message) {
        fwrite(message, 1, static_cast<size_t>(length), stderr);
        return;
    }
    va_start(arguments, format);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
}

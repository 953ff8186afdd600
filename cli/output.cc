#include "cli/output.h"

#include <cstdarg>
#include <cstdio>

void ErrorPrintf(const char* format, ...) {
    fflush(stdout);
    va_list arguments;
    va_start(arguments, format);
    vfprintf(stderr, format, arguments);
    va_end(arguments);
}

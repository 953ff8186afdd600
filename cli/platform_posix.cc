#include "cli/platform.h"

bool IsAbsolutePathArgument(const char* argument) {
    return argument[0] == '/';
}

void PrepareStandardOutput() {}  // the C library's choice suits: lines on a terminal, blocks elsewhere

#include "cli/platform.h"

#include <cstdio>

bool IsAbsolutePathArgument(const char* argument) {
    return argument[0] == '/';
}

void PrepareStandardOutput() {}  // the C library's choice suits: lines on a terminal, blocks elsewhere

int RenameOver(const char* from, const char* to) {
    return rename(from, to) == 0 ? 0 : 1;
}

#include "cli/platform.h"

bool IsAbsolutePathArgument(const char* argument) {
    return argument[0] == '/';
}

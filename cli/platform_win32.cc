#include "cli/platform.h"

bool IsAbsolutePathArgument(const char*) {
    return false;  // "/" introduces an option on Windows, even in the path's place
}

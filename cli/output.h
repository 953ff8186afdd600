// Messages for standard error. Standard output is flushed first, so a console
// (or a file both streams go to) shows the two in the order they were written.
#pragma once

void ErrorPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The run's settings from the command line, read by every part of the
// program, and the one shared data buffer. The parser that sets them is
// cli/options.h.
#pragma once

#include <cstdint>

constexpr int OWNER_TEXT_MAX = 66;   // owner characters kept from /O=
constexpr int PATH_MAX_CHARS = 255;  // the Open request's key buffer holds this and a zero

struct RunOptions {
    int countSizes;           // /C: keep the size histogram and print it
    int truncateMin;          // /T value; 0 means the truncation scan is off
    int debugLevel;           // 0 none, 1 after /D, 2 after /DD
    uint32_t probeMegabytes;  // /B value after its cap; 0 means the large-record scan is off
    uint32_t granularity;     // probe step in bytes; 0 until a nonzero /B sets it
    char ownerName[OWNER_TEXT_MAX + 1];
    unsigned char ownerBytes[OWNER_TEXT_MAX + 1];
    int ownerLen;             // how many of ownerBytes Open passes; 0 means no owner
    char path[PATH_MAX_CHARS + 1];
    int dryRun;               // /N: the truncation scan changes nothing
    char reportPath[PATH_MAX_CHARS + 1];   // /J=FILE: the report file; empty without
    char undoPath[PATH_MAX_CHARS + 1];     // /U=FILE: the undo journal /T writes; empty without
    char restorePath[PATH_MAX_CHARS + 1];  // /R=FILE: the undo journal a restore reads; empty without
};

extern RunOptions runOptions;

// RECORD_BUFFER_SIZE bytes, allocated once by the run; the data buffer of
// every request except the version probe.
extern unsigned char* recordBuffer;

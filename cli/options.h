// The run's settings from the command line, and the one shared data buffer.
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
    char jsonPath[PATH_MAX_CHARS + 1];  // /J=FILE: where the JSON report goes; empty without /J
};

extern RunOptions runOptions;

// RECORD_BUFFER_SIZE bytes, allocated once by the run; the data buffer of
// every request except the version probe.
extern unsigned char* recordBuffer;

// Decodes "0x4142..." into bytes followed by a zero; returns how many bytes
// were decoded, 0 on any failure (and then the output holds one zero byte).
int ParseHexOwner(const char* text, unsigned char* out);

// Reads the number after /B or /T: leading white space, one optional sign,
// digits; clamped to the signed 32-bit range; no digits give 0.
int32_t ParseOptionNumber(const char* text);

// Refuses a path the program cannot hold whole: writes the message and
// returns 1 when it is longer than PATH_MAX_CHARS, else returns 0.
int RefuseLongPath(const char* path);

// Steps 1 to 4 of a run: banner, argument count, options (right to left).
// Returns 0 to go on, or the exit code when the run ends here.
int ParseCommandLine(int argc, char** argv);

// Writes the usage text to standard error.
void PrintUsage();

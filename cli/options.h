// The command line: the parser that fills RunOptions, its number and owner
// readers, and the usage text.
#pragma once

#include <cstdint>
#include <vector>

#include "cli/run_options.h"
#include "program_version.h"

// The arguments that name data files, folders or patterns, in the order
// given: the first argument always, then every other that is no option.
extern std::vector<const char*> fileArguments;

constexpr char VERSION_BANNER[] =
    "Recmeter Version " PROGRAM_VERSION ": " PROGRAM_VERSION_DATE "\n";

// Lines --help adds after the usage text.
constexpr char MORE_USAGE[] =
    "    Use the /N option with /T# for a dry run that changes nothing.\n"
    "    Use the /J=file option to also write the report as JSON to file, or as a page\n"
    "        with charts when its name ends in .html or .htm.\n"
    "    Use the /U=file option with /T# to write an undo journal to file first, and\n"
    "        the /R=file option to give the records it names their filler back.\n"
    "    Name several files, folders (every file in them) or patterns (* and ?) to\n"
    "        scan them in one run; a summary of every file follows their reports.\n\n";

// What ParseCommandLine returns after answering --help or --version: the
// run ends there with exit code 0.
constexpr int COMMAND_LINE_ANSWERED = -1;

// Decodes "0x4142..." into bytes followed by a zero; returns how many bytes
// were decoded, 0 on any failure (and then the output holds one zero byte).
int ParseHexOwner(const char* text, unsigned char* out);

// Reads the number after /B or /T: leading white space, one optional sign,
// digits; clamped to the signed 32-bit range; no digits give 0.
int32_t ParseOptionNumber(const char* text);

// Refuses a path the program cannot hold whole: writes the message and
// returns 1 when it is longer than PATH_MAX_CHARS, else returns 0.
int RefuseLongPath(const char* path);

// The command line: --help or --version alone; otherwise the banner, the
// data files (fileArguments) and at most three options, read right to left
// (the first argument is always a path). Returns 0 to go on,
// COMMAND_LINE_ANSWERED, or the exit code when the run ends here.
int ParseCommandLine(int argc, char** argv);

// Writes the usage text with `print` (ErrorPrintf, or OutputPrintf when
// asked for with --help).
void PrintUsage(void (*print)(const char* format, ...));

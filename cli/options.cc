#include "cli/options.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "console/files.h"
#include "console/output.h"

RunOptions runOptions;
unsigned char* recordBuffer;
std::vector<const char*> fileArguments;

namespace {

constexpr uint32_t PROBE_MEGABYTES_MAX = 4095;
constexpr uint32_t BYTES_PER_MEGABYTE = 1048576;
constexpr uint32_t PROBE_ROWS = 64000;
constexpr int TRUNCATE_MIN_LOWEST = 4;

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char UpperLetter(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

void ReadProbeOption(const char* value) {
    uint32_t megabytes = static_cast<uint32_t>(ParseOptionNumber(value));
    if (megabytes > PROBE_MEGABYTES_MAX) megabytes = PROBE_MEGABYTES_MAX;
    runOptions.probeMegabytes = megabytes;
    if (megabytes != 0) {
        runOptions.granularity = megabytes * BYTES_PER_MEGABYTE / PROBE_ROWS;
        OutputPrintf("Using granularity of %d bytes to handle record sizes through %lu bytes.\r\n",
               static_cast<int>(runOptions.granularity),
               static_cast<unsigned long>(runOptions.granularity * PROBE_ROWS));
    }
}

void ReadDebugOption(const char* argument) {
    ErrorPrintf("Full Debug!\n");
    runOptions.debugLevel = 1;
    if (UpperLetter(argument[2]) == 'D') {
        ErrorPrintf("Super Debug!\n");
        runOptions.debugLevel = 2;
    }
}

// Returns 0, or 1 when the owner cannot be read and the run ends.
int ReadOwnerOption(const char* argument) {
    if (argument[2] != '=') {
        ErrorPrintf("Unable to parse owner name.\n");
        return 1;
    }
    const char* text = argument + 3;
    size_t length = strnlen(text, OWNER_TEXT_MAX);
    memcpy(runOptions.ownerName, text, length);
    runOptions.ownerName[length] = '\0';
    memcpy(runOptions.ownerBytes, runOptions.ownerName, length + 1);
    runOptions.ownerLen = static_cast<int>(length);
    if (runOptions.ownerName[0] == '0' && runOptions.ownerName[1] == 'x') {
        runOptions.ownerLen = ParseHexOwner(runOptions.ownerName, runOptions.ownerBytes);
    }
    return 0;
}

void ReadTruncateOption(const char* value) {
    int32_t minimum = ParseOptionNumber(value);
    if (minimum >= TRUNCATE_MIN_LOWEST) {
        runOptions.truncateMin = minimum;
        OutputPrintf("Truncating Records to a minimum of %d Bytes.\r\n", static_cast<int>(minimum));
    } else {
        runOptions.truncateMin = 0;
    }
}

// Reads the FILE of /J=FILE, /U=FILE or /R=FILE into `path`, naming the
// file as `what` when there is none. Returns 0, or 1 when the file name is
// missing or too long and the run ends.
int ReadFileOption(const char* argument, char* path, const char* what) {
    if (argument[2] != '=' || argument[3] == '\0') {
        ErrorPrintf("Unable to parse %s file name.\n", what);
        return 1;
    }
    const char* name = argument + 3;
    if (RefuseLongPath(name) != 0) return 1;
    memcpy(path, name, strlen(name) + 1);
    return 0;
}

// Returns 0, or the exit code when the option ends the run.
int ReadOption(const char* argument) {
    switch (UpperLetter(argument[1])) {
        case 'B':
            ReadProbeOption(argument + 2);
            break;
        case 'C':
            runOptions.countSizes = 1;
            break;
        case 'D':
            ReadDebugOption(argument);
            break;
        case 'J':
            return ReadFileOption(argument, runOptions.reportPath, "JSON report");
        case 'N':
            runOptions.dryRun = 1;
            OutputPrintf("Dry Run: no record will be changed.\n");
            break;
        case 'O':
            return ReadOwnerOption(argument);
        case 'R':
            return ReadFileOption(argument, runOptions.restorePath, "undo journal");
        case 'T':
            ReadTruncateOption(argument + 2);
            break;
        case 'U':
            return ReadFileOption(argument, runOptions.undoPath, "undo journal");
        default:
            break;  // a letter that names no option is passed over in silence
    }
    return 0;
}

constexpr size_t OPTIONS_MAX = 3;

bool AcceptablePath(const char* path) {
    if (path[0] == '?') return false;
    return path[0] == '\0' || path[1] != '?';
}

// An argument that names an existing file or folder is a data file, never
// an option, wherever it stands: a file named "-t4.dat" or "-j=b.dat" in a
// folder a shell pattern lists must not turn into /T4 or /J=b.dat. Of the
// others, one that begins with "/" or "-" is an option.
bool IsOptionArgument(const char* argument) {
    if (argument[0] != '/' && argument[0] != '-') return false;
    return KindOfPath(argument) == PATH_NONE;
}

// --help and --version, alone and naming no file: what they ask for, on
// standard output. Returns 1 when the argument was one of them.
int AnswerHelpOrVersion(int argc, char** argv) {
    if (argc != 2 || KindOfPath(argv[1]) != PATH_NONE) return 0;
    const bool help = strcmp(argv[1], "--help") == 0;
    if (!help && strcmp(argv[1], "--version") != 0) return 0;
    OutputPrintf("%s", VERSION_BANNER);
    if (help) {
        PrintUsage(OutputPrintf);
        OutputPrintf("%s", MORE_USAGE);
    }
    return 1;
}

}  // namespace

int RefuseLongPath(const char* path) {
    size_t length = strlen(path);
    if (length <= PATH_MAX_CHARS) return 0;
    ErrorPrintf("Path too long: %lu characters; at most %d are accepted.\n",
                static_cast<unsigned long>(length), PATH_MAX_CHARS);
    return 1;
}

int ParseHexOwner(const char* text, unsigned char* out) {
    size_t length = strlen(text);
    out[0] = 0;
    if (length < 2 || text[0] != '0' || text[1] != 'x' || length % 2 != 0) return 0;
    int count = 0;
    for (size_t i = 2; i < length; i += 2) {
        int high = HexDigitValue(text[i]);
        int low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) {
            out[0] = 0;
            return 0;
        }
        out[count++] = static_cast<unsigned char>(high * 16 + low);
    }
    out[count] = 0;
    return count;
}

int32_t ParseOptionNumber(const char* text) {
    while (IsBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > limit) value = limit;  // stays clamped for any further digits
    }
    return static_cast<int32_t>(negative ? -value : value);
}

void PrintUsage(void (*print)(const char* format, ...)) {
    print("\nUsage:  RECMETER Filename [options]\n\n");
    print("    This command scans the Btrieve file for variable length records.\n");
    print("    Use the /B# option to check for records over 60KB, up to # MB.\n");
    print("    Use the /C option to calculate and display totals for all values.\n");
    print("    Use the /O=owner option to specify the Btrieve file owner name.\n");
    print("    Use the /T# option to truncate Null/Space values to no fewer than # bytes.\n");
    print("    Use the /D option to enable DEBUG mode.\n\n");
}

int ParseCommandLine(int argc, char** argv) {
    if (AnswerHelpOrVersion(argc, argv)) return COMMAND_LINE_ANSWERED;
    ErrorPrintf("%s", VERSION_BANNER);
    fileArguments.clear();
    std::vector<const char*> options;
    if (argc >= 2) fileArguments.push_back(argv[1]);
    for (int index = 2; index < argc; ++index) {
        (IsOptionArgument(argv[index]) ? options : fileArguments).push_back(argv[index]);
    }
    if (argc < 2 || !AcceptablePath(argv[1]) || options.size() > OPTIONS_MAX) {
        PrintUsage(ErrorPrintf);
        return 1;
    }
    runOptions.countSizes = 0;
    runOptions.truncateMin = 0;
    runOptions.probeMegabytes = 0;
    runOptions.ownerBytes[0] = 0;
    // The first argument is a path and only a path, whatever it begins
    // with: read as an option too, "-t8" or "/T8\x.dat" would truncate the
    // file they name. The options are read from the last to the first.
    for (auto option = options.rbegin(); option != options.rend(); ++option) {
        int exitCode = ReadOption(*option);
        if (exitCode != 0) return exitCode;
    }
    return 0;
}

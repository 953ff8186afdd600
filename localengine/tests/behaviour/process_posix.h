// Child processes for the tests that need a process of their own: settings
// read once per process, file locks, and kills.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace behaviour {

struct RunResult {
    int exitCode = -1;  // -1 when ended by a signal
    int signal = 0;
    std::string out, err;
};

// (name, value) to set in the child; a null value unsets the name.
using Environment = std::vector<std::pair<std::string, const char*>>;

// Runs a program to its end (killed after `timeoutSeconds`) and collects its output.
RunResult runProgram(const std::vector<std::string>& argv, const Environment& env = {},
                     unsigned timeoutSeconds = 300);

// Starts a program whose standard output comes back through `outFd`.
pid_t startProgram(const std::vector<std::string>& argv, int& outFd);

// Reads one line from `fd` (without the newline); empty at end of input.
std::string readLine(int fd);

// Runs the recfile tool with `args`.
RunResult runRecfile(const std::vector<std::string>& args);

// Hex of the bytes recfile writes for an N-byte record ('A' + i % 26).
std::string letterHex(size_t n);

// Lines of a program's output.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace behaviour

// What the fuzz targets share: quiet program output, invariant checks that
// stop the fuzzer, and splitting an input into pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Sends the program's standard output and standard error to /dev/null.
// libFuzzer keeps its own copy of the error stream and the sanitizers write
// to descriptor 2, so their reports and the final statistics still show.
void SilenceProgramOutput();

// Reports a broken invariant on descriptor 2 and traps, which libFuzzer
// records as a crash with the input that caused it.
[[noreturn]] void FuzzInvariantFailed(const char* condition, const char* file, int line);

#define FUZZ_ASSERT(condition) \
    ((condition) ? static_cast<void>(0) : FuzzInvariantFailed(#condition, __FILE__, __LINE__))

// The input cut at each NUL byte into at most `maxPieces` pieces; the last
// piece ends at the next NUL or the input's end, and the rest is dropped.
std::vector<std::string> SplitOnNul(const uint8_t* data, size_t size, size_t maxPieces);

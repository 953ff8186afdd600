#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

void SilenceProgramOutput() {
    if (freopen("/dev/null", "w", stdout) == nullptr) __builtin_trap();
    // Not freopen on stderr: that FILE is also libFuzzer's, and its crash
    // notes and final statistics must still reach descriptor 2. The program
    // writes through the variable, which now names another stream.
    FILE* quiet = fopen("/dev/null", "w");
    if (quiet == nullptr) __builtin_trap();
    stderr = quiet;
}

void FuzzInvariantFailed(const char* condition, const char* file, int line) {
    dprintf(STDERR_FILENO, "%s:%d: invariant broken: %s\n", file, line, condition);
    __builtin_trap();
}

std::vector<std::string> SplitOnNul(const uint8_t* data, size_t size, size_t maxPieces) {
    std::vector<std::string> pieces;
    if (size == 0 || maxPieces == 0) return pieces;
    const char* p = reinterpret_cast<const char*>(data);
    const char* end = p + size;
    while (pieces.size() + 1 < maxPieces) {
        const char* nul = static_cast<const char*>(memchr(p, '\0', static_cast<size_t>(end - p)));
        if (nul == nullptr) break;
        pieces.emplace_back(p, nul);
        p = nul + 1;
    }
    // The last piece ends at the first NUL left, as a C string would.
    const char* nul = static_cast<const char*>(memchr(p, '\0', static_cast<size_t>(end - p)));
    pieces.emplace_back(p, nul != nullptr ? nul : end);
    return pieces;
}

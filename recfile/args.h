// Parsing of recfile's command-line words: numbers, owners and ITEMs.
// Every function reports bad input by throwing UsageError with a message
// that recfile prints after "recfile: ".
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace recfile {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A decimal number without sign, at most `max`; `what` names it in errors.
uint64_t parseNumber(const std::string& text, uint64_t max, const std::string& what);

// An even number of hex digits (either case) as bytes.
std::vector<uint8_t> parseHex(const std::string& text, const std::string& what);

// One ITEM: `count` records of `filled` non-blank bytes then `nulls` zero
// bytes, or (when `literal`) `count` = 1 record of exactly `bytes`.
struct Item {
    bool literal = false;
    std::vector<uint8_t> bytes;
    uint64_t filled = 0;
    uint64_t nulls = 0;
    uint64_t count = 1;

    uint64_t length() const { return literal ? bytes.size() : filled + nulls; }
};

// Parses N, NxC, N+Z, N+ZxC or hex:HEX; records longer than maxLength are
// refused here, before anything is written.
Item parseItem(const std::string& text, uint64_t maxLength);

// Fills `out` with the deterministic record contents: `filled` bytes that
// are never 0x00 or 0x20, then `nulls` zero bytes.
void fillRecord(std::vector<uint8_t>& out, uint64_t filled, uint64_t nulls);

}  // namespace recfile

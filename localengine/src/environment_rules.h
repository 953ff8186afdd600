// The rules the environment sets for the engine: injected faults
// (LOCALENGINE_FAULTS) and the version reply (LOCALENGINE_VERSION).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace localengine {

struct FaultRule {
    uint16_t op = 0;
    uint32_t nth = 0;  // 0: every request of the operation; else only the nth
    int status = 0;
};

// Parses LOCALENGINE_FAULTS: "OP=STATUS" or "OP#N=STATUS", comma-separated.
// False on a malformed value (then no rule applies).
bool parseFaults(const std::string& text, std::vector<FaultRule>* rules);

// The status of the first rule that applies to the `count`th request (from 1)
// of operation `op`, if any; rules for the nth request win over rules for all.
bool findFault(const std::vector<FaultRule>& rules, uint16_t op, uint64_t count, int* status);

// Parses LOCALENGINE_VERSION ("13.30W,13.30T": up to three entries) into the
// reply: 5 bytes an entry, version u16, revision u16, platform letter (a blank
// when none is given). False on a malformed value.
bool parseVersionReply(const std::string& text, std::vector<unsigned char>* reply);

// The reply when the variable is not set: one entry, 13.30, no letter.
std::vector<unsigned char> defaultVersionReply();

}  // namespace localengine

// The program's logic run in the test process against a scripted engine and
// a keyboard no key is pressed on: the engine's two entry points and the
// console keys are defined here instead of the loader and the terminal. A test lists the
// requests it expects, in order, each with the engine's answer; what the
// program then did differently is reported by Problems().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace scripted {

constexpr uint32_t ANY_LENGTH = 0xFFFFFFFFu;

struct Request {
    uint16_t op;                     // the operation expected
    int status = 0;                  // the engine's answer
    std::string data;                // bytes the engine puts at the data buffer's start
    uint32_t lengthOut = ANY_LENGTH; // the length returned: data's size, or the buffer's for 22
    uint32_t lengthIn = ANY_LENGTH;  // the data length expected going in
    int keyNum = 0;                  // the key number expected (as the engine receives it)
    bool extended = false;           // expected through the extended entry
};

// Replaces the script; requests are answered in order.
void Script(std::vector<Request> requests);

// Every way the program's requests differed from the script (an operation,
// a length, a key number or an entry not as expected, a request past its end,
// requests the script holds that were never made); empty when none.
std::string Problems();

// The bytes of the data buffer of each Update the program made, in order.
const std::vector<std::string>& Updates();

}  // namespace scripted

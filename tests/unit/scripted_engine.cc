#include "scripted_engine.h"

#include <cstring>

#include "engine/engine.h"
#include "engine/loader.h"
#include "console/keyboard.h"

namespace scripted {
namespace {

std::vector<Request> script;
size_t next;
std::string problems;
std::vector<std::string> updates;

int Answer(bool extended, uint16_t op, void* dataBuf, uint32_t* dataLen, int8_t keyNum) {
    const size_t index = next++;
    if (index >= script.size()) {
        problems += "request " + std::to_string(index + 1) + " (op " + std::to_string(op) +
                    ") is past the script's end\n";
        return 9;
    }
    const Request& r = script[index];
    auto mismatch = [&](const std::string& what, long long expected, long long got) {
        problems += "request " + std::to_string(index + 1) + " (op " + std::to_string(r.op) + "): " +
                    what + " " + std::to_string(got) + ", expected " + std::to_string(expected) + "\n";
    };
    if (op != r.op) mismatch("op", r.op, op);
    if (extended != r.extended) mismatch("extended entry", r.extended, extended);
    if (r.lengthIn != ANY_LENGTH && *dataLen != r.lengthIn) mismatch("length in", r.lengthIn, *dataLen);
    if (keyNum != r.keyNum) mismatch("key number", r.keyNum, keyNum);
    if (op == OP_UPDATE) updates.emplace_back(static_cast<const char*>(dataBuf), *dataLen);
    if (!r.data.empty()) std::memcpy(dataBuf, r.data.data(), std::min<size_t>(r.data.size(), *dataLen));
    if (r.lengthOut != ANY_LENGTH) *dataLen = r.lengthOut;
    else if (r.status != 22) *dataLen = static_cast<uint32_t>(r.data.size());
    return r.status;
}

}  // namespace

void Script(std::vector<Request> requests) {
    script = std::move(requests);
    next = 0;
    problems.clear();
    updates.clear();
}

std::string Problems() {
    std::string all = problems;
    for (size_t index = next; index < script.size(); ++index) {
        all += "request " + std::to_string(index + 1) + " (op " + std::to_string(script[index].op) +
               ") was never made\n";
    }
    return all;
}

const std::vector<std::string>& Updates() { return updates; }

}  // namespace scripted

// The engine's entry points and the console, as the program calls them.

int16_t EngineStandardCall(uint16_t op, void*, void* dataBuf, uint32_t* dataLen, void*, uint8_t,
                           int8_t keyNum) {
    return static_cast<int16_t>(scripted::Answer(false, op, dataBuf, dataLen, keyNum));
}

int EngineExtendedCall(uint16_t op, void*, void* dataBuf, uint32_t* dataLen, void*, uint8_t,
                       int8_t keyNum) {
    return scripted::Answer(true, op, dataBuf, dataLen, keyNum);
}

void ConsoleKeysBegin() {}
void ConsoleKeysEnd() {}
// Every clock reading is later than the last by more than the gap between two
// asks of the console, so every test asks.
uint32_t ConsoleMilliseconds() {
    static uint32_t now = 0;
    return now += 1000;
}
bool ConsoleKeyPending() {
    return false;
}
int ConsoleReadKey() {
    return 0;
}

// Drives the engine from the outside, through its two entry points as the
// program loads them: the shared library (dlopen on POSIX, LoadLibrary of
// w3btrv7.dll on Windows).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "localengine.h"
#include "support/records.h"
#include "support/test_support.h"
#ifndef _WIN32
#include "support/process.h"
#endif

// Test tables name their cases, so gtest prints the name instead of the bytes.
#define BEHAVIOUR_CASE_NAMED(Case) \
    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

namespace behaviour {

using Bytes = std::vector<uint8_t>;

using localengine::BtrvExFn;
using localengine::RecCallFn;

struct EntryPoints {
    RecCallFn standard = nullptr;
    BtrvExFn extended = nullptr;
};

// The loaded library (loaded once; a test fails when it cannot be).
const EntryPoints& entries();

// Aborts the process after `seconds` unless disarmed (seconds = 0): a hang in
// the engine fails the test run instead of stalling it.
void armWatchdog(unsigned seconds);

enum class Entry { kStandard, kExtended };

// One request through the chosen entry; the standard entry's 16-bit status
// comes back sign-extended.
int call(Entry entry, uint16_t op, void* posBlock, void* data, uint32_t* length, void* key = nullptr,
         uint8_t keyLength = 0, int8_t keyNumber = 0);

// A reply that carries data: status, returned length and the bytes returned.
struct Reply {
    int status = -1;
    uint32_t length = 0;
    Bytes data;
    bool guardIntact = true;  // nothing written past the buffer the caller declared
};

using support::MakeFile;
using support::RecordBytes;

// Hex of the bytes recfile writes for an N-byte record ('A' + i % 26).
std::string letterHex(size_t n);

// An open engine file; requests go through the extended entry unless told.
class EngineFile {
public:
    EngineFile() = default;
    ~EngineFile();
    EngineFile(const EngineFile&) = delete;
    EngineFile& operator=(const EngineFile&) = delete;

    static int create(const std::string& path, const Bytes& owner = {});
    int open(const std::string& path, const Bytes& owner = {});
    int close();
    int insert(const unsigned char* record, uint32_t length);
    int update(const Bytes& record);
    int check();

    // Step First (33) / Step Next (24) into a buffer declared as `lengthWord`
    // bytes (the standard entry honours its low 16 bits only).
    Reply step(uint16_t op, uint32_t lengthWord, Entry entry = Entry::kExtended);
    Reply getPosition(uint32_t bufferLength = 4);
    // Get Direct/Chunk with a rectangle descriptor.
    Reply chunk(uint32_t position, uint32_t rows, uint32_t offset, uint32_t bytesPerRow, uint32_t distance,
                uint32_t bufferLength, uint32_t subfunction = localengine::kRectangleSubfunction,
                int8_t keyNumber = -2);

    uint8_t* posBlock() { return posBlock_; }

private:
    std::string path_;
    uint8_t posBlock_[localengine::kPosBlockSize] = {};
    bool open_ = false;
};

uint32_t positionOf(const Reply& reply);

// All records of a file in physical order, with their positions.
struct Walk {
    int openStatus = -1;
    int endStatus = -1;  // the status that ended the walk (9 at a clean end)
    std::vector<Bytes> records;
    std::vector<uint32_t> positions;
};
Walk walkFile(const std::string& path, const Bytes& owner = {});

// A fresh folder per test; the engine forgets its files after each.
class BehaviourTest : public support::FolderTest {
protected:
    void TearDown() override;
};

}  // namespace behaviour

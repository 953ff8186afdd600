// An engine file as recfile sees it: every request goes through the engine's
// extended entry point, so records of any length the engine takes can be
// written and read whole.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "localengine.h"

namespace recfile {

// The longest record the engine stores (its Insert answers 97 beyond it).
constexpr uint32_t kMaxRecordLen = 1u << 30;

// Records are read in pieces of this size, so memory stays small whatever
// their length.
constexpr uint32_t kReadPiece = 1u << 20;

// A request the engine refused; what() reads "PATH: what failed: meaning (status N)".
struct EngineError : std::runtime_error {
    EngineError(const std::string& path, const std::string& request, int status);
    int status;
};

class FileClient {
public:
    // Creates an empty file (an existing one is an error).
    static void create(const std::string& path, const std::vector<uint8_t>& owner);

    FileClient(const std::string& path, const std::vector<uint8_t>& owner);
    ~FileClient();
    FileClient(const FileClient&) = delete;
    FileClient& operator=(const FileClient&) = delete;

    void insert(const uint8_t* data, uint32_t length);

    // Reads the first (or next) record and hands its bytes to `sink` in
    // order, in one piece or several; false at the end of the file. A record
    // longer than one piece is read on with chunk requests at its position.
    using Sink = std::function<void(const uint8_t* bytes, uint32_t count)>;
    bool step(bool first, const Sink& sink, uint32_t& length);

    // The current record's position.
    uint32_t position();

    // The engine's whole-file check: 0 when sound, else its status.
    int check();

    // Closes the file, reporting a failure (the destructor closes silently).
    void close();

private:
    int call(uint16_t op, void* data, uint32_t* length);

    std::string path_;
    std::vector<uint8_t> buffer_;
    uint8_t posBlock_[localengine::kPosBlockSize] = {};
    bool open_ = false;
};

}  // namespace recfile

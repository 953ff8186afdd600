#include "file_client.h"

#include <cstring>

namespace recfile {

using namespace localengine;

static std::string meaning(int status) {
    switch (status) {
        case kDamaged: return "the file is damaged";
        case kFileNotFound: return "no such file";
        case kBufferTooShort: return "record longer than recfile's buffer";
        case kNotOurFile: return "not a record file";
        case kOwnerError: return "owner missing or wrong";
        case kFileExists: return "file already exists";
        case kInUse: return "file in use by another process";
        default: return "engine error";
    }
}

EngineError::EngineError(const std::string& path, const std::string& request, int st)
    : std::runtime_error(path + ": " + request + " failed: " + meaning(st) + " (status " +
                         std::to_string(st) + ")"),
      status(st) {}

// The path goes in the key buffer, zero-terminated; the key length says how
// much of it the engine may look at.
static uint8_t keyLength(const std::string& path) {
    return static_cast<uint8_t>(path.size() + 1 > 255 ? 255 : path.size() + 1);
}

void FileClient::create(const std::string& path, const std::vector<uint8_t>& owner) {
    uint8_t posBlock[kPosBlockSize] = {};
    std::vector<uint8_t> ownerCopy = owner;
    uint32_t length = static_cast<uint32_t>(ownerCopy.size());
    const int st = BTRVEX(kOpCreate, posBlock, ownerCopy.empty() ? nullptr : ownerCopy.data(), &length,
                          const_cast<char*>(path.c_str()), keyLength(path), 0);
    if (st != kOk) throw EngineError(path, "create", st);
}

FileClient::FileClient(const std::string& path, const std::vector<uint8_t>& owner) : path_(path) {
    std::vector<uint8_t> ownerCopy = owner;
    uint32_t length = static_cast<uint32_t>(ownerCopy.size());
    const int st = BTRVEX(kOpOpen, posBlock_, ownerCopy.empty() ? nullptr : ownerCopy.data(), &length,
                          const_cast<char*>(path.c_str()), keyLength(path), 0);
    if (st != kOk) throw EngineError(path, "open", st);
    open_ = true;
}

FileClient::~FileClient() {
    if (open_) {
        uint32_t length = 0;
        call(kOpClose, nullptr, &length);
    }
}

int FileClient::call(uint16_t op, void* data, uint32_t* length) {
    return BTRVEX(op, posBlock_, data, length, nullptr, 0, 0);
}

void FileClient::insert(const uint8_t* data, uint32_t length) {
    uint8_t none = 0;  // an empty record still passes a buffer
    const int st = call(kOpInsert, data ? const_cast<uint8_t*>(data) : &none, &length);
    if (st != kOk) throw EngineError(path_, "insert", st);
}

bool FileClient::step(bool first, const Sink& sink, uint32_t& length) {
    buffer_.resize(kReadPiece);
    length = kReadPiece;
    int st = call(first ? kOpStepFirst : kOpStepNext, buffer_.data(), &length);
    if (st == kEndOfFile) return false;
    if (st != kOk && st != kBufferTooShort) throw EngineError(path_, "reading a record", st);
    sink(buffer_.data(), length);
    if (st == kOk) return true;

    // 22: the buffer holds the record's first bytes and the record is current.
    // The rest comes as rectangles of 1-byte rows from where the last piece ended.
    const uint32_t where = position();
    for (;;) {
        const uint32_t fields[8] = {where, kRectangleSubfunction, kReadPiece, length, 1, 1, 0, 0};
        for (int i = 0; i < 8; ++i) {
            for (int b = 0; b < 4; ++b) buffer_[4 * i + b] = static_cast<uint8_t>(fields[i] >> (8 * b));
        }
        uint32_t got = kReadPiece;
        st = BTRVEX(kOpGetDirectChunk, posBlock_, buffer_.data(), &got, nullptr, 0, -2);
        if (st != kOk && st != kChunkPastEnd) throw EngineError(path_, "reading a long record", st);
        if (got > kReadPiece || got > kMaxRecordLen - length) throw EngineError(path_, "reading a long record", st);
        sink(buffer_.data(), got);
        length += got;
        if (st == kChunkPastEnd || got < kReadPiece) return true;
    }
}

uint32_t FileClient::position() {
    uint8_t bytes[4] = {};
    uint32_t length = sizeof bytes;
    const int st = call(kOpGetPosition, bytes, &length);
    if (st != kOk || length != 4) throw EngineError(path_, "get position", st);
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

int FileClient::check() {
    uint32_t length = 0;
    return call(kOpCheck, nullptr, &length);
}

void FileClient::close() {
    uint32_t length = 0;
    const int st = call(kOpClose, nullptr, &length);
    open_ = false;
    if (st != kOk) throw EngineError(path_, "close", st);
}

}  // namespace recfile

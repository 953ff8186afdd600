#include "support.h"

#include <algorithm>

namespace behaviour {

using namespace localengine;

namespace {
constexpr uint8_t kGuardByte = 0xCD;
constexpr uint32_t kGuardBytes = 64;
constexpr uint32_t kBigBuffer = 16u * 1024 * 1024 + 1024;

// Create or Open: the owner in the data buffer, the path as the key.
int fileRequest(uint16_t op, uint8_t* posBlock, const std::string& path, Bytes owner) {
    uint32_t length = static_cast<uint32_t>(owner.size());
    std::string key = path;
    const uint8_t keyLength = static_cast<uint8_t>(path.size() + 1 > 255 ? 255 : path.size() + 1);
    return call(Entry::kExtended, op, posBlock, owner.empty() ? nullptr : owner.data(), &length, &key[0], keyLength, 0);
}

// A request whose data buffer holds `record`: none when it is empty (Close, Check).
int recordRequest(Entry entry, uint16_t op, uint8_t* posBlock, Bytes record) {
    uint32_t length = static_cast<uint32_t>(record.size());
    return call(entry, op, posBlock, record.empty() ? nullptr : record.data(), &length);
}

// Runs a request that fills a buffer declared as `lengthWord` bytes; the
// buffer is followed by guard bytes that the engine must leave alone.
template <typename Request>
Reply fill(Entry entry, uint32_t lengthWord, Bytes initial, Request request) {
    const uint32_t usable = entry == Entry::kStandard ? (lengthWord & 0xFFFFu) : lengthWord;
    Bytes buffer(usable + kGuardBytes, kGuardByte);
    std::copy(initial.begin(), initial.end(), buffer.begin());
    Reply reply;
    reply.length = lengthWord;
    reply.status = request(buffer.data(), &reply.length);
    reply.guardIntact = true;
    for (uint32_t i = usable; i < buffer.size(); ++i) reply.guardIntact = reply.guardIntact && buffer[i] == kGuardByte;
    if (reply.length <= usable) reply.data.assign(buffer.begin(), buffer.begin() + reply.length);
    return reply;
}
}  // namespace

int call(Entry entry, uint16_t op, void* posBlock, void* data, uint32_t* length, void* key, uint8_t keyLength,
         int8_t keyNumber) {
    const EntryPoints& e = entries();
    if (entry == Entry::kStandard) return e.standard(op, posBlock, data, length, key, keyLength, keyNumber);
    return e.extended(op, posBlock, data, length, key, keyLength, keyNumber);
}

std::string letterHex(size_t n) {
    std::string letters(n, '\0');
    for (size_t i = 0; i < n; ++i) letters[i] = static_cast<char>('A' + i % 26);
    return support::Hex(letters);
}

EngineFile::~EngineFile() {
    if (open_) close();
}

int EngineFile::create(const std::string& path, const Bytes& owner) {
    uint8_t posBlock[kPosBlockSize] = {};
    return fileRequest(kOpCreate, posBlock, path, owner);
}

int EngineFile::open(const std::string& path, const Bytes& owner) {
    const int status = fileRequest(kOpOpen, posBlock_, path, owner);
    open_ = status == kOk;
    return status;
}

int EngineFile::close() {
    open_ = false;
    return recordRequest(Entry::kExtended, kOpClose, posBlock_, {});
}

int EngineFile::insert(const unsigned char* record, uint32_t length) {
    return recordRequest(Entry::kExtended, kOpInsert, posBlock_, Bytes(record, record + length));
}
int EngineFile::update(const Bytes& record) { return recordRequest(Entry::kExtended, kOpUpdate, posBlock_, record); }
int EngineFile::check() { return recordRequest(Entry::kExtended, kOpCheck, posBlock_, {}); }

Reply EngineFile::step(uint16_t op, uint32_t lengthWord, Entry entry) {
    return fill(entry, lengthWord, {}, [&](uint8_t* buffer, uint32_t* length) {
        return call(entry, op, posBlock_, buffer, length);
    });
}

Reply EngineFile::getPosition(uint32_t bufferLength) {
    return fill(Entry::kExtended, bufferLength, {}, [&](uint8_t* buffer, uint32_t* length) {
        return call(Entry::kExtended, kOpGetPosition, posBlock_, buffer, length);
    });
}

Reply EngineFile::chunk(uint32_t position, uint32_t rows, uint32_t offset, uint32_t bytesPerRow, uint32_t distance,
                        uint32_t bufferLength, uint32_t subfunction, int8_t keyNumber) {
    const uint32_t fields[8] = {position, subfunction, rows, offset, bytesPerRow, distance, 0x5EEDu, 0};
    Bytes descriptor(32);
    for (int i = 0; i < 8; ++i) {
        for (int b = 0; b < 4; ++b) descriptor[4 * i + b] = static_cast<uint8_t>(fields[i] >> (8 * b));
    }
    if (descriptor.size() > bufferLength) descriptor.resize(bufferLength);
    return fill(Entry::kExtended, bufferLength, descriptor, [&](uint8_t* buffer, uint32_t* length) {
        return call(Entry::kExtended, kOpGetDirectChunk, posBlock_, buffer, length, nullptr, 0, keyNumber);
    });
}

uint32_t positionOf(const Reply& reply) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4 && i < reply.data.size(); ++i) value |= static_cast<uint32_t>(reply.data[i]) << (8 * i);
    return value;
}

Walk walkFile(const std::string& path, const Bytes& owner) {
    Walk walk;
    EngineFile file;
    walk.openStatus = file.open(path, owner);
    if (walk.openStatus != kOk) return walk;
    for (uint16_t op = kOpStepFirst;; op = kOpStepNext) {
        Reply reply = file.step(op, kBigBuffer);
        if (reply.status != kOk) {
            walk.endStatus = reply.status;
            break;
        }
        walk.records.push_back(std::move(reply.data));
        walk.positions.push_back(positionOf(file.getPosition()));
    }
    return walk;
}

void BehaviourTest::TearDown() {
    uint32_t length = 0;
    uint8_t posBlock[kPosBlockSize] = {};
    call(Entry::kExtended, kOpReset, posBlock, nullptr, &length);
}

}  // namespace behaviour

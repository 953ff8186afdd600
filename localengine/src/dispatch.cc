#include "dispatch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "data_file.h"
#include "environment_rules.h"
#include "format.h"
#include "localengine.h"

#include <atomic>
#include <thread>

namespace localengine {
namespace {

// One request at a time in the whole process. A program seldom makes
// requests from two threads at once, so a waiter just yields until the
// request before it is done; the uncontended path is one atomic exchange,
// which matters at a request per record (a system lock showed in the
// Windows build's scans: bench/README.md, "Measured choices").
class Guard {
public:
    Guard() {
        while (busy_.exchange(true, std::memory_order_acquire)) std::this_thread::yield();
    }
    ~Guard() { busy_.store(false, std::memory_order_release); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    static std::atomic<bool> busy_;
};
std::atomic<bool> Guard::busy_{false};

// Says on standard error that a variable's value was not understood.
void warnMalformed(const char* what, const std::string& value) {
    std::fprintf(stderr, "localengine: ignoring malformed %s value \"%s\"\n", what, value.c_str());
    std::fflush(stderr);
}

// The position block: a tag, the slot in the table of open files and the
// slot's generation, so a stale or garbage block is recognised.
constexpr uint32_t kBlockTag = 0x42504C45u;  // "ELPB"

struct Slot {
    std::unique_ptr<DataFile> file;
    uint32_t generation = 0;
};

class Engine {
public:
    Engine() = default;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    // At the process's end the files still open are closed (their appends
    // and state written). Once processEnding() (a DLL detached from a
    // process that exits, on Windows) they are not destroyed: their reader
    // threads may be gone already, or blocked where no one can wait for
    // them. Otherwise each is destroyed, its reader stopped and joined.
    ~Engine() {
        for (Slot& s : slots_) drop(s, processEnding());
    }
    int run(uint16_t op, void* pos, unsigned char* data, uint32_t inLen, uint32_t* outLen, const void* key,
            int8_t keyNum);
    void closeAll() {
        for (Slot& s : slots_) drop(s, false);
    }
    // Closes the slot's file. One a forked child inherited, or any at the
    // process's end, is closed but never destroyed: destroying its window
    // would wait for a reader thread that does not exist (in a child, even
    // destroying the condition the parent's reader waited on waits for it).
    static void drop(Slot& s, bool ending) {
        if (!s.file) return;
        if (!ending && !s.file->inherited()) return s.file.reset();
        s.file->close();
        static auto* kept = new std::vector<DataFile*>;  // still reachable: no leak to report
        kept->push_back(s.file.release());
    }
    // A fault injected for this request, counted whether or not one applies.
    bool fault(uint16_t op, int* status);

private:
    DataFile* fileOf(const void* pos);
    int open(void* pos, const std::string& path, const std::string& owner);
    int close(void* pos);
    int version(unsigned char* data, uint32_t cap, uint32_t* outLen);
    int chunk(DataFile* f, unsigned char* data, uint32_t inLen, uint32_t* outLen, int8_t keyNum);

    std::vector<Slot> slots_;
    bool faultsRead_ = false;
    std::vector<FaultRule> faults_;
    std::map<uint16_t, uint64_t> counts_;
    std::string versionWarned_;
};

Engine& engine() {
    static Engine e;
    return e;
}

bool Engine::fault(uint16_t op, int* status) {
    if (!faultsRead_) {
        faultsRead_ = true;
        if (const char* v = std::getenv("LOCALENGINE_FAULTS"))
            if (!parseFaults(v, &faults_)) warnMalformed("LOCALENGINE_FAULTS", v);
    }
    if (faults_.empty()) return false;  // rules are read once, so counts would never matter
    uint64_t n = ++counts_[op];
    return findFault(faults_, op, n, status);
}

DataFile* Engine::fileOf(const void* pos) {
    if (!pos) return nullptr;
    const auto* b = static_cast<const unsigned char*>(pos);
    uint32_t slot = get32(b + 4);
    if (get32(b) != kBlockTag || slot >= slots_.size() || !slots_[slot].file ||
        slots_[slot].generation != get32(b + 8))
        return nullptr;
    return slots_[slot].file.get();
}

int Engine::open(void* pos, const std::string& path, const std::string& owner) {
    if (!pos) return kPosBlockNotOpen;
    auto f = std::make_unique<DataFile>();
    int st = f->open(path, owner);
    if (st != kOk) return st;
    size_t slot = 0;
    while (slot < slots_.size() && slots_[slot].file) ++slot;
    if (slot == slots_.size()) slots_.emplace_back();
    Slot& s = slots_[slot];
    s.file = std::move(f);
    ++s.generation;
    auto* b = static_cast<unsigned char*>(pos);
    std::memset(b, 0, kPosBlockSize);
    put32(b, kBlockTag);
    put32(b + 4, static_cast<uint32_t>(slot));
    put32(b + 8, s.generation);
    return kOk;
}

int Engine::close(void* pos) {
    DataFile* f = fileOf(pos);
    if (!f) return kPosBlockNotOpen;
    Slot& s = slots_[get32(static_cast<unsigned char*>(pos) + 4)];
    int st = f->inherited() ? kOk : f->close();  // a child lets go of its copy without a write
    drop(s, false);
    std::memset(pos, 0, kPosBlockSize);
    return st;
}

int Engine::version(unsigned char* data, uint32_t cap, uint32_t* outLen) {
    std::vector<unsigned char> reply = defaultVersionReply();
    if (const char* v = std::getenv("LOCALENGINE_VERSION")) {
        if (!parseVersionReply(v, &reply)) {
            if (versionWarned_ != v) warnMalformed("LOCALENGINE_VERSION", v);
            versionWarned_ = v;
            reply = defaultVersionReply();
        }
    }
    uint32_t n = reply.size() < cap ? static_cast<uint32_t>(reply.size()) : cap;
    if (n > 0) std::memcpy(data, reply.data(), n);
    *outLen = n;
    return n < reply.size() ? kBufferTooShort : kOk;
}

int Engine::chunk(DataFile* f, unsigned char* data, uint32_t inLen, uint32_t* outLen, int8_t keyNum) {
    if (keyNum != -2) return kBadKeyNumber;
    constexpr uint32_t kDescriptorSize = 32;
    if (!data || inLen < kDescriptorSize) return kBadDescriptor;
    // The rows go into the very buffer that holds the descriptor: read it all first.
    unsigned char d[kDescriptorSize];
    std::memcpy(d, data, sizeof d);
    if (get32(d + 4) != kRectangleSubfunction) return kBadDescriptor;
    RowRequest rq{get32(d + 8), get32(d + 12), get32(d + 16), get32(d + 20)};
    return f->getRows(get32(d), rq, data, inLen, outLen);
}

// Reads the zero-terminated path; false when there is none or it is too long.
bool pathOf(const void* key, std::string* path) {
    if (!key) return false;
    const char* p = static_cast<const char*>(key);
    size_t n = 0;
    while (n <= kMaxPathLen && p[n] != '\0') ++n;
    if (n > kMaxPathLen) return false;
    path->assign(p, n);
    return true;
}

int Engine::run(uint16_t op, void* pos, unsigned char* data, uint32_t inLen, uint32_t* outLen, const void* key,
                int8_t keyNum) {
    // The buffer's size as far as it can be used: a missing buffer holds nothing.
    const uint32_t cap = data ? inLen : 0;
    switch (op) {
        case kOpOpen:
        case kOpCreate: {
            std::string path;
            if (!pathOf(key, &path)) return kBadFileName;
            if (path.empty()) return kFileNotFound;
            if (inLen > kMaxOwnerLen) return kOwnerError;
            if (cap < inLen) return kBufferTooShort;
            std::string owner = inLen ? std::string(reinterpret_cast<const char*>(data), inLen) : std::string();
            return op == kOpOpen ? open(pos, path, owner) : DataFile::create(path, owner);
        }
        case kOpClose: return close(pos);
        case kOpVersion: return version(data, cap, outLen);
        case kOpReset: closeAll(); return kOk;
        case kOpInsert:
        case kOpUpdate:
        case kOpGetPosition:
        case kOpGetDirectChunk:
        case kOpStepNext:
        case kOpStepFirst:
        case kOpCheck: break;
        default: return kInvalidOp;
    }
    DataFile* f = fileOf(pos);
    if (!f) return kPosBlockNotOpen;
    if (f->inherited()) return kInUse;  // the file belongs to the process we were forked from
    switch (op) {
        case kOpInsert:
        case kOpUpdate:
            if (cap < inLen) return kBufferTooShort;
            return op == kOpInsert ? f->insert(data, inLen) : f->update(data, inLen);
        case kOpGetPosition: {
            if (cap < 4) return kBufferTooShort;
            uint32_t p = 0;
            int st = f->getPosition(&p);
            if (st == kOk) {
                put32(data, p);
                *outLen = 4;
            }
            return st;
        }
        case kOpGetDirectChunk: return chunk(f, data, inLen, outLen, keyNum);
        case kOpStepNext: return f->stepNext(data, cap, outLen);
        case kOpStepFirst: return f->stepFirst(data, cap, outLen);
        default: return f->check();
    }
}

bool returnsData(uint16_t op) {
    return op == kOpGetPosition || op == kOpGetDirectChunk || op == kOpStepNext || op == kOpStepFirst ||
           op == kOpVersion;
}

}  // namespace

int dispatch(uint16_t op, void* posBlock, void* dataBuf, uint32_t* dataLen, void* keyBuf, uint8_t /*keyLen*/,
             int8_t keyNum, bool extended) {
    Guard guard;
    Engine& e = engine();
    int status = kOk;
    if (e.fault(op, &status)) {
        if (dataLen) *dataLen = 0;
        return status;
    }
    uint32_t inLen = dataLen ? *dataLen : 0;
    if (!extended) inLen &= 0xFFFFu;
    uint32_t outLen = 0;
    try {
        status = e.run(op, posBlock, static_cast<unsigned char*>(dataBuf), inLen, &outLen, keyBuf, keyNum);
    } catch (...) {  // no memory, say: every request answers a status, whatever is thrown
        status = kDiskError;
    }
    if (dataLen) {
        bool partial = status == kBufferTooShort || status == kChunkPastEnd;
        if (returnsData(op) && (status == kOk || partial)) *dataLen = outLen;
        else if (status != kOk) *dataLen = 0;
    }
    return status;
}

}  // namespace localengine

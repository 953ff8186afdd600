// Arbitrary and mutated data files through the local engine's entry points.
//
// Input: a small control block, then the file's bytes.
//   [0, 16)  rows, first offset, bytes per row, distance of a rectangle
//   [16, 20) a signed shift added to record positions for a second rectangle
//   [20]     flags (kFlag... below)
//   [21]     owner length (mod kOwnerLenLimit); the owner's bytes follow
//   then     the data file
// With kFlagSynthesize the data file is described instead (see
// engine_file_generator.h).
// The file is written to a scratch folder (on tmpfs where there is one) and
// the engine opens it by its path.
//
// Every outcome must be a status with a length that stays inside the buffer;
// beyond that the walks must agree with one another whatever the buffer and
// the entry, rectangles must return exactly the record's bytes, and a file
// that checks clean must walk to its end and stay clean after shortening.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/engine_file_generator.h"
#include "fuzz/fuzz_support.h"
#include "localengine.h"

namespace {

using localengine::kBufferTooShort;
using localengine::kChunkPastEnd;
using localengine::kEndOfFile;
using localengine::kOk;

constexpr size_t kControlFixed = 22;
constexpr size_t kOwnerLenLimit = 71;  // owners of 0..70 bytes, past the engine's 66
constexpr int kMaxSteps = 10000;
constexpr int kMaxRectangles = 32;     // on the reference walk
constexpr uint32_t kDescriptorSize = 32;
constexpr uint32_t kProgramRows = 64000;
constexpr uint32_t kLargeBuffer = 300000;
constexpr uint32_t kKeptPrefix = 100;  // record bytes kept to compare walks

constexpr uint8_t kFlagProgramRectangle = 1;  // 64000 rows of 1 byte, as the program asks
constexpr uint8_t kFlagShorten = 2;           // shorten records, as /T does
constexpr uint8_t kFlagStandardChunk = 4;     // rectangles through the standard entry
constexpr uint8_t kFlagSmallChunkBuffer = 8;  // a rectangle buffer of just the descriptor
constexpr uint8_t kFlagSynthesize = 16;       // the file is described, not given

enum class Entry { Standard, Extended };

uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void Put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// An exactly sized heap buffer, so the sanitizer sees any write past its end.
struct Buffer {
    explicit Buffer(uint32_t n) : bytes(new unsigned char[n == 0 ? 1 : n]), size(n) {}
    std::unique_ptr<unsigned char[]> bytes;
    uint32_t size;
};

struct Request {
    uint16_t op;
    Entry entry;
    void* posBlock;
    Buffer* buffer;  // may be null
    uint32_t length; // going in
    void* key = nullptr;
    int8_t keyNum = 0;
};

struct Reply {
    int status;
    uint32_t length;  // coming out
};

// The length the engine may use: the standard entry honours 16 bits.
uint32_t Honoured(Entry entry, uint32_t length) {
    return entry == Entry::Standard ? (length & 0xFFFFu) : length;
}

Reply Call(const Request& rq) {
    uint32_t length = rq.length;
    void* data = rq.buffer != nullptr ? rq.buffer->bytes.get() : nullptr;
    int status = rq.entry == Entry::Standard
                     ? RECCALL(rq.op, rq.posBlock, data, &length, rq.key, 255, rq.keyNum)
                     : BTRVEX(rq.op, rq.posBlock, data, &length, rq.key, 255, rq.keyNum);
    Reply reply{status, length};
    // Nothing the engine returns may go past what it was allowed to fill.
    if (rq.buffer != nullptr && (status == kOk || status == kBufferTooShort || status == kChunkPastEnd)) {
        FUZZ_ASSERT(reply.length <= std::min(rq.buffer->size, Honoured(rq.entry, rq.length)) ||
                    rq.op == localengine::kOpOpen);
    }
    return reply;
}

struct Control {
    uint32_t rows, firstOffset, bytesPerRow, distance;
    int32_t positionShift;
    uint8_t flags;
    std::string owner;
};

struct StepResult {
    int status;
    uint32_t position;
    uint32_t length;  // bytes returned
};

// One walk: Step First, then Step Next until a status other than 0 or 22.
struct Walk {
    std::vector<StepResult> steps;
    std::vector<std::vector<unsigned char>> prefixes;  // first kKeptPrefix bytes
    std::vector<std::vector<unsigned char>> whole;     // whole records (extended, large buffer only)
    int finalStatus = kOk;
};

// The rectangle as the record's bytes say it must come back.
void CheckRectangle(const Control& c, uint32_t cap, const std::vector<unsigned char>& record,
                    const Reply& r, const unsigned char* out) {
    const uint64_t total = uint64_t{c.rows} * c.bytesPerRow;
    const uint64_t length = record.size();
    FUZZ_ASSERT(r.status == kOk || r.status == kBufferTooShort || r.status == kChunkPastEnd);
    FUZZ_ASSERT(r.length <= cap);
    bool pastEnd = c.rows > 0 && c.bytesPerRow > 0 &&
                   uint64_t{c.firstOffset} + uint64_t{c.rows - 1} * c.distance + c.bytesPerRow > length;
    if (r.status == kOk) FUZZ_ASSERT(r.length == total && !pastEnd);
    if (r.status == kChunkPastEnd) FUZZ_ASSERT(pastEnd);
    if (r.status == kBufferTooShort) FUZZ_ASSERT(total > cap);
    // The bytes returned are the rows' bytes, row after row.
    uint64_t produced = 0;
    for (uint32_t i = 0; produced < r.length && i < c.rows; ++i) {
        uint64_t start = c.firstOffset + uint64_t{i} * c.distance;
        uint64_t avail = start < length ? std::min<uint64_t>(c.bytesPerRow, length - start) : 0;
        uint64_t n = std::min<uint64_t>(avail, r.length - produced);
        FUZZ_ASSERT(n > 0);
        FUZZ_ASSERT(memcmp(out + produced, record.data() + start, n) == 0);
        produced += n;
    }
    FUZZ_ASSERT(produced == r.length);
}

class Session {
public:
    Session(const Control& control, std::string path) : c_(control), path_(std::move(path)), chunk_(ChunkSize()) {}

    // Returns the Open status.
    int Open() {
        Buffer owner(static_cast<uint32_t>(c_.owner.size()));
        if (!c_.owner.empty()) memcpy(owner.bytes.get(), c_.owner.data(), c_.owner.size());
        std::vector<char> key(path_.begin(), path_.end());
        key.push_back('\0');
        Reply r = Call({localengine::kOpOpen, Entry::Extended, pos_, &owner,
                        static_cast<uint32_t>(c_.owner.size()), key.data()});
        if (r.status != kOk) FUZZ_ASSERT(r.length == 0);
        return r.status;
    }

    int Check() { return Call({localengine::kOpCheck, Entry::Extended, pos_, nullptr, 0}).status; }

    int Close() { return Call({localengine::kOpClose, Entry::Extended, pos_, nullptr, 0}).status; }

    Walk Run(Entry entry, uint32_t bufferSize, bool keepWhole, const Walk* reference) {
        Walk w;
        Buffer buffer(bufferSize);
        const uint32_t cap = Honoured(entry, bufferSize);
        uint16_t op = localengine::kOpStepFirst;
        for (int step = 0; step < kMaxSteps; ++step, op = localengine::kOpStepNext) {
            Reply r = Call({op, entry, pos_, &buffer, bufferSize});
            if (r.status != kOk && r.status != kBufferTooShort) {
                FUZZ_ASSERT(r.length == 0);
                w.finalStatus = r.status;
                break;
            }
            // 22: the buffer is full of the record's first bytes.
            if (r.status == kBufferTooShort) FUZZ_ASSERT(r.length == cap);
            StepResult s{r.status, 0, r.length};
            s.position = CurrentPosition(entry);
            w.steps.push_back(s);
            w.prefixes.emplace_back(buffer.bytes.get(), buffer.bytes.get() + std::min(r.length, kKeptPrefix));
            // Rectangles only on the reference walk: they do not move the
            // current record, which the walk itself shows.
            if (keepWhole) {
                w.whole.emplace_back(buffer.bytes.get(), buffer.bytes.get() + r.length);
                if (step < kMaxRectangles) {
                    if (r.status == kOk) RectangleOfWhole(s.position, w.whole.back());
                    ShiftedRectangle(s.position);
                }
            }
            if (reference != nullptr) Compare(*reference, w, step);
        }
        if (reference != nullptr) {
            // Where the walk stops cannot depend on the buffer or the entry.
            FUZZ_ASSERT(w.steps.size() == reference->steps.size());
            FUZZ_ASSERT(w.finalStatus == reference->finalStatus);
        }
        return w;
    }

    // Shortens the first records to half their length, as /T does, and
    // reads them back.
    void Shorten(const Walk& reference) {
        Buffer buffer(kLargeBuffer);
        uint16_t op = localengine::kOpStepFirst;
        for (size_t i = 0; i < reference.whole.size() && i < 8; ++i, op = localengine::kOpStepNext) {
            if (reference.steps[i].status != kOk) return;
            Reply r = Call({op, Entry::Extended, pos_, &buffer, kLargeBuffer});
            FUZZ_ASSERT(r.status == kOk && r.length == reference.whole[i].size());
            uint32_t shorter = r.length / 2;
            Reply u = Call({localengine::kOpUpdate, Entry::Extended, pos_, &buffer, shorter});
            FUZZ_ASSERT(u.status == kOk);
        }
        op = localengine::kOpStepFirst;
        for (size_t i = 0; i < reference.whole.size() && i < 8; ++i, op = localengine::kOpStepNext) {
            if (reference.steps[i].status != kOk) return;
            Reply r = Call({op, Entry::Extended, pos_, &buffer, kLargeBuffer});
            const std::vector<unsigned char>& before = reference.whole[i];
            FUZZ_ASSERT(r.status == kOk && r.length == before.size() / 2);
            FUZZ_ASSERT(std::equal(before.begin(), before.begin() + r.length, buffer.bytes.get()));
        }
    }

    void GarbageBlock(const uint8_t* bytes, size_t size) {
        unsigned char block[localengine::kPosBlockSize] = {};
        if (size > 0) memcpy(block, bytes, std::min<size_t>(size, sizeof block));
        Buffer buffer(100);
        for (uint16_t op : {localengine::kOpStepFirst, localengine::kOpStepNext, localengine::kOpGetPosition,
                            localengine::kOpCheck}) {
            Reply r = Call({op, Entry::Extended, block, &buffer, buffer.size});
            if (r.status != kOk && r.status != kBufferTooShort) FUZZ_ASSERT(r.length == 0);
        }
    }

private:
    uint32_t ChunkSize() const {
        if (c_.flags & kFlagSmallChunkBuffer) return kDescriptorSize;
        return kProgramRows;
    }

    uint32_t CurrentPosition(Entry entry) {
        Buffer tooShort(3);
        Reply r = Call({localengine::kOpGetPosition, entry, pos_, &tooShort, 3});
        FUZZ_ASSERT(r.status != kOk);
        Buffer four(4);
        r = Call({localengine::kOpGetPosition, entry, pos_, &four, 4});
        FUZZ_ASSERT(r.status == kOk && r.length == 4);
        return Get32(four.bytes.get());
    }

    Control Descriptor() const {
        Control d = c_;
        if (c_.flags & kFlagProgramRectangle) {
            d.rows = kProgramRows;
            d.firstOffset = 0;
            d.bytesPerRow = 1;
            d.distance = c_.distance % 65536 + 1;
        }
        return d;
    }

    Reply Rectangle(uint32_t position, const Control& d) {
        unsigned char* p = chunk_.bytes.get();
        Put32(p, position);
        Put32(p + 4, localengine::kRectangleSubfunction);
        Put32(p + 8, d.rows);
        Put32(p + 12, d.firstOffset);
        Put32(p + 16, d.bytesPerRow);
        Put32(p + 20, d.distance);
        Put32(p + 24, 0x55AA55AAu);
        Put32(p + 28, 0);
        Entry entry = (c_.flags & kFlagStandardChunk) ? Entry::Standard : Entry::Extended;
        return Call({localengine::kOpGetDirectChunk, entry, pos_, &chunk_, chunk_.size, nullptr, -2});
    }

    void RectangleOfWhole(uint32_t position, const std::vector<unsigned char>& record) {
        Control d = Descriptor();
        Reply r = Rectangle(position, d);
        CheckRectangle(d, chunk_.size, record, r, chunk_.bytes.get());
    }

    // A rectangle at a position that may start no record at all.
    void ShiftedRectangle(uint32_t position) {
        Reply r = Rectangle(position + static_cast<uint32_t>(c_.positionShift), Descriptor());
        if (r.status != kOk && r.status != kBufferTooShort && r.status != kChunkPastEnd)
            FUZZ_ASSERT(r.length == 0);
    }

    static void Compare(const Walk& reference, const Walk& w, int step) {
        size_t i = static_cast<size_t>(step);
        FUZZ_ASSERT(i < reference.steps.size());
        FUZZ_ASSERT(w.steps[i].position == reference.steps[i].position);
        const std::vector<unsigned char>& a = reference.prefixes[i];
        const std::vector<unsigned char>& b = w.prefixes[i];
        size_t n = std::min(a.size(), b.size());
        FUZZ_ASSERT(std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin()));
    }

    const Control& c_;
    std::string path_;
    unsigned char pos_[localengine::kPosBlockSize] = {};
    Buffer chunk_;
};

// The data file and its journal, in a folder of their own on tmpfs where
// there is one; the engine opens the file by its path as any caller does.
class ScratchFiles {
public:
    ScratchFiles() {
        // TMPDIR first: scripts/fuzz.sh points it at a folder it removes,
        // so a crash leaves nothing behind.
        const char* tmpdir = getenv("TMPDIR");
        std::string folder = tmpdir != nullptr && *tmpdir != '\0' ? tmpdir
                             : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        folder += "/fuzz_engine_reader.XXXXXX";
        if (mkdtemp(folder.data()) == nullptr) __builtin_trap();
        path_ = folder + "/data.dat";
        journal_ = path_ + ".lej";
        folder_ = folder;
    }
    ~ScratchFiles() {
        Remove();
        rmdir(folder_.c_str());
    }
    void Write(const std::string& file, const std::string& journal) {
        Remove();
        WriteWhole(path_, file);
        if (!journal.empty()) WriteWhole(journal_, journal);
    }
    void Remove() {
        unlink(path_.c_str());
        unlink(journal_.c_str());
    }
    const std::string& path() const { return path_; }

private:
    static void WriteWhole(const std::string& path, const std::string& bytes) {
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0) __builtin_trap();
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) __builtin_trap();
            done += static_cast<size_t>(n);
        }
        close(fd);
    }
    std::string folder_, path_, journal_;
};

ScratchFiles& Scratch() {
    static ScratchFiles files;
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SilenceProgramOutput();
    Scratch();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kControlFixed) return -1;
    Control c{Get32(data), Get32(data + 4), Get32(data + 8), Get32(data + 12),
              static_cast<int32_t>(Get32(data + 16)), data[20], {}};
    size_t ownerLen = std::min<size_t>(data[21] % kOwnerLenLimit, size - kControlFixed);
    c.owner.assign(reinterpret_cast<const char*>(data + kControlFixed), ownerLen);
    const uint8_t* rest = data + kControlFixed + ownerLen;
    const size_t restSize = size - kControlFixed - ownerLen;

    GeneratedEngineFile made;
    if (c.flags & kFlagSynthesize) {
        made = GenerateEngineFile(rest, restSize, c.owner);
    } else {
        made.file.assign(reinterpret_cast<const char*>(rest), restSize);
        made.sound = false;  // nothing is known of it
    }
    Scratch().Write(made.file, made.journal);
    {
        Session s(c, Scratch().path());
        int open = s.Open();
        if (made.sound) FUZZ_ASSERT(open == kOk);
        if (open == kOk) {
            int check = s.Check();
            Walk reference = s.Run(Entry::Extended, kLargeBuffer, true, nullptr);
            // A file the engine calls sound walks to its end.
            if (check == kOk) FUZZ_ASSERT(reference.finalStatus == kEndOfFile);
            // A file made sound reads back exactly as it was made.
            if (made.sound) {
                FUZZ_ASSERT(check == kOk);
                FUZZ_ASSERT(reference.whole.size() == made.records.size());
                for (size_t i = 0; i < made.records.size(); ++i) {
                    FUZZ_ASSERT(reference.steps[i].status == kOk);
                    FUZZ_ASSERT(reference.whole[i].size() == made.records[i].size());
                    FUZZ_ASSERT(made.records[i].empty() ||
                                memcmp(made.records[i].data(), reference.whole[i].data(), made.records[i].size()) == 0);
                }
            }
            for (Entry entry : {Entry::Extended, Entry::Standard}) {
                for (uint32_t bufferSize : {7u, 100u, kLargeBuffer}) {
                    if (entry == Entry::Extended && bufferSize == kLargeBuffer) continue;
                    s.Run(entry, bufferSize, false, &reference);
                }
            }
            if ((c.flags & kFlagShorten) && check == kOk) {
                s.Shorten(reference);
                FUZZ_ASSERT(s.Check() == kOk);
            }
            s.GarbageBlock(reinterpret_cast<const uint8_t*>(made.file.data()), made.file.size());
            s.Close();
        }
    }
    uint32_t none = 0;
    unsigned char block[localengine::kPosBlockSize] = {};
    FUZZ_ASSERT(BTRVEX(localengine::kOpReset, block, nullptr, &none, nullptr, 0, 0) == kOk);
    Scratch().Remove();
    return 0;
}

// The read window: one stretch of an open file, from which record headers
// and data are checksummed and copied, so that a Step costs a system call
// only when it leaves the stretch. While the caller works through it, a
// reader thread brings in the stretches that follow, a few ahead, so reading
// and checksumming overlap and neither waits for the other at each hand-over;
// a scan that walks on finds its next stretch ready. Writes the engine makes
// are copied into every stretch held, so none ever shows stale bytes.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "file_io.h"

namespace localengine {

class ReadWindow {
public:
    // `readAhead`: bring in the next stretches on a thread of its own.
    ReadWindow(size_t size, bool readAhead) : size_(size), readAhead_(readAhead) {}
    ~ReadWindow() { release(); }
    ReadWindow(const ReadWindow&) = delete;
    ReadWindow& operator=(const ReadWindow&) = delete;

    size_t size() const { return size_; }

    // Bytes [offset, offset + n) of `file`, whose records end at `end`,
    // valid until the next call. Null when n is larger than a stretch or
    // the bytes cannot be read; failed() then tells whether the system
    // refused the read (rather than the file being shorter). Once the system
    // refuses a stretch, requests within it read only their own bytes, so a
    // bad spot hides nothing that lies before it.
    const unsigned char* view(const File& file, uint64_t end, uint64_t offset, size_t n);
    bool failed() const { return failed_; }

    // `n` bytes from `src` were written at `offset`: the window takes them
    // where the two overlap.
    void wrote(uint64_t offset, const void* src, size_t n);

    // The window holds nothing until the next view.
    void forget();
    // Stops the reader and gives the memory back (before the file closes).
    // Once the process is ending it waits for nothing and leaves the reader
    // be (the owner is then never destroyed).
    void release();
    // In a forked child, where the reader thread does not exist (and its
    // lock may have been held at the fork): lets go of it without a wait.
    void forsake();

private:
    // A stretch in a buffer of a stretch's size and a quarter in front:
    // reads fill the stretch's part, so the tail of the stretch before can go
    // in front when a record runs across the two.
    struct Stretch {
        std::vector<unsigned char> bytes;
        unsigned char* data = nullptr;
        uint64_t start = 0;
        size_t length = 0;
        size_t want = 0;  // bytes the reader is to read at `start`
        bool ok = false;  // the read gave at least one byte
    };

    // Stretches read ahead besides the current one. With one, the reader
    // waited at every hand-over for the scan to take its stretch and ask for
    // the next; two let it read on, and three were no faster but took another
    // buffer (bench/README.md, "Measured choices": two stretches read ahead).
    static constexpr size_t kAhead = 2;

    bool takeAhead(uint64_t offset, size_t n);
    void makeCurrent();
    const unsigned char* readOnlyThese(const File& file, uint64_t offset, size_t n);
    bool startReader();
    void askAhead(const File& file, uint64_t end);
    void dropAhead();
    void readerLoop();

    const size_t size_;
    const size_t front_ = size_ / 4;
    const bool readAhead_;
    Stretch current_;  // the caller's alone
    bool failed_ = false;
    bool noReader_ = false;  // its thread could not start: everything is read in place
    // The stretch the system last refused to read, [refusedFrom_, refusedTo_).
    uint64_t refusedFrom_ = 0;
    uint64_t refusedTo_ = 0;

    // The stretches that follow the current one, in file order from
    // ring_[head_]: `queued_` asked for, the first `filled_` of them read.
    // The reader reads ring_[(head_ + filled_) % kAhead] with the lock let
    // go, and touches nothing else; everything here changes under the lock.
    Stretch ring_[kAhead];
    size_t head_ = 0;
    size_t queued_ = 0;
    size_t filled_ = 0;
    bool reading_ = false;
    uint64_t nextFrom_ = 0;  // where the next stretch asked for begins
    const File* file_ = nullptr;

    std::thread reader_;
    std::thread* forsaken_ = nullptr;  // a forked child's handle of its parent's reader
    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable done_;
    bool stop_ = false;
};

}  // namespace localengine

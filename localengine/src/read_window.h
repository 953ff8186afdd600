// The read window: one stretch of an open file, from which record headers
// and data are checksummed and copied, so that a Step costs a system call
// only when it leaves the window. While the caller works through it, a
// reader thread brings in the stretch that follows, so reading and
// checksumming overlap; a scan that walks on finds its next window ready.
// Writes the engine makes are copied into both stretches, so neither ever
// shows stale bytes.
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
    // `readAhead`: bring in the next stretch on a thread of its own.
    ReadWindow(size_t size, bool readAhead) : size_(size), readAhead_(readAhead) {}
    ~ReadWindow() { release(); }
    ReadWindow(const ReadWindow&) = delete;
    ReadWindow& operator=(const ReadWindow&) = delete;

    size_t size() const { return size_; }

    // Bytes [offset, offset + n) of `file`, whose records end at `end`,
    // valid until the next call. Null when n is larger than the window or
    // the bytes cannot be read.
    const unsigned char* view(const File& file, uint64_t end, uint64_t offset, size_t n);

    // `n` bytes from `src` were written at `offset`: the window takes them
    // where the two overlap.
    void wrote(uint64_t offset, const void* src, size_t n);

    // The window holds nothing until the next view.
    void forget();
    // Stops the reader and gives the memory back (before the file closes).
    void release();

private:
    // A stretch in a buffer of the window's size and a quarter in front:
    // reads fill the window's part, so the tail of the stretch before can go
    // in front when a record runs across the two.
    struct Stretch {
        std::vector<unsigned char> bytes;
        unsigned char* data = nullptr;
        uint64_t start = 0;
        size_t length = 0;
    };

    bool takeAhead(uint64_t offset, size_t n);
    void startAhead(const File& file, uint64_t end);
    void waitAhead();
    void readerLoop();

    const size_t size_;
    const size_t front_ = size_ / 4;
    const bool readAhead_;
    Stretch current_;

    // The stretch being read, or read, ahead; owned by the reader while a
    // read is in flight (requested_ != served_).
    Stretch ahead_;
    bool aheadValid_ = false;  // a read was asked for and its result not yet taken
    bool aheadOk_ = false;
    const File* aheadFile_ = nullptr;
    size_t aheadWant_ = 0;

    std::thread reader_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable done_;
    uint64_t requested_ = 0;
    uint64_t served_ = 0;
    bool stop_ = false;
};

}  // namespace localengine

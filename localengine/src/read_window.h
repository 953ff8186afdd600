// The read window: one stretch of an open file, brought in by one read, from
// which record headers and data are checksummed and copied. A Step costs a
// system call only when it leaves the window. Writes the engine makes over
// the stretch are copied into it, so it never shows stale bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "file_io.h"

namespace localengine {

class ReadWindow {
public:
    explicit ReadWindow(size_t size) : size_(size) {}

    size_t size() const { return size_; }

    // Bytes [offset, offset + n) of `file`, whose records end at `end`; the
    // window is refilled from `offset` when they are not in it. Null when n
    // is larger than the window or the bytes cannot be read.
    const unsigned char* view(const File& file, uint64_t end, uint64_t offset, size_t n);

    // `n` bytes from `src` were written at `offset`: the window takes them
    // where the two overlap.
    void wrote(uint64_t offset, const void* src, size_t n);

    // The window holds nothing until the next view.
    void forget() { length_ = 0; }
    // Gives the window's memory back (at Close).
    void release();

private:
    size_t size_;
    std::vector<unsigned char> bytes_;
    uint64_t start_ = 0;
    size_t length_ = 0;
};

}  // namespace localengine

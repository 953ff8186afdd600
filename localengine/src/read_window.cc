#include "read_window.h"

#include <algorithm>
#include <cstring>

namespace localengine {

const unsigned char* ReadWindow::view(const File& file, uint64_t end, uint64_t offset, size_t n) {
    if (offset >= start_ && offset + n <= start_ + length_) return bytes_.data() + (offset - start_);
    if (n > size_ || offset + n > end) return nullptr;
    if (bytes_.size() != size_) bytes_.resize(size_);
    size_t want = static_cast<size_t>(std::min<uint64_t>(size_, end - offset));
    size_t got = 0;
    length_ = 0;
    if (!file.readAt(offset, bytes_.data(), want, &got) || got < n) return nullptr;
    start_ = offset;
    length_ = got;
    return bytes_.data();
}

void ReadWindow::wrote(uint64_t offset, const void* src, size_t n) {
    uint64_t lo = std::max(offset, start_);
    uint64_t hi = std::min(offset + n, start_ + length_);
    if (lo < hi)
        std::memcpy(bytes_.data() + (lo - start_), static_cast<const unsigned char*>(src) + (lo - offset),
                    static_cast<size_t>(hi - lo));
}

void ReadWindow::release() {
    bytes_.clear();
    bytes_.shrink_to_fit();
    length_ = 0;
}

}  // namespace localengine

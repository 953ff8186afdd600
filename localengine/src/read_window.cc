#include "read_window.h"

#include <algorithm>
#include <cstring>

namespace localengine {
namespace {

// Copies into `to` the bytes of [offset, offset + n) that fall within it.
void patch(uint64_t start, size_t length, unsigned char* to, uint64_t offset, const void* src, size_t n) {
    uint64_t lo = std::max(offset, start);
    uint64_t hi = std::min(offset + n, start + length);
    if (lo < hi)
        std::memcpy(to + (lo - start), static_cast<const unsigned char*>(src) + (lo - offset),
                    static_cast<size_t>(hi - lo));
}

}  // namespace

const unsigned char* ReadWindow::view(const File& file, uint64_t end, uint64_t offset, size_t n) {
    if (offset >= current_.start && offset + n <= current_.start + current_.length)
        return current_.data + (offset - current_.start);
    if (n > size_ || offset + n > end) return nullptr;
    if (takeAhead(offset, n)) {
        startAhead(file, end);
        return current_.data + (offset - current_.start);
    }
    // Not where the scan was heading: read it here and now.
    if (current_.bytes.size() != front_ + size_) current_.bytes.resize(front_ + size_);
    size_t want = static_cast<size_t>(std::min<uint64_t>(size_, end - offset));
    size_t got = 0;
    current_.length = 0;
    current_.data = current_.bytes.data() + front_;
    if (!file.readAt(offset, current_.data, want, &got) || got < n) return nullptr;
    current_.start = offset;
    current_.length = got;
    startAhead(file, end);
    return current_.data;
}

// Makes the stretch read ahead the current one when it holds the bytes
// asked for, with the tail of the current stretch in front of it when the
// bytes begin there. False, with nothing changed but the ahead stretch
// dropped, when it does not serve.
bool ReadWindow::takeAhead(uint64_t offset, size_t n) {
    if (!aheadValid_) return false;
    waitAhead();
    aheadValid_ = false;
    if (!aheadOk_) return false;
    const uint64_t currentEnd = current_.start + current_.length;
    const uint64_t aheadEnd = ahead_.start + ahead_.length;
    if (offset >= ahead_.start && offset + n <= aheadEnd) {
        ahead_.data = ahead_.bytes.data() + front_;
    } else if (ahead_.start == currentEnd && offset >= current_.start && offset < currentEnd &&
               offset + n <= aheadEnd && currentEnd - offset <= front_) {
        // A record that runs across the two: its first part goes in front.
        size_t tail = static_cast<size_t>(currentEnd - offset);
        ahead_.data = ahead_.bytes.data() + front_ - tail;
        std::memcpy(ahead_.data, current_.data + (offset - current_.start), tail);
        ahead_.start = offset;
        ahead_.length += tail;
    } else {
        return false;
    }
    std::swap(current_, ahead_);
    return true;
}

void ReadWindow::startAhead(const File& file, uint64_t end) {
    if (!readAhead_) return;
    const uint64_t from = current_.start + current_.length;
    if (from >= end) return;
    if (ahead_.bytes.size() != front_ + size_) ahead_.bytes.resize(front_ + size_);
    ahead_.start = from;
    ahead_.length = 0;
    aheadFile_ = &file;
    aheadWant_ = static_cast<size_t>(std::min<uint64_t>(size_, end - from));
    aheadValid_ = true;
    {
        std::lock_guard<std::mutex> hold(lock_);
        ++requested_;
    }
    if (!reader_.joinable()) {
        SignalsBlocked quiet;  // the reader never runs the program's signal handlers
        reader_ = std::thread(&ReadWindow::readerLoop, this);
    }
    wake_.notify_one();
}

void ReadWindow::waitAhead() {
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [this] { return served_ == requested_; });
}

void ReadWindow::readerLoop() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [this] { return stop_ || served_ != requested_; });
        if (stop_) return;
        const uint64_t serving = requested_;
        hold.unlock();
        // The ahead stretch is the reader's alone until it is served.
        size_t got = 0;
        bool ok = aheadFile_->readAt(ahead_.start, ahead_.bytes.data() + front_, aheadWant_, &got) && got > 0;
        ahead_.length = ok ? got : 0;
        aheadOk_ = ok;
        hold.lock();
        served_ = serving;
        done_.notify_one();
    }
}

void ReadWindow::wrote(uint64_t offset, const void* src, size_t n) {
    waitAhead();
    if (current_.length > 0)
        patch(current_.start, current_.length, current_.data, offset, src, n);
    if (aheadValid_ && aheadOk_) patch(ahead_.start, ahead_.length, ahead_.bytes.data() + front_, offset, src, n);
}

void ReadWindow::forget() {
    waitAhead();
    aheadValid_ = false;
    current_.length = 0;
}

void ReadWindow::release() {
    if (reader_.joinable()) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stop_ = true;
        }
        wake_.notify_one();
        reader_.join();
        stop_ = false;
        served_ = requested_;
    }
    aheadValid_ = false;
    current_ = Stretch{};
    ahead_ = Stretch{};
}

}  // namespace localengine

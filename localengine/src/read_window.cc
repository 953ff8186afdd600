#include "read_window.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

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
    failed_ = false;
    if (offset >= current_.start && offset + n <= current_.start + current_.length)
        return current_.data + (offset - current_.start);
    if (n > size_ || offset + n > end) return nullptr;
    if (offset >= refusedFrom_ && offset < refusedTo_) return readOnlyThese(file, offset, n);
    if (takeAhead(offset, n)) {
        askAhead(file, end);
        return current_.data + (offset - current_.start);
    }
    // Not where the scan was heading: read it here and now.
    dropAhead();
    makeCurrent();
    size_t want = static_cast<size_t>(std::min<uint64_t>(size_, end - offset));
    size_t got = 0;
    if (!file.readAt(offset, current_.data, want, &got)) {
        // Some byte of the stretch is unreadable, but not necessarily these:
        // within it, each request reads just its own bytes from now on.
        refusedFrom_ = offset;
        refusedTo_ = offset + want;
        return readOnlyThese(file, offset, n);
    }
    if (got < n) return nullptr;
    current_.start = offset;
    current_.length = got;
    askAhead(file, end);
    return current_.data;
}

// The current stretch, emptied, in a buffer of its full size.
void ReadWindow::makeCurrent() {
    if (current_.bytes.size() != front_ + size_) current_.bytes.resize(front_ + size_);
    current_.length = 0;
    current_.data = current_.bytes.data() + front_;
}

// Bytes [offset, offset + n) alone, read in place as the current stretch,
// with nothing asked ahead: the stretch they lie in was refused.
const unsigned char* ReadWindow::readOnlyThese(const File& file, uint64_t offset, size_t n) {
    makeCurrent();
    if (!file.readExact(offset, current_.data, n, &failed_)) return nullptr;
    current_.start = offset;
    current_.length = n;
    return current_.data;
}

// Makes the first stretch read ahead the current one when it holds the
// bytes asked for, with the tail of the current stretch in front of it when
// the bytes begin there. False, with nothing changed, when it does not
// serve (the caller then drops the stretches ahead).
bool ReadWindow::takeAhead(uint64_t offset, size_t n) {
    std::unique_lock<std::mutex> hold(lock_);
    if (queued_ == 0) return false;
    done_.wait(hold, [this] { return filled_ > 0; });
    Stretch& next = ring_[head_];
    if (!next.ok) return false;
    const uint64_t currentEnd = current_.start + current_.length;
    const uint64_t nextEnd = next.start + next.length;
    if (offset >= next.start && offset + n <= nextEnd) {
        next.data = next.bytes.data() + front_;
    } else if (next.start == currentEnd && offset >= current_.start && offset < currentEnd &&
               offset + n <= nextEnd && currentEnd - offset <= front_) {
        // A record that runs across the two: its first part goes in front.
        size_t tail = static_cast<size_t>(currentEnd - offset);
        next.data = next.bytes.data() + front_ - tail;
        std::memcpy(next.data, current_.data + (offset - current_.start), tail);
        next.start = offset;
        next.length += tail;
    } else {
        return false;
    }
    // The old current stretch takes the freed place at the ring's end.
    std::swap(current_, next);
    head_ = (head_ + 1) % kAhead;
    --queued_;
    --filled_;
    return true;
}

// Asks for the stretches that follow, up to kAhead of them and not past
// `end`, and starts the reader the first time there is one to read: a file
// that fits in the current stretch never has a thread. (A thread left
// waiting when the process ends, as after a Close the engine refused, can
// make wine's own end of the process crash.) The buffers are made and the
// thread started before anything is counted as asked for: when either
// fails, nothing waits for a stretch no one reads, and the scan reads in
// place.
void ReadWindow::askAhead(const File& file, uint64_t end) {
    if (!readAhead_ || noReader_) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (queued_ == 0) nextFrom_ = current_.start + current_.length;
        if (queued_ == kAhead || nextFrom_ >= end) return;
    }
    if (!startReader()) return;
    {
        std::lock_guard<std::mutex> hold(lock_);
        try {
            for (size_t i = queued_; i < kAhead; ++i) {
                Stretch& s = ring_[(head_ + i) % kAhead];
                if (s.bytes.size() != front_ + size_) s.bytes.resize(front_ + size_);
            }
        } catch (const std::bad_alloc&) {
            return;
        }
        file_ = &file;
        for (; queued_ < kAhead && nextFrom_ < end; ++queued_) {
            Stretch& s = ring_[(head_ + queued_) % kAhead];
            s.start = nextFrom_;
            s.length = 0;
            s.want = static_cast<size_t>(std::min<uint64_t>(size_, end - nextFrom_));
            s.ok = false;
            nextFrom_ += s.want;
        }
    }
    wake_.notify_one();
}

// False when the reader's thread would not start (std::system_error, or no
// memory for it).
bool ReadWindow::startReader() {
    if (reader_.joinable()) return true;
    try {
        keepLoaded();
        SignalsBlocked quiet;  // the reader never runs the program's signal handlers
        reader_ = std::thread(&ReadWindow::readerLoop, this);
        return true;
    } catch (const std::exception&) {  // std::system_error, std::bad_alloc
        noReader_ = true;
        return false;
    }
}

// Forgets the stretches ahead, once no read is in flight.
void ReadWindow::dropAhead() {
    if (processEnding()) return;  // no stretch is taken any more
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [this] { return !reading_; });
    queued_ = 0;
    filled_ = 0;
}

void ReadWindow::readerLoop() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [this] { return stop_ || filled_ < queued_; });
        if (stop_) return;
        Stretch& s = ring_[(head_ + filled_) % kAhead];
        const File* file = file_;
        reading_ = true;
        hold.unlock();
        // This stretch is the reader's alone while reading_ is set.
        size_t got = 0;
        bool ok = file->readAt(s.start, s.bytes.data() + front_, s.want, &got) && got > 0;
        hold.lock();
        s.length = ok ? got : 0;
        s.ok = ok;
        reading_ = false;
        ++filled_;
        done_.notify_one();
    }
}

void ReadWindow::wrote(uint64_t offset, const void* src, size_t n) {
    if (current_.length > 0) patch(current_.start, current_.length, current_.data, offset, src, n);
    // A read in flight may have fetched the bytes from before the write;
    // one that starts later fetches them from after it. (At the process's
    // end nothing reads on, and the reader may have died mid-read.)
    if (processEnding()) return;
    std::unique_lock<std::mutex> hold(lock_);
    done_.wait(hold, [this] { return !reading_; });
    for (size_t i = 0; i < filled_; ++i) {
        Stretch& s = ring_[(head_ + i) % kAhead];
        if (s.ok) patch(s.start, s.length, s.bytes.data() + front_, offset, src, n);
    }
}

void ReadWindow::forget() {
    dropAhead();
    current_.length = 0;
    refusedTo_ = 0;
}

void ReadWindow::forsake() {
    // Neither joined nor detached (there is no such thread here): the handle
    // is moved out and kept, so nothing ever waits for it or ends on it.
    if (reader_.joinable()) forsaken_ = new std::thread(std::move(reader_));
    queued_ = 0;
    filled_ = 0;
}

void ReadWindow::release() {
    if (processEnding()) return;
    if (reader_.joinable()) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stop_ = true;
        }
        wake_.notify_one();
        reader_.join();
        stop_ = false;
    }
    queued_ = 0;
    filled_ = 0;
    head_ = 0;
    refusedTo_ = 0;
    current_ = Stretch{};
    for (Stretch& s : ring_) s = Stretch{};
}

}  // namespace localengine

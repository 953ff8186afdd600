// Positioned reads and writes with 64-bit offsets on an exclusively locked
// file; reads and writes may come from two threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace localengine {

// How much one read brings in: enough that a read call's cost, and the
// hand-over between the read window's reader thread and the engine, are
// spread over a thousand records or more. With reading and checksumming on
// two threads the bytes no longer stay in one processor's cache anyway, and
// 2 MiB measured faster than 512 KiB, 1 MiB and 4 MiB.
constexpr size_t kReadSize = 2048 * 1024;

// While one lives, the calling thread blocks every signal (POSIX), so a
// thread started meanwhile begins with them all blocked: the engine's own
// threads never take a signal the program expects to handle on its thread
// (a terminal's stop and continue, say), where it blocks them as it needs.
class SignalsBlocked {
public:
    SignalsBlocked();
    ~SignalsBlocked();
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

private:
    unsigned char saved_[128];  // the thread's signal mask before
};

class File {
public:
    enum class Result { Ok, NotFound, InUse, Exists, Failed };

    File() = default;
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Makes a new file (never replaces one) and opens it for writing.
    Result create(const std::string& path);
    // Opens an existing regular file for reading and writing (reading only
    // when writing is refused) and locks it against every other opener.
    Result open(const std::string& path);
    void close();

    bool isOpen() const;
    bool readOnly() const { return readOnly_; }

    // Reads up to n bytes at `offset`; *got < n only at the end of the file.
    bool readAt(uint64_t offset, void* buf, size_t n, size_t* got) const;
    // Reads exactly n bytes; false on an error or a short file.
    bool readExact(uint64_t offset, void* buf, size_t n) const;
    bool writeAt(uint64_t offset, const void* buf, size_t n);
    bool size(uint64_t* out) const;
    bool truncate(uint64_t size);
    bool sync();

    static bool exists(const std::string& path);
    static bool remove(const std::string& path);

private:
    intptr_t handle_ = -1;
    bool readOnly_ = false;
    // Where a read or write is a seek and then the call (Windows), the two
    // go together: the read window's reader thread reads beside the engine.
    mutable std::mutex positionLock_;
};

}  // namespace localengine

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
// 2 MiB measured faster than smaller and larger reads (bench/README.md,
// "Measured choices": read size).
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

class File;

// A stand-in for the disk beneath every File, for the engine's own tests:
// each read, write, truncate, sync, create and remove asks it first, and
// fails with the error it answers (an errno value; 0 lets the call go on).
// An error for OpenToWrite opens the file for reading only, as a file the
// system lets us only read.
class DiskHooks {
public:
    enum class Op { Read, Write, Truncate, Sync, Create, Remove, OpenToWrite };
    virtual ~DiskHooks() = default;
    virtual int before(Op op, const std::string& path, uint64_t offset, const void* data, size_t n) = 0;
};
// Null: the system alone (the only setting outside tests).
void setDiskHooks(DiskHooks* hooks);

// The calling process's id: a file opened by another one (before a fork)
// is not this process's to use.
uint64_t currentProcess();
// Keeps the engine's library loaded until the process ends: a thread of
// its own is running, and unloading the code under it would deadlock or
// crash. (Nothing to do where the library is not unloaded under a thread.)
void keepLoaded();
// True once the process is ending (the library is being detached from a
// process that exits): the engine's own threads may be gone already, so
// nothing may wait for them.
bool processEnding();
void setProcessEnding();

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
    const std::string& path() const { return path_; }

    // Reads up to n bytes at `offset`; *got < n only at the end of the file.
    bool readAt(uint64_t offset, void* buf, size_t n, size_t* got) const;
    // Reads exactly n bytes; false on an error or a short file (*failed
    // tells the two apart when given: set when the system refused).
    bool readExact(uint64_t offset, void* buf, size_t n, bool* failed = nullptr) const;
    bool writeAt(uint64_t offset, const void* buf, size_t n);
    bool size(uint64_t* out) const;
    bool truncate(uint64_t size);
    bool sync();

    // Makes the creation of the file at `path` survive a power cut.
    static bool syncFolderOf(const std::string& path);
    static bool exists(const std::string& path);
    static bool remove(const std::string& path);

private:
    Result sysCreate(const std::string& path);
    Result sysOpen(const std::string& path, bool mayWrite);
    bool sysReadAt(uint64_t offset, void* buf, size_t n, size_t* got) const;
    bool sysWriteAt(uint64_t offset, const void* buf, size_t n);
    bool sysTruncate(uint64_t size);
    bool sysSync();
    static bool sysRemove(const std::string& path);

    intptr_t handle_ = -1;
    std::string path_;
    bool readOnly_ = false;
    // Where a read or write is a seek and then the call (Windows), the two
    // go together: the read window's reader thread reads beside the engine.
    mutable std::mutex positionLock_;
};

}  // namespace localengine

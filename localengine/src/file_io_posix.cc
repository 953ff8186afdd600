#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "file_io.h"

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

namespace localengine {
namespace {

File::Result lockOrFail(int fd) {
    // flock locks belong to the open file description, so closing some other
    // descriptor of the same file elsewhere in the process does not drop them,
    // and a second open of the file, in this process or another, is refused.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return File::Result::Ok;
    return errno == EWOULDBLOCK ? File::Result::InUse : File::Result::Failed;
}

// Descriptors 0, 1 and 2 are standard input, output and error, even when a
// program started with one of them closed: a data file or journal kept
// there would receive whatever the program writes to that stream. Moves
// such a descriptor to 3 or above; -1 when that fails.
int aboveStandardStreams(int fd) {
    if (fd < 0 || fd > 2) return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int saved = errno;
    ::close(fd);
    errno = saved;
    return moved;
}

// Runs a pread or pwrite until n bytes have moved, the file ends or it fails.
template <typename Io>
bool repeat(size_t n, size_t* done, Io io) {
    *done = 0;
    while (*done < n) {
        ssize_t r = io(*done);
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (r == 0) break;
        *done += static_cast<size_t>(r);
    }
    return true;
}

}  // namespace

static_assert(sizeof(sigset_t) <= 128, "a signal mask fits SignalsBlocked");

SignalsBlocked::SignalsBlocked() {
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    std::memcpy(saved_, &before, sizeof before);
}

SignalsBlocked::~SignalsBlocked() {
    sigset_t before;
    std::memcpy(&before, saved_, sizeof before);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

namespace {
// The process id, asked of the system once and again in each forked child:
// a getpid per request was a large part of a scan's time (bench/README.md,
// "Measured choices": the process id asked once).
std::atomic<uint64_t> cachedProcess{0};
void forked() { cachedProcess.store(static_cast<uint64_t>(getpid()), std::memory_order_relaxed); }
}  // namespace

uint64_t currentProcess() {
    static const bool watched = pthread_atfork(nullptr, nullptr, forked) == 0;
    uint64_t p = cachedProcess.load(std::memory_order_relaxed);
    if (p == 0 || !watched) {
        p = static_cast<uint64_t>(getpid());
        cachedProcess.store(p, std::memory_order_relaxed);
    }
    return p;
}

// A shared library here is unloaded only by dlclose, which waits for nothing.
void keepLoaded() {}

bool File::isOpen() const { return handle_ >= 0; }

File::Result File::sysCreate(const std::string& path) {
    int fd = aboveStandardStreams(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (fd < 0) {
        if (errno == EEXIST) return Result::Exists;
        return errno == ENOENT || errno == ENOTDIR ? Result::NotFound : Result::Failed;
    }
    handle_ = fd;
    readOnly_ = false;
    Result r = lockOrFail(fd);
    if (r != Result::Ok) close();
    return r;
}

File::Result File::sysOpen(const std::string& path, bool mayWrite) {
    bool ro = false;
    int fd = mayWrite ? aboveStandardStreams(::open(path.c_str(), O_RDWR | O_CLOEXEC)) : -1;
    if (fd < 0 && (!mayWrite || errno == EACCES || errno == EROFS || errno == EISDIR)) {
        fd = aboveStandardStreams(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        ro = true;
    }
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? Result::NotFound : Result::Failed;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Result::NotFound;
    }
    Result r = lockOrFail(fd);
    if (r != Result::Ok) {
        ::close(fd);
        return r;
    }
    handle_ = fd;
    readOnly_ = ro;
    return Result::Ok;
}

void File::close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));  // also drops the lock
    handle_ = -1;
}

bool File::sysReadAt(uint64_t offset, void* buf, size_t n, size_t* got) const {
    auto* p = static_cast<char*>(buf);
    int fd = static_cast<int>(handle_);
    return repeat(n, got, [&](size_t d) { return ::pread(fd, p + d, n - d, static_cast<off_t>(offset + d)); });
}

bool File::sysWriteAt(uint64_t offset, const void* buf, size_t n) {
    const auto* p = static_cast<const char*>(buf);
    int fd = static_cast<int>(handle_);
    size_t done = 0;
    return repeat(n, &done, [&](size_t d) { return ::pwrite(fd, p + d, n - d, static_cast<off_t>(offset + d)); }) &&
           done == n;
}

bool File::size(uint64_t* out) const {
    struct stat st {};
    if (fstat(static_cast<int>(handle_), &st) != 0) return false;
    *out = static_cast<uint64_t>(st.st_size);
    return true;
}

bool File::sysTruncate(uint64_t size) { return ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) == 0; }

bool File::sysSync() { return fsync(static_cast<int>(handle_)) == 0; }

bool File::syncFolderOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync a folder
    ::close(fd);
    return ok;
}

bool File::exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool File::sysRemove(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

}  // namespace localengine

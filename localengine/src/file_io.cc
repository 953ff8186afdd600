#include "file_io.h"

#include <atomic>
#include <cerrno>

namespace localengine {
namespace {

std::atomic<DiskHooks*> hooks{nullptr};
std::atomic<bool> ending{false};

// 0, or the error a test's stand-in for the disk answers for this call.
int hooked(DiskHooks::Op op, const std::string& path, uint64_t offset, const void* data, size_t n) {
    DiskHooks* h = hooks.load(std::memory_order_acquire);
    if (!h) return 0;
    int e = h->before(op, path, offset, data, n);
    if (e != 0) errno = e;
    return e;
}

}  // namespace

void setDiskHooks(DiskHooks* h) { hooks.store(h, std::memory_order_release); }

bool processEnding() { return ending.load(std::memory_order_acquire); }
void setProcessEnding() { ending.store(true, std::memory_order_release); }

File::Result File::create(const std::string& path) {
    close();
    if (hooked(DiskHooks::Op::Create, path, 0, nullptr, 0)) return Result::Failed;
    Result r = sysCreate(path);
    if (r == Result::Ok) path_ = path;
    return r;
}

File::Result File::open(const std::string& path) {
    close();
    Result r = sysOpen(path, !hooked(DiskHooks::Op::OpenToWrite, path, 0, nullptr, 0));
    if (r == Result::Ok) path_ = path;
    return r;
}

bool File::readAt(uint64_t offset, void* buf, size_t n, size_t* got) const {
    *got = 0;
    return !hooked(DiskHooks::Op::Read, path_, offset, nullptr, n) && sysReadAt(offset, buf, n, got);
}

bool File::readExact(uint64_t offset, void* buf, size_t n, bool* failed) const {
    size_t got = 0;
    bool ok = readAt(offset, buf, n, &got);
    if (failed) *failed = !ok;
    return ok && got == n;
}

bool File::writeAt(uint64_t offset, const void* buf, size_t n) {
    return !hooked(DiskHooks::Op::Write, path_, offset, buf, n) && sysWriteAt(offset, buf, n);
}

bool File::truncate(uint64_t size) {
    return !hooked(DiskHooks::Op::Truncate, path_, size, nullptr, 0) && sysTruncate(size);
}

bool File::sync() { return !hooked(DiskHooks::Op::Sync, path_, 0, nullptr, 0) && sysSync(); }

bool File::remove(const std::string& path) {
    return !hooked(DiskHooks::Op::Remove, path, 0, nullptr, 0) && sysRemove(path);
}

}  // namespace localengine

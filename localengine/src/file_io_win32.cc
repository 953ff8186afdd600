#include <windows.h>

#include "file_io.h"

namespace localengine {
namespace {

HANDLE h(intptr_t v) { return reinterpret_cast<HANDLE>(v); }

// Reads and writes go to the file pointer, set first, rather than to an
// offset given in an OVERLAPPED: under wine each call given one also asks its
// server whether a completion is to be posted, a round trip per read.
bool seek(HANDLE file, uint64_t offset) {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != 0;
}

File::Result fromError(DWORD e) {
    switch (e) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
            return File::Result::NotFound;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return File::Result::InUse;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return File::Result::Exists;
        default:
            return File::Result::Failed;
    }
}

// Share mode 0: while the file is open nobody else may open it at all.
HANDLE openWith(const std::string& path, DWORD access, DWORD disposition) {
    return CreateFileA(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// Windows delivers no signal to an arbitrary thread.
SignalsBlocked::SignalsBlocked() : saved_{} {}
SignalsBlocked::~SignalsBlocked() {}

uint64_t currentProcess() { return GetCurrentProcessId(); }

// Pins the library: a FreeLibrary while the reader thread runs then only
// lowers a count, where unloading would wait for that thread under the
// loader's lock (which the thread needs to end) or pull its code away.
void keepLoaded() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&keepLoaded), &self);
}

bool File::isOpen() const { return handle_ != -1; }

File::Result File::sysCreate(const std::string& path) {
    HANDLE f = openWith(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    if (f == INVALID_HANDLE_VALUE) return fromError(GetLastError());
    handle_ = reinterpret_cast<intptr_t>(f);
    readOnly_ = false;
    return Result::Ok;
}

File::Result File::sysOpen(const std::string& path, bool mayWrite) {
    bool ro = false;
    HANDLE f = mayWrite ? openWith(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING) : INVALID_HANDLE_VALUE;
    if (f == INVALID_HANDLE_VALUE && (!mayWrite || GetLastError() == ERROR_ACCESS_DENIED)) {
        f = openWith(path, GENERIC_READ, OPEN_EXISTING);
        ro = true;
    }
    if (f == INVALID_HANDLE_VALUE) {
        DWORD e = GetLastError();
        return e == ERROR_ACCESS_DENIED ? Result::NotFound : fromError(e);  // a folder
    }
    if (GetFileType(f) != FILE_TYPE_DISK) {
        CloseHandle(f);
        return Result::NotFound;
    }
    handle_ = reinterpret_cast<intptr_t>(f);
    readOnly_ = ro;
    return Result::Ok;
}

void File::close() {
    if (handle_ != -1) CloseHandle(h(handle_));
    handle_ = -1;
}

bool File::sysReadAt(uint64_t offset, void* buf, size_t n, size_t* got) const {
    auto* p = static_cast<char*>(buf);
    size_t done = 0;
    std::lock_guard<std::mutex> hold(positionLock_);
    if (!seek(h(handle_), offset)) return false;
    while (done < n) {
        DWORD want = static_cast<DWORD>(n - done > (1u << 30) ? (1u << 30) : n - done);
        DWORD r = 0;
        if (!ReadFile(h(handle_), p + done, want, &r, nullptr)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return false;
        }
        if (r == 0) break;
        done += r;
    }
    *got = done;
    return true;
}

bool File::sysWriteAt(uint64_t offset, const void* buf, size_t n) {
    const auto* p = static_cast<const char*>(buf);
    size_t done = 0;
    std::lock_guard<std::mutex> hold(positionLock_);
    if (!seek(h(handle_), offset)) return false;
    while (done < n) {
        DWORD want = static_cast<DWORD>(n - done > (1u << 30) ? (1u << 30) : n - done);
        DWORD w = 0;
        if (!WriteFile(h(handle_), p + done, want, &w, nullptr) || w == 0) return false;
        done += w;
    }
    return true;
}

bool File::size(uint64_t* out) const {
    LARGE_INTEGER s;
    if (!GetFileSizeEx(h(handle_), &s)) return false;
    *out = static_cast<uint64_t>(s.QuadPart);
    return true;
}

bool File::sysTruncate(uint64_t size) {
    std::lock_guard<std::mutex> hold(positionLock_);
    return seek(h(handle_), size) && SetEndOfFile(h(handle_));
}

bool File::sysSync() { return FlushFileBuffers(h(handle_)) != 0; }

// The file system keeps its own folders' entries in its log.
bool File::syncFolderOf(const std::string&) { return true; }

bool File::exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool File::sysRemove(const std::string& path) {
    return DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

}  // namespace localengine

// A disk that fails on request, beneath the engine's File (file_io.h): the
// Nth call fails with an error (EIO, ENOSPC) and the rest go on, or at the
// Nth call the power goes: that call and every later one fail, and
// powerCut() leaves each file as the disk would after it — what was synced,
// plus the first `keep` writes made since (all of them in call order). Or
// the Nth call throws std::system_error, as a thread that cannot start does.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "file_io.h"

namespace localengine {

class FailingDisk : public DiskHooks {
public:
    enum class Mode { Count, Fail, Cut, Throw };
    // `files`: those that exist now are taken as on disk (read here, before
    // the engine opens them: a Windows open shares a file with no one).
    FailingDisk(Mode mode, uint64_t at, int error, size_t keep, const std::vector<std::string>& files);
    ~FailingDisk() override;

    int before(Op op, const std::string& path, uint64_t offset, const void* data, size_t n) override;
    const std::vector<Op>& ops() const { return ops_; }
    // After a Cut: writes every file touched back to what survived.
    void powerCut();
    // Besides (neither counted): every file opens for reading only; every
    // read of `path` that reaches byte `from` fails with EIO.
    void readOnly() { readOnly_ = true; }
    void failReadsFrom(const std::string& path, uint64_t from) { badPath_ = path, badFrom_ = from; }

private:
    struct Pending {
        std::string path;
        bool truncate;
        uint64_t offset;
        std::string bytes;
    };
    static void apply(const Pending& p, std::string* image);

    const Mode mode_;
    const uint64_t at_;
    const int error_;
    const size_t keep_;
    uint64_t calls_ = 0;
    bool readOnly_ = false;
    std::string badPath_;
    uint64_t badFrom_ = 0;
    std::vector<Op> ops_;
    std::map<std::string, std::string> durable_;  // what a sync made safe
    std::vector<Pending> pending_;                // writes since, in order
    std::mutex lock_;                             // the read window's reader calls too
};

}  // namespace localengine

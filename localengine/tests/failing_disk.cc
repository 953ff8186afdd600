#include "failing_disk.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "support/test_support.h"

namespace localengine {

FailingDisk::FailingDisk(Mode mode, uint64_t at, int error, size_t keep, const std::vector<std::string>& files)
    : mode_(mode), at_(at), error_(error), keep_(keep) {
    for (const std::string& f : files)
        if (File::exists(f)) durable_[f] = support::ReadFile(f);
    setDiskHooks(this);
}

FailingDisk::~FailingDisk() { setDiskHooks(nullptr); }

void FailingDisk::apply(const Pending& p, std::string* image) {
    if (p.truncate) return image->resize(p.offset);
    if (image->size() < p.offset + p.bytes.size()) image->resize(p.offset + p.bytes.size());
    std::copy(p.bytes.begin(), p.bytes.end(), image->begin() + static_cast<std::ptrdiff_t>(p.offset));
}

int FailingDisk::before(Op op, const std::string& path, uint64_t offset, const void* data, size_t n) {
    std::lock_guard<std::mutex> hold(lock_);
    if (op == Op::OpenToWrite) return readOnly_ ? EACCES : 0;
    if (op == Op::Read && path == badPath_ && n > 0 && offset + n > badFrom_) return EIO;
    ++calls_;
    ops_.push_back(op);
    if (mode_ == Mode::Cut && calls_ >= at_) return EIO;  // the machine is dead from here on
    if (mode_ == Mode::Fail && calls_ == at_) return error_;
    if (mode_ == Mode::Throw && calls_ == at_) throw std::system_error(EAGAIN, std::generic_category());
    if (mode_ != Mode::Cut) return 0;
    switch (op) {
        case Op::Read:
        case Op::OpenToWrite: break;
        case Op::Create: durable_[path].clear(); break;
        case Op::Remove:
            durable_.erase(path);
            pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                          [&](const Pending& p) { return p.path == path; }),
                           pending_.end());
            break;
        case Op::Write:
        case Op::Truncate:
            durable_.try_emplace(path);  // put back at the cut as far as it was synced
            pending_.push_back({path, op == Op::Truncate, offset,
                                op == Op::Write ? std::string(static_cast<const char*>(data), n) : std::string()});
            break;
        case Op::Sync: {
            std::string& image = durable_[path];
            auto mine = [&](const Pending& p) { return p.path == path; };
            for (const Pending& p : pending_)
                if (mine(p)) apply(p, &image);
            pending_.erase(std::remove_if(pending_.begin(), pending_.end(), mine), pending_.end());
            break;
        }
    }
    return 0;
}

void FailingDisk::powerCut() {
    for (size_t i = 0; i < std::min(keep_, pending_.size()); ++i) apply(pending_[i], &durable_[pending_[i].path]);
    for (const auto& [path, image] : durable_) support::WriteFile(path, image);
}

}  // namespace localengine

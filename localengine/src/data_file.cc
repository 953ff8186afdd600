#include "data_file.h"

#include <algorithm>
#include <cstring>

#include "crc32c.h"
#include "localengine.h"

namespace localengine {
namespace {

constexpr unsigned char kZeros[kAlignment] = {};

int statusFor(File::Result r) {
    switch (r) {
        case File::Result::Ok: return kOk;
        case File::Result::NotFound: return kFileNotFound;
        case File::Result::InUse: return kInUse;
        case File::Result::Exists: return kFileExists;
        case File::Result::Failed: break;
    }
    return kDiskError;
}

}  // namespace

DataFile::DataFile(const Tuning& t)
    : tuning_(t), window_(std::max<size_t>(t.stretchSize, 4 * kRecordHeaderSize), t.readAhead) {
    tuning_.stretchSize = window_.size();
}

DataFile::~DataFile() { close(); }

int DataFile::create(const std::string& path, const std::string& owner) {
    if (owner.size() > kMaxOwnerLen) return kOwnerError;
    File f;
    int st = statusFor(f.create(path));
    if (st != kOk) return st;
    unsigned char header[kFileHeaderSize];
    encodeHeader(FileHeader{owner}, FileState{}, header);
    if (!f.writeAt(0, header, sizeof header) || !f.sync()) {
        f.close();
        File::remove(path);
        return kDiskError;
    }
    return kOk;
}

// Whatever fails or is thrown inside, Open leaves the file closed and
// unchanged by this object: nothing is committed later for a file that
// never opened.
int DataFile::open(const std::string& path, const std::string& owner) {
    close();
    int st = kDiskError;
    try {
        st = openFile(path, owner);
    } catch (...) {
        abandon();
        throw;
    }
    if (st != kOk) abandon();
    return st;
}

void DataFile::abandon() {
    window_.release();  // its reader may be reading the file
    file_.close();
    appends_.clear();
    hasCurrent_ = false;
    verifiedOffset_ = 0;
}

int DataFile::openFile(const std::string& path, const std::string& owner) {
    int st = statusFor(file_.open(path));
    if (st != kOk) return st;
    path_ = path;
    opener_ = currentProcess();
    wrote_ = false;
    hasCurrent_ = false;
    verifiedOffset_ = 0;

    uint64_t size = 0;
    unsigned char header[kFileHeaderSize];
    FileHeader h;
    bool refused = false;
    if (!file_.size(&size)) st = kDiskError;
    // Too short for a header is not ours; a header the system will not let
    // us read may well be, so that is a disk error.
    else if (size < kFileHeaderSize || !file_.readExact(0, header, sizeof header, &refused))
        st = refused ? kDiskError : kNotOurFile;
    else {
        switch (decodeHeader(header, &h)) {
            case HeaderCheck::Foreign: st = kNotOurFile; break;
            case HeaderCheck::Damaged: st = kDamaged; break;
            case HeaderCheck::Ok: break;
        }
    }
    if (st == kOk && !h.owner.empty() && owner != h.owner) st = kOwnerError;
    if (st == kOk && (!decodeState(header + kStateOffset, &committed_) || committed_.dataEnd > size))
        st = kDamaged;
    if (st == kOk) {
        state_ = committed_;
        st = rollBackJournal(file_, path_, size, &wrote_);
    }
    if (st == kOk && size > committed_.dataEnd) st = recoverTail(size);
    if (st != kOk) return st;
    window_.forget();
    return kOk;  // wrote_ stays set after a repair: Close syncs once more
}

// A forked child lets go of its copy of the parent's file without a write.
int DataFile::close() {
    if (!file_.isOpen()) return kOk;
    if (inherited()) {
        window_.forsake();
        abandon();
        return kOk;
    }
    bool ok = flushAppends();
    // The records first, then the state block that takes them in: a power
    // cut never leaves the state pointing past bytes that are not on disk.
    if (ok && (state_.dataEnd != committed_.dataEnd || state_.recordCount != committed_.recordCount))
        ok = file_.sync() && writeState();
    if (ok && wrote_) ok = file_.sync();
    window_.release();  // its reader may be reading the file
    file_.close();
    appends_.clear();
    appends_.shrink_to_fit();
    hasCurrent_ = false;
    return ok ? kOk : kDiskError;
}

bool DataFile::writeState() {
    unsigned char s[kStateSize];
    encodeState(state_, s);
    if (!writeBytes(kStateOffset, s, sizeof s)) return false;
    committed_ = state_;
    return true;
}

// A process that died while appending leaves records past the end the header
// knows. Complete records are kept; the first torn one and all after it go.
// Only bytes that were read and failed a check are cut: a read the system
// refuses answers 18 with nothing changed. The kept records are synced
// before the state block takes them in.
int DataFile::recoverTail(uint64_t fileSize) {
    state_.dataEnd = fileSize;  // lets the reader look at the tail
    uint64_t off = committed_.dataEnd;
    uint64_t count = committed_.recordCount;
    RecordHeader r;
    int st = kOk;
    while (off + kRecordHeaderSize <= fileSize) {
        st = readRecordHeader(off, &r);
        if (st == kOk) st = readData(off, r, nullptr, 0);
        if (st != kOk) break;
        off = recordEnd(off, r.capacity);
        ++count;
    }
    window_.forget();
    if (st == kDiskError) return st;
    state_.dataEnd = off;
    state_.recordCount = count;
    if (file_.readOnly()) {  // read as cut, written by no one
        committed_ = state_;
        return kOk;
    }
    wrote_ = true;
    if (!file_.truncate(off) || !file_.sync() || !writeState()) return kDiskError;
    return kOk;
}

const unsigned char* DataFile::view(uint64_t offset, size_t n) {
    return window_.view(file_, state_.dataEnd, offset, n);
}

int DataFile::readBytes(uint64_t offset, unsigned char* dst, size_t n) {
    if (offset + n > state_.dataEnd) return kDamaged;
    if (n >= tuning_.stretchSize) return readExact(offset, dst, n);
    const unsigned char* p = view(offset, n);
    if (!p) return missing();
    std::memcpy(dst, p, n);
    return kOk;
}

int DataFile::readExact(uint64_t offset, unsigned char* dst, size_t n) {
    bool failed = false;
    if (file_.readExact(offset, dst, n, &failed)) return kOk;
    return failed ? kDiskError : kDamaged;
}

int DataFile::missing() const { return window_.failed() ? kDiskError : kDamaged; }

bool DataFile::sameBytes(uint64_t offset, const unsigned char* data, size_t n) {
    while (n > 0) {
        size_t part = std::min(n, tuning_.stretchSize);
        const unsigned char* p = view(offset, part);
        if (!p || std::memcmp(p, data, part) != 0) return false;
        offset += part;
        data += part;
        n -= part;
    }
    return true;
}

bool DataFile::writeBytes(uint64_t offset, const void* src, size_t n) {
    wrote_ = true;
    if (!file_.writeAt(offset, src, n)) {
        window_.forget();  // some of the bytes may be on disk, some not
        return false;
    }
    window_.wrote(offset, src, n);  // in step with what is now on disk
    return true;
}

bool DataFile::flushAppends() {
    if (appends_.empty()) return true;
    bool ok = file_.writeAt(appendsStart_, appends_.data(), appends_.size());
    wrote_ = true;
    if (!ok) {  // the buffered records never reached the file
        state_.dataEnd = appendsStart_;
        state_.recordCount = countBeforeAppends_;
        if (hasCurrent_ && currentOffset_ >= appendsStart_) hasCurrent_ = false;
        if (verifiedOffset_ >= appendsStart_) verifiedOffset_ = 0;
    }
    appends_.clear();
    return ok;
}

int DataFile::readRecordHeader(uint64_t offset, RecordHeader* r) {
    if (offset < kFileHeaderSize || offset % kAlignment != 0 || offset + kRecordHeaderSize > state_.dataEnd)
        return kDamaged;
    const unsigned char* p = view(offset, kRecordHeaderSize);
    if (!p) return missing();
    if (!decodeRecordHeader(p, offset, r) || recordEnd(offset, r->capacity) > state_.dataEnd) return kDamaged;
    return kOk;
}

int DataFile::readData(uint64_t offset, const RecordHeader& r, unsigned char* buf, uint32_t cap) {
    uint64_t at = offset + kRecordHeaderSize;
    size_t toCopy = std::min(cap, r.length);
    uint32_t crc = 0;
    size_t done = 0;
    if (toCopy >= tuning_.stretchSize) {  // large: straight into the caller's buffer
        int st = readExact(at, buf, toCopy);
        if (st != kOk) return st;
        crc = crc32c(0, buf, toCopy);
        done = toCopy;
    }
    while (done < r.length) {
        size_t part = std::min<size_t>(r.length - done, tuning_.stretchSize);
        const unsigned char* p = view(at + done, part);
        if (!p) return missing();
        size_t copied = done < toCopy ? std::min(part, toCopy - done) : 0;
        if (copied > 0) crc = crc32cCopy(crc, buf + done, p, copied);  // buf is null when cap is 0
        if (copied < part) crc = crc32c(crc, p + copied, part - copied);
        done += part;
    }
    if (crc != r.dataCrc) return kDamaged;
    verifiedOffset_ = offset;
    verified_ = r;
    return kOk;
}

bool DataFile::isVerified(uint64_t offset, const RecordHeader& r) const {
    return verifiedOffset_ == offset && verified_.length == r.length && verified_.dataCrc == r.dataCrc;
}

void DataFile::setCurrent(uint64_t offset, const RecordHeader& r) {
    hasCurrent_ = true;
    currentOffset_ = offset;
    current_ = r;
}

int DataFile::readRecord(uint64_t offset, unsigned char* buf, uint32_t cap, uint32_t* outLen) {
    *outLen = 0;
    if (!flushAppends()) return kDiskError;
    if (offset >= state_.dataEnd) return kEndOfFile;
    RecordHeader r;
    int st = readRecordHeader(offset, &r);
    if (st == kOk) st = readData(offset, r, buf, cap);
    if (st != kOk) return st;
    setCurrent(offset, r);
    *outLen = std::min(cap, r.length);
    return r.length > cap ? kBufferTooShort : kOk;
}

int DataFile::stepFirst(unsigned char* buf, uint32_t cap, uint32_t* outLen) {
    return readRecord(kFileHeaderSize, buf, cap, outLen);
}

int DataFile::stepNext(unsigned char* buf, uint32_t cap, uint32_t* outLen) {
    if (!hasCurrent_) return stepFirst(buf, cap, outLen);
    return readRecord(recordEnd(currentOffset_, current_.capacity), buf, cap, outLen);
}

int DataFile::getPosition(uint32_t* position) const {
    if (!hasCurrent_) return kNoCurrentRecord;
    *position = positionOf(currentOffset_);
    return kOk;
}

int DataFile::insert(const unsigned char* data, uint32_t len) {
    if (file_.readOnly()) return kAccessDenied;
    if (len > kMaxRecordLength) return kRecordTooLong;
    uint64_t offset = state_.dataEnd;
    uint64_t end = recordEnd(offset, len);
    if (end > kMaxFileOffset) return kDiskError;

    RecordHeader r{len, len, crc32c(0, data, len)};
    unsigned char head[kRecordHeaderSize];
    encodeRecordHeader(r, offset, head);
    size_t pad = static_cast<size_t>(end - (offset + kRecordHeaderSize + len));
    size_t total = static_cast<size_t>(end - offset);

    if (appends_.size() + total > tuning_.writeBufferSize && !flushAppends()) return kDiskError;
    if (total > tuning_.writeBufferSize) {
        if (!file_.writeAt(offset, head, sizeof head) || !file_.writeAt(offset + sizeof head, data, len) ||
            !file_.writeAt(offset + sizeof head + len, kZeros, pad))
            return kDiskError;
        wrote_ = true;
    } else {
        if (appends_.empty()) {
            appends_.reserve(tuning_.writeBufferSize);
            appendsStart_ = offset;
            countBeforeAppends_ = state_.recordCount;
        }
        appends_.insert(appends_.end(), head, head + sizeof head);
        appends_.insert(appends_.end(), data, data + len);
        appends_.insert(appends_.end(), kZeros, kZeros + pad);
    }
    state_.dataEnd = end;
    ++state_.recordCount;
    setCurrent(offset, r);
    verifiedOffset_ = offset;
    verified_ = r;
    return kOk;
}

// Shortening to a prefix commits with one 16-byte header write: the header
// then holds the new length and the checksum of the bytes that remain; the
// bytes past them stay on disk as slack. Anything else that fits the record's
// allocation goes through the journal.
int DataFile::update(const unsigned char* data, uint32_t len) {
    if (file_.readOnly()) return kAccessDenied;
    if (!hasCurrent_) return kNoCurrentRecord;
    if (!flushAppends()) return kDiskError;
    RecordHeader old;
    int st = readRecordHeader(currentOffset_, &old);
    if (st != kOk) return st;
    if (len > old.capacity) return kRecordTooLong;
    RecordHeader r{len, old.capacity, crc32c(0, data, len)};
    if (len <= old.length && sameBytes(currentOffset_ + kRecordHeaderSize, data, len)) {
        if (len != old.length) {
            unsigned char head[kRecordHeaderSize];
            encodeRecordHeader(r, currentOffset_, head);
            if (!writeBytes(currentOffset_, head, sizeof head)) return kDiskError;
        }
    } else {
        st = rewriteWithJournal(old, data, len);
        if (st != kOk) return st;
    }
    // What is on disk now is exactly the caller's bytes, checksum and all.
    verifiedOffset_ = currentOffset_;
    verified_ = r;
    setCurrent(currentOffset_, r);
    return kOk;
}

int DataFile::rewriteWithJournal(const RecordHeader& old, const unsigned char* data, uint32_t len) {
    const uint64_t at = currentOffset_ + kRecordHeaderSize;
    JournalEntry j{currentOffset_, old, std::string(len, '\0')};
    int st = len > 0 ? readBytes(at, reinterpret_cast<unsigned char*>(&j.beforeImage[0]), len) : kOk;
    if (st == kOk) st = writeJournal(path_, j);
    if (st != kOk) return st;
    RecordHeader r{len, old.capacity, crc32c(0, data, len)};
    unsigned char head[kRecordHeaderSize];
    encodeRecordHeader(r, currentOffset_, head);
    if (!writeBytes(at, data, len) || !writeBytes(currentOffset_, head, sizeof head) || !file_.sync())
        return kDiskError;
    // Until the journal is gone, a restart puts the old record back; the new
    // one is on disk before it goes.
    return removeJournal(path_);
}

int DataFile::getRows(uint32_t position, const RowRequest& rq, unsigned char* out, uint32_t cap,
                        uint32_t* outLen) {
    *outLen = 0;
    if (!flushAppends()) return kDiskError;
    uint64_t offset = offsetOf(position);
    RecordHeader r;
    if (offset < kFileHeaderSize) return kBadChunkPosition;
    int st = readRecordHeader(offset, &r);
    if (st != kOk) return st == kDiskError ? st : kBadChunkPosition;
    if (!isVerified(offset, r)) {
        st = readData(offset, r, nullptr, 0);
        if (st != kOk) return st;
    }
    const uint64_t data = offset + kRecordHeaderSize;
    uint64_t done = 0;
    if (rq.bytesPerRow == 0) return kOk;
    for (uint32_t i = 0; i < rq.rows; ++i) {
        uint64_t start = rq.firstOffset + uint64_t{i} * rq.distance;
        uint64_t avail = start < r.length ? std::min<uint64_t>(rq.bytesPerRow, r.length - start) : 0;
        if (avail == rq.bytesPerRow && done + avail > cap) break;  // this row does not fit
        if (done + avail > cap) avail = 0;
        if (avail > 0) {
            st = readBytes(data + start, out + done, static_cast<size_t>(avail));
            if (st != kOk) return st;
        }
        done += avail;
        if (avail < rq.bytesPerRow) {
            *outLen = static_cast<uint32_t>(done);
            return kChunkPastEnd;
        }
    }
    *outLen = static_cast<uint32_t>(done);
    return done < uint64_t{rq.rows} * rq.bytesPerRow ? kBufferTooShort : kOk;
}

int DataFile::check() {
    if (!flushAppends()) return kDiskError;
    unsigned char header[kFileHeaderSize];
    FileHeader h;
    FileState onDisk;
    uint64_t size = 0;
    int st = readExact(0, header, sizeof header);
    if (st != kOk) return st;
    if (decodeHeader(header, &h) != HeaderCheck::Ok ||
        !decodeState(header + kStateOffset, &onDisk) || onDisk.dataEnd > state_.dataEnd || !file_.size(&size) ||
        size < state_.dataEnd)
        return kDamaged;
    // Bytes no checksum covers must be zero: the header's tail and the
    // padding behind each record. (Slack left by shortening is the only
    // part of a file nothing vouches for.)
    auto zeros = [](const unsigned char* p, size_t n) {
        return p && std::all_of(p, p + n, [](unsigned char b) { return b == 0; });
    };
    if (!zeros(header + kStateOffset + kStateSize, kFileHeaderSize - kStateOffset - kStateSize)) return kDamaged;
    uint64_t off = kFileHeaderSize;
    uint64_t count = 0;
    RecordHeader r;
    while (off < state_.dataEnd) {
        st = readRecordHeader(off, &r);
        if (st == kOk) st = readData(off, r, nullptr, 0);
        if (st != kOk) return st;
        uint64_t padAt = off + kRecordHeaderSize + r.capacity;
        off = recordEnd(off, r.capacity);
        const unsigned char* pad = view(padAt, static_cast<size_t>(off - padAt));
        if (!pad && window_.failed()) return kDiskError;
        if (!zeros(pad, static_cast<size_t>(off - padAt))) return kDamaged;
        ++count;
    }
    return count == state_.recordCount ? kOk : kDamaged;
}

}  // namespace localengine

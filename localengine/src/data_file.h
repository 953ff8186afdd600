// One open data file: records read through a window (read_window.h),
// appends through a buffer, shortening updates committed by one 16-byte
// header write, other updates through the journal (journal.h), and the
// records a process that died while appending left behind recovered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "file_io.h"
#include "format.h"
#include "journal.h"
#include "read_window.h"

namespace localengine {

// What Get Direct/Chunk asks for: `rows` rows of `bytesPerRow` bytes, row i
// starting at byte `firstOffset + i * distance` of the record.
struct RowRequest {
    uint32_t rows = 0;
    uint32_t firstOffset = 0;
    uint32_t bytesPerRow = 0;
    uint32_t distance = 0;
};

class DataFile {
public:
    struct Tuning {
        size_t stretchSize = kReadSize;  // a stretch: one read fills this much
        size_t writeBufferSize = 64 * 1024;   // appends are written this much at a time
        bool readAhead = true;                // the next stretches are read on a thread of their own
    };

    DataFile() : DataFile(Tuning{}) {}
    explicit DataFile(const Tuning& t);
    ~DataFile();
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    // Every call returns a status from localengine.h.
    static int create(const std::string& path, const std::string& owner);
    int open(const std::string& path, const std::string& owner);
    int close();

    int insert(const unsigned char* data, uint32_t len);
    int update(const unsigned char* data, uint32_t len);
    // Copy up to `cap` bytes of the record into buf; *outLen = bytes copied.
    int stepFirst(unsigned char* buf, uint32_t cap, uint32_t* outLen);
    int stepNext(unsigned char* buf, uint32_t cap, uint32_t* outLen);
    int getPosition(uint32_t* position) const;
    int getRows(uint32_t position, const RowRequest& rq, unsigned char* out, uint32_t cap, uint32_t* outLen);
    int check();

    bool isOpen() const { return file_.isOpen(); }
    // Opened by the process this one was forked from: not ours to use.
    bool inherited() const { return file_.isOpen() && opener_ != currentProcess(); }
    uint64_t recordCount() const { return state_.recordCount; }
    uint64_t dataEnd() const { return state_.dataEnd; }

    // The side file that holds the old bytes while an Update rewrites a record.
    static std::string journalPath(const std::string& path) { return journalPathOf(path); }

private:
    int openFile(const std::string& path, const std::string& owner);
    // Closes the file without writing anything.
    void abandon();
    int readRecord(uint64_t offset, unsigned char* buf, uint32_t cap, uint32_t* outLen);
    int readRecordHeader(uint64_t offset, RecordHeader* r);
    // Copies the first min(cap, length) data bytes to buf and checks the data
    // checksum over all of them; kDamaged when it does not match.
    int readData(uint64_t offset, const RecordHeader& r, unsigned char* buf, uint32_t cap);
    // Bytes [offset, offset+n) of the file, through the window when they fit.
    const unsigned char* view(uint64_t offset, size_t n);
    int readBytes(uint64_t offset, unsigned char* dst, size_t n);
    int readExact(uint64_t offset, unsigned char* dst, size_t n);
    // The status of a view that gave nothing: 18 when the system refused.
    int missing() const;
    bool sameBytes(uint64_t offset, const unsigned char* data, size_t n);
    bool writeBytes(uint64_t offset, const void* src, size_t n);
    bool flushAppends();
    int recoverTail(uint64_t fileSize);
    int rewriteWithJournal(const RecordHeader& old, const unsigned char* data, uint32_t len);
    bool writeState();
    bool isVerified(uint64_t offset, const RecordHeader& r) const;
    void setCurrent(uint64_t offset, const RecordHeader& r);

    Tuning tuning_;
    File file_;
    std::string path_;
    uint64_t opener_ = 0;  // the process that opened it
    FileState state_;      // including appends still in the buffer
    FileState committed_;  // as the header on disk says
    bool wrote_ = false;   // anything written since Open: sync at Close

    ReadWindow window_;

    std::vector<unsigned char> appends_;
    uint64_t appendsStart_ = 0;
    uint64_t countBeforeAppends_ = 0;

    bool hasCurrent_ = false;
    uint64_t currentOffset_ = 0;
    RecordHeader current_;

    // The last record whose data checksum was checked (Get Direct/Chunk reuses it).
    uint64_t verifiedOffset_ = 0;
    RecordHeader verified_;
};

}  // namespace localengine

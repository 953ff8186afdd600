#include "journal.h"

#include "localengine.h"

namespace localengine {

int writeJournal(const std::string& path, const JournalEntry& entry) {
    const std::string bytes = encodeJournal(entry);
    const std::string jpath = journalPathOf(path);
    File jf;
    File::remove(jpath);
    // Whole and on disk, under its name, before the record is touched.
    if (jf.create(jpath) != File::Result::Ok || !jf.writeAt(0, bytes.data(), bytes.size()) || !jf.sync() ||
        !File::syncFolderOf(jpath)) {
        jf.close();
        File::remove(jpath);
        return kDiskError;
    }
    jf.close();
    return kOk;
}

int removeJournal(const std::string& path) {
    return File::remove(journalPathOf(path)) ? kOk : kDiskError;
}

int rollBackJournal(File& file, const std::string& path, uint64_t fileSize, bool* wrote) {
    const std::string jpath = journalPathOf(path);
    if (!File::exists(jpath)) return kOk;
    // The file is whole once the journal is rolled back, but that takes
    // writing: refused as an Update of a file opened only for reading is,
    // with the file and the journal left as they are.
    if (file.readOnly()) return kAccessDenied;
    File jf;
    if (jf.open(jpath) != File::Result::Ok) return kDiskError;
    uint64_t jsize = 0;
    std::string bytes;
    bool failed = !jf.size(&jsize);
    if (!failed && jsize <= kMaxRecordLength + 64u) {
        bytes.resize(static_cast<size_t>(jsize));
        if (!jf.readExact(0, &bytes[0], bytes.size(), &failed)) bytes.clear();
    }
    jf.close();
    if (failed) return kDiskError;  // unread is not torn: the journal stays
    // A journal that is not whole was being written when the process died:
    // the record itself had not been touched yet, so there is nothing to undo.
    JournalEntry j;
    if (decodeJournal(bytes, &j) && j.offset >= kFileHeaderSize && j.offset % kAlignment == 0 &&
        recordEnd(j.offset, j.old.capacity) <= fileSize) {
        unsigned char head[kRecordHeaderSize];
        encodeRecordHeader(j.old, j.offset, head);
        if (!file.writeAt(j.offset + kRecordHeaderSize, j.beforeImage.data(), j.beforeImage.size()) ||
            !file.writeAt(j.offset, head, sizeof head))
            return kDiskError;
        *wrote = true;
        // The journal is the only copy of the old bytes until they are on disk.
        if (!file.sync()) return kDiskError;
    }
    return removeJournal(path);
}

}  // namespace localengine

#include "scan/undo_journal.h"

#include <cstring>

namespace {

const char HEADER_MAGIC[8] = {'R', 'M', 'U', 'N', 'D', 'O', '\r', '\n'};
const char TRAILER_MAGIC[8] = {'R', 'M', 'U', 'N', 'D', 'O', 'E', 'N'};
constexpr size_t HEADER_FIXED = 32;  // magic, version, size, time, minimum, path length
constexpr size_t ENTRY_FIXED = 20;   // position, two lengths, checksum, run count
constexpr size_t TRAILER_SIZE = 20;  // magic, entry count, checksum
constexpr size_t PATH_MAX_BYTES = 4096;
constexpr size_t WRITE_CHUNK = 64 * 1024;

uint32_t crcTable[256];

void MakeCrcTable() {
    for (uint32_t index = 0; index < 256; ++index) {
        uint32_t value = index;
        for (int bit = 0; bit < 8; ++bit) value = value & 1 ? 0xEDB88320u ^ (value >> 1) : value >> 1;
        crcTable[index] = value;
    }
}

void Put32(std::string* out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) *out += static_cast<char>(value >> shift);
}

void Put64(std::string* out, uint64_t value) {
    Put32(out, static_cast<uint32_t>(value));
    Put32(out, static_cast<uint32_t>(value >> 32));
}

uint32_t Get32(const unsigned char* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint64_t Get64(const unsigned char* bytes) {
    return Get32(bytes) | static_cast<uint64_t>(Get32(bytes + 4)) << 32;
}

uint32_t CrcOf(const std::string& bytes, size_t from) {
    return Crc32(0, reinterpret_cast<const unsigned char*>(bytes.data()) + from, bytes.size() - from);
}

int Flush(UndoWriter* writer) {
    int status = WriteNewFile(writer->file, writer->pending.data(), writer->pending.size());
    writer->pending.clear();
    return status;
}

// Reads exactly `length` bytes; 0, or the status of a journal that ends
// or fails there.
int ReadExactly(FILE* file, unsigned char* bytes, size_t length, int shortStatus) {
    size_t got = fread(bytes, 1, length, file);
    if (got == length) return UNDO_OK;
    return ferror(file) ? UNDO_UNREADABLE : shortStatus;
}

int ReadHeader(UndoReader* reader) {
    unsigned char fixed[HEADER_FIXED];
    const size_t got = fread(fixed, 1, sizeof fixed, reader->file);
    if (ferror(reader->file)) return UNDO_UNREADABLE;
    if (memcmp(fixed, HEADER_MAGIC, got < sizeof HEADER_MAGIC ? got : sizeof HEADER_MAGIC) != 0) {
        return UNDO_FOREIGN;
    }
    // Made, and cut short before its header was whole.
    if (got < sizeof fixed) return UNDO_INCOMPLETE;
    int status = UNDO_OK;
    if (Get32(fixed + 8) != UNDO_JOURNAL_VERSION) return UNDO_FOREIGN;
    const uint32_t pathLength = Get32(fixed + 28);
    if (pathLength > PATH_MAX_BYTES || Get32(fixed + 12) != HEADER_FIXED + pathLength + 4) {
        return UNDO_DAMAGED;
    }
    std::string rest(pathLength + 4, '\0');
    unsigned char* restBytes = reinterpret_cast<unsigned char*>(&rest[0]);
    status = ReadExactly(reader->file, restBytes, rest.size(), UNDO_INCOMPLETE);
    if (status != UNDO_OK) return status;
    uint32_t crc = Crc32(Crc32(0, fixed, sizeof fixed), restBytes, pathLength);
    if (crc != Get32(restBytes + pathLength)) return UNDO_DAMAGED;
    reader->header.writtenAt = static_cast<int64_t>(Get64(fixed + 16));
    reader->header.truncateMin = static_cast<int32_t>(Get32(fixed + 24));
    reader->header.dataPath = rest.substr(0, pathLength);
    return UNDO_OK;
}

// The rest of an entry whose first 8 bytes are read, checked.
int ReadEntryAfter(FILE* file, const unsigned char* first, UndoEntry* entry) {
    unsigned char fixed[ENTRY_FIXED];
    memcpy(fixed, first, 8);
    int status = ReadExactly(file, fixed + 8, sizeof fixed - 8, UNDO_INCOMPLETE);
    if (status != UNDO_OK) return status;
    memcpy(entry->position, fixed, sizeof entry->position);
    entry->lengthBefore = Get32(fixed + 4);
    entry->lengthAfter = Get32(fixed + 8);
    entry->keptChecksum = Get32(fixed + 12);
    entry->runCount = Get32(fixed + 16);
    if (entry->runCount > UNDO_RUNS_MAX || entry->lengthAfter > entry->lengthBefore) {
        return UNDO_DAMAGED;
    }
    uint32_t crc = Crc32(0, fixed, sizeof fixed);
    uint32_t lost = 0;
    for (uint32_t run = 0; run < entry->runCount; ++run) {
        unsigned char bytes[4];
        status = ReadExactly(file, bytes, sizeof bytes, UNDO_INCOMPLETE);
        if (status != UNDO_OK) return status;
        crc = Crc32(crc, bytes, sizeof bytes);
        entry->runs[run].byte = bytes[0];
        entry->runs[run].count = static_cast<uint16_t>(bytes[2] | bytes[3] << 8);
        lost += entry->runs[run].count;
    }
    unsigned char stored[4];
    status = ReadExactly(file, stored, sizeof stored, UNDO_INCOMPLETE);
    if (status != UNDO_OK) return status;
    if (crc != Get32(stored) || lost != entry->lengthBefore - entry->lengthAfter) {
        return UNDO_DAMAGED;
    }
    return UNDO_OK;
}

// Reads every entry to the trailer, which only a journal written whole
// has, and sets the count of entries. A lengthBefore of at most 64000 never
// reads as the trailer's magic, so an entry is never taken for it.
int CheckWhole(UndoReader* reader, UndoEntry* scratch) {
    uint64_t count = 0;
    for (;;) {
        unsigned char first[8];
        int status = ReadExactly(reader->file, first, sizeof first, UNDO_INCOMPLETE);
        if (status != UNDO_OK) return status;
        if (memcmp(first, TRAILER_MAGIC, sizeof TRAILER_MAGIC) == 0) break;
        status = ReadEntryAfter(reader->file, first, scratch);
        if (status != UNDO_OK) return status;
        count += 1;
    }
    unsigned char trailer[TRAILER_SIZE];
    memcpy(trailer, TRAILER_MAGIC, sizeof TRAILER_MAGIC);
    int status = ReadExactly(reader->file, trailer + 8, TRAILER_SIZE - 8, UNDO_INCOMPLETE);
    if (status != UNDO_OK) return status;
    if (Crc32(0, trailer, 16) != Get32(trailer + 16) || Get64(trailer + 8) != count ||
        fgetc(reader->file) != EOF) {
        return UNDO_DAMAGED;
    }
    reader->entryCount = count;
    return UNDO_OK;
}

}  // namespace

uint32_t Crc32(uint32_t crc, const unsigned char* bytes, size_t length) {
    if (crcTable[1] == 0) MakeCrcTable();
    crc = ~crc;
    for (size_t index = 0; index < length; ++index) {
        crc = crcTable[(crc ^ bytes[index]) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

void MakeUndoEntry(const unsigned char* record, uint32_t lengthBefore, uint32_t lengthAfter,
                   const unsigned char* position, UndoEntry* entry) {
    memcpy(entry->position, position, sizeof entry->position);
    entry->lengthBefore = lengthBefore;
    entry->lengthAfter = lengthAfter;
    entry->keptChecksum = Crc32(0, record, lengthAfter);
    entry->runCount = 0;
    for (uint32_t at = lengthAfter; at < lengthBefore;) {
        uint32_t end = at;
        while (end < lengthBefore && end - at < 0xFFFF && record[end] == record[at]) ++end;
        entry->runs[entry->runCount].byte = record[at];
        entry->runs[entry->runCount].count = static_cast<uint16_t>(end - at);
        entry->runCount += 1;
        at = end;
    }
}

void FillLostBytes(const UndoEntry& entry, unsigned char* record) {
    uint32_t at = entry.lengthAfter;
    for (uint32_t run = 0; run < entry.runCount; ++run) {
        memset(record + at, entry.runs[run].byte, entry.runs[run].count);
        at += entry.runs[run].count;
    }
}

bool HoldsLostBytes(const UndoEntry& entry, const unsigned char* record) {
    uint32_t at = entry.lengthAfter;
    for (uint32_t run = 0; run < entry.runCount; ++run) {
        for (uint32_t end = at + entry.runs[run].count; at < end; ++at) {
            if (record[at] != entry.runs[run].byte) return false;
        }
    }
    return true;
}

int WriteUndoHeader(UndoWriter* writer, const UndoHeader& header) {
    std::string bytes(HEADER_MAGIC, sizeof HEADER_MAGIC);
    Put32(&bytes, UNDO_JOURNAL_VERSION);
    Put32(&bytes, static_cast<uint32_t>(HEADER_FIXED + header.dataPath.size() + 4));
    Put64(&bytes, static_cast<uint64_t>(header.writtenAt));
    Put32(&bytes, static_cast<uint32_t>(header.truncateMin));
    Put32(&bytes, static_cast<uint32_t>(header.dataPath.size()));
    bytes += header.dataPath;
    Put32(&bytes, CrcOf(bytes, 0));
    writer->entryCount = 0;
    writer->pending = bytes;
    return Flush(writer);
}

int WriteUndoEntry(UndoWriter* writer, const UndoEntry& entry) {
    std::string& out = writer->pending;
    const size_t start = out.size();
    out.append(reinterpret_cast<const char*>(entry.position), sizeof entry.position);
    Put32(&out, entry.lengthBefore);
    Put32(&out, entry.lengthAfter);
    Put32(&out, entry.keptChecksum);
    Put32(&out, entry.runCount);
    for (uint32_t run = 0; run < entry.runCount; ++run) {
        out += static_cast<char>(entry.runs[run].byte);
        out += '\0';
        out += static_cast<char>(entry.runs[run].count);
        out += static_cast<char>(entry.runs[run].count >> 8);
    }
    Put32(&out, CrcOf(out, start));
    writer->entryCount += 1;
    return out.size() >= WRITE_CHUNK ? Flush(writer) : 0;
}

int WriteUndoTrailer(UndoWriter* writer) {
    std::string& out = writer->pending;
    const size_t start = out.size();
    out.append(TRAILER_MAGIC, sizeof TRAILER_MAGIC);
    Put64(&out, writer->entryCount);
    Put32(&out, CrcOf(out, start));
    return Flush(writer);
}

int OpenUndoJournal(const char* path, UndoReader* reader, UndoEntry* scratch) {
    reader->file = fopen(path, "rb");
    reader->entriesRead = 0;
    if (reader->file == nullptr) return UNDO_UNREADABLE;
    int status = ReadHeader(reader);
    if (status == UNDO_OK) status = CheckWhole(reader, scratch);
    if (status == UNDO_OK) {
        // Back to the first entry, past the header again.
        rewind(reader->file);
        status = ReadHeader(reader);
    }
    if (status != UNDO_OK) CloseUndoJournal(reader);
    return status;
}

int ReadUndoEntry(UndoReader* reader, UndoEntry* entry) {
    if (reader->entriesRead == reader->entryCount) return UNDO_END;
    unsigned char first[8];
    int status = ReadExactly(reader->file, first, sizeof first, UNDO_DAMAGED);
    if (status == UNDO_OK) status = ReadEntryAfter(reader->file, first, entry);
    if (status == UNDO_INCOMPLETE) status = UNDO_DAMAGED;  // it was whole when opened
    if (status == UNDO_OK) reader->entriesRead += 1;
    return status;
}

void CloseUndoJournal(UndoReader* reader) {
    if (reader->file != nullptr) fclose(reader->file);
    reader->file = nullptr;
}

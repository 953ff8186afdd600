// The undo journal of a /T run (/U=FILE) and its reading by a restore
// (/R=FILE): for each record /T shortens, its position, its lengths before
// and after, a checksum of the bytes it keeps and the filler it loses, as
// runs of one byte. doc/undo-journal.md gives the format.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "console/files.h"

constexpr uint32_t UNDO_JOURNAL_VERSION = 1;
constexpr uint32_t UNDO_RUNS_MAX = 64000;  // the filler of a 64000-byte record, at its most broken up

struct UndoEntry {
    unsigned char position[4];  // as Get Position returned it
    uint32_t lengthBefore;
    uint32_t lengthAfter;
    uint32_t keptChecksum;  // CRC-32 of the first lengthAfter bytes
    uint32_t runCount;
    struct {
        unsigned char byte;  // 0x00 or 0x20
        uint16_t count;
    } runs[UNDO_RUNS_MAX];
};

struct UndoHeader {
    int64_t writtenAt;  // seconds since 1970, UTC
    int32_t truncateMin;
    std::string dataPath;
};

// A position as a number, for the order of records (the engine's positions
// grow along the physical order the scans walk).
inline uint32_t PositionValue(const unsigned char* position) {
    return position[0] | position[1] << 8 | position[2] << 16 |
           static_cast<uint32_t>(position[3]) << 24;
}

// CRC-32 (the polynomial of zip and PNG) of `length` bytes, continuing `crc`
// (0 to start).
uint32_t Crc32(uint32_t crc, const unsigned char* bytes, size_t length);

// The entry for a record of lengthBefore bytes in `record` that /T cuts to
// lengthAfter, at `position`.
void MakeUndoEntry(const unsigned char* record, uint32_t lengthBefore, uint32_t lengthAfter,
                   const unsigned char* position, UndoEntry* entry);

// Writes the filler `entry` says the record lost after its first
// lengthAfter bytes into record[lengthAfter..lengthBefore).
void FillLostBytes(const UndoEntry& entry, unsigned char* record);

// True when record[lengthAfter..lengthBefore) is the filler `entry` says.
bool HoldsLostBytes(const UndoEntry& entry, const unsigned char* record);

// Writing: the header when the journal is made, an entry at a time, and
// the trailer that marks it whole; then FinishNewFile. Each returns 0, or 1.
struct UndoWriter {
    NewFile file = NO_NEW_FILE;
    uint64_t entryCount = 0;
    std::string pending;  // bytes not yet handed to the system
};
int WriteUndoHeader(UndoWriter* writer, const UndoHeader& header);
int WriteUndoEntry(UndoWriter* writer, const UndoEntry& entry);
int WriteUndoTrailer(UndoWriter* writer);

// Reading. OpenUndoJournal reads the header and every entry to the trailer,
// checking each (`scratch` holds them), so a journal that is not whole is
// known before anything is done with it; ReadUndoEntry then reads the
// entries in order.
enum UndoStatus {
    UNDO_OK,
    UNDO_END,          // ReadUndoEntry: no entry left
    UNDO_UNREADABLE,   // it cannot be opened or read
    UNDO_FOREIGN,      // no undo journal of this program, or of a later version
    UNDO_INCOMPLETE,   // cut short before its trailer: the run that wrote it changed nothing
    UNDO_DAMAGED,      // a checksum or a length does not agree
};
struct UndoReader {
    FILE* file;
    UndoHeader header;
    uint64_t entryCount;
    uint64_t entriesRead;
};
int OpenUndoJournal(const char* path, UndoReader* reader, UndoEntry* scratch);
int ReadUndoEntry(UndoReader* reader, UndoEntry* entry);
void CloseUndoJournal(UndoReader* reader);

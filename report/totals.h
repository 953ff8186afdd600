// What the scans learn about the file, the size histogram, and the report.
#pragma once

#include <cstdint>

struct RunTotals {
    uint32_t scannedCount;   // every scan, once per record
    uint32_t updatedCount;   // the truncation scan, once per record it rewrote
    uint32_t smallestSize;
    uint32_t largestSize;
    int overflowSeen;        // a read returned status 22; never cleared
    uint64_t freedBytes;     // the truncation scan: bytes its updates took (or, with /N, would take) off
    int scanCancelled;       // the scan stopped for Esc
    int scanStatus;          // the status that ended the scan otherwise: 9 at the end of the file
    int endedByStatus20 = 0;  // the engine answered 20 (not loaded) once the scan had begun
    // The size and large-record scans: records longer than the standard
    // (64000) and the extended (258048) buffer, a lower bound at or past
    // the limit counted as longer.
    uint32_t overStandardCount = 0;
    uint32_t overExtendedCount = 0;
    // /T with an undo journal (/U): its entries, and records left alone
    // because they no longer matched theirs (or had none).
    uint64_t journalEntries = 0;
    uint32_t leftAloneCount = 0;
    int journalFailed = 0;  // the journal could not be written or read: the run ends with 1
    // A restore (/R): records given back their filler (or, with /N, that
    // would be), records already whole, and Updates the engine refused.
    // leftAloneCount counts the journal's records changed since or not found.
    uint32_t restoredCount = 0;
    uint32_t alreadyRestoredCount = 0;
    uint32_t refusedRestoreCount = 0;
};

// One per distinct record size, in a list kept in ascending order of size.
struct SizeEntry {
    uint32_t size;
    uint32_t count;
    SizeEntry* next;
    int mark;  // the mark of the record that created the entry
    uint32_t lowerBoundCount;  // records of this size whose size is a lower bound
};

extern RunTotals runTotals;
extern SizeEntry* sizeList;

// The decimal digits of a 64-bit count, written into `text` (room for
// UNSIGNED64_DIGITS_MAX digits and a zero) and returned: the 32-bit Windows
// C library has no reliable printf format for 64-bit numbers.
constexpr int UNSIGNED64_DIGITS_MAX = 20;
const char* FormatUnsigned64(uint64_t value, char* text);

void ClearSizeEntries();
// Returns 1 when counted, 0 when no memory was left for a new entry.
int AddSizeEntry(uint32_t size, int mark);
void PrintTotals();

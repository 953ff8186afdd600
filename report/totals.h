// What the scans learn about the file, the size histogram, and the report.
#pragma once

#include <cstdint>

struct RunTotals {
    uint32_t scannedCount;   // every scan, once per record
    uint32_t updatedCount;   // the truncation scan, once per record it rewrote
    uint32_t smallestSize;
    uint32_t largestSize;
    int overflowSeen;        // a read returned status 22; never cleared
};

// One per distinct record size, in a list kept in ascending order of size.
struct SizeEntry {
    uint32_t size;
    uint32_t count;
    SizeEntry* next;
    int mark;  // the mark of the record that created the entry
};

extern RunTotals runTotals;
extern SizeEntry* sizeList;

void ClearSizeEntries();
// Returns 1 when counted, 0 when no memory was left for a new entry.
int AddSizeEntry(uint32_t size, int mark);
void PrintTotals();

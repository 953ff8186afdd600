// The three ways of walking the file. Each returns the status that ended it:
// 9 at the end of the file, 1 when cancelled with Esc, else the engine's.
#pragma once

#include <cstdint>

int ScanRecordSizes();
int ScanLargeRecords();
int TruncateFiller();
// /R=FILE: gives every record the undo journal names back the filler /T
// took, when it is still as /T left it (with /N, says what it would do).
int RestoreRecords();

// The Updates the engine refused during TruncateFiller.
extern uint32_t refusedUpdateCount;

// The length a record of `length` bytes is cut to by the truncation scan:
// one filler byte stays after the last byte that is not filler, and never
// fewer than `minimum` bytes (minimum is at least 4); `length` itself when
// the record stays as it is.
uint32_t TrimmedLength(const unsigned char* record, uint32_t length, uint32_t minimum);

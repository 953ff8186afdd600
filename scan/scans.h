// The three ways of walking the file. Each returns the status that ended it:
// 9 at the end of the file, 1 when cancelled with Esc, else the engine's.
#pragma once

#include <cstdint>

int ScanRecordSizes();
int ScanLargeRecords();
int TruncateFiller();

// Shared by the size and large-record scans.
constexpr int SCAN_CANCELLED = 1;

// One step request with the block's current op into recordBuffer, through
// the extended entry when the engine has it; *size is the length returned.
int ReadRecord(uint32_t* size);

// Sets up the data file's block for a scan and reads the first record.
int ReadFirstRecord(uint32_t* size);

// The length a record of `length` bytes is cut to by the truncation scan:
// one filler byte stays after the last byte that is not filler, and never
// fewer than `minimum` bytes (minimum is at least 4); `length` itself when
// the record stays as it is.
uint32_t TrimmedLength(const unsigned char* record, uint32_t length, uint32_t minimum);

// Adds a record's size to the histogram (with /C) and the extremes.
// Returns 1 when the size differs from *previous, which then takes it.
int TallyRecordSize(uint32_t size, int mark, uint32_t* previous);

// Where a scan ends: each records in runTotals how, and returns what the
// scan returns. CancelScan also writes the cancel message.
int CancelScan();
int EndScan(int status);

// Counts a record, turns the spinner every 1000 records and looks for Esc.
// Returns 1 when the scan must stop because Esc was pressed.
int CountRecordAndCheckCancel();

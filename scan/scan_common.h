// What the three scans share: reading a record, the block set-up, the
// counting, the spinner and Esc, and where a scan ends. Internal to scan/.
#pragma once

#include <cstdint>

constexpr int SCAN_CANCELLED = 1;

// One step request with the block's current op into recordBuffer, through
// the extended entry when the engine has it; *size is the length returned.
int ReadRecord(uint32_t* size);

// Sets up the data file's block for a scan's first request: Step First into
// recordBuffer, key number 0, the scans' key buffer.
void PrepareScanBlock();

// PrepareScanBlock, then reads the first record.
int ReadFirstRecord(uint32_t* size);

// Adds a record's size to the histogram (with /C) and the extremes.
// Returns 1 when the size differs from *previous, which then takes it.
int TallyRecordSize(uint32_t size, int mark, uint32_t* previous);

// What a size-reporting scan does its own way around the walk they share.
struct SizeScanForm {
    // A read's status as the scan takes it (0, 22 and the rest), with the
    // size read and its "+" mark.
    int (*takeStatus)(int status, uint32_t* size, int* mark);
    // The first record's lines, a change of size, the /D line after a read,
    // and the line of a status that is not end of file.
    void (*printFirst)(uint32_t size, int mark);
    void (*printChange)(uint32_t size, int mark);
    void (*printRead)(uint32_t size);
    void (*printAbnormal)(int status);
};

// Steps through every record from the first, tallying each size and
// printing as `form` says, until a status other than 0 or Esc; returns what
// the scan returns.
int WalkRecordSizes(const SizeScanForm* form);

// Where a scan ends: each records in runTotals how, and returns what the
// scan returns. CancelScan also writes the cancel message.
int CancelScan();
int EndScan(int status);

// Counts a record and turns the spinner every 1000 records; returns 1 when
// the spinner turned.
int CountRecord();

// CountRecord, and when the spinner turned, looks for Esc. Returns 1 when the
// scan must stop because Esc was pressed.
int CountRecordAndCheckCancel();

// Formats LABEL followed by `size` as "%6d" gives it and `mark`, and a line
// end, into `line` (room for 40 bytes beyond the label); returns its length,
// or -1 for a size "%d" would show negative. A plain scan writes such a line
// for nearly every record: by hand it costs a small part of what the general
// formatter does, byte for byte the same.
int FormatSizeLine(char* line, const char* label, uint32_t size, char mark);

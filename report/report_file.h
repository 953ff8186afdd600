// Where a report file lands and how it gets there: what differs between
// POSIX and Windows.
#pragma once

#include <cstddef>

// 1 when both paths name one existing file, links followed: the same device
// and inode (on Windows the same volume serial number and file index, from
// handles opened on both). 0 otherwise, also when either cannot be opened.
int SameExistingFile(const char* first, const char* second);

// Whether a report can be written to `target`, as far as that can be known
// before it is: the target is no folder; one that exists and is not a
// regular file (a FIFO, a device) can be opened for writing; otherwise its
// name and folder fit the system's limits and a temporary can be created in
// that folder (one is, and removed at once). Returns 0, or 1.
int CheckReportTarget(const char* target);

// Writes `length` bytes to `target`. A target that exists and is not a
// regular file, or is the file standard output or error goes to, is written
// to in place. Otherwise the bytes go to a fresh file created exclusively in
// the folder of the file the target names (a link is followed, and stays),
// which is flushed to disk and then renamed over that file, so a reader or a
// power cut sees the old report or the new one, never a part. Returns 0, or
// 1 with no temporary left behind.
int WriteReportFile(const char* target, const char* bytes, size_t length);

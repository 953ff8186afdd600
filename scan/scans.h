// The three ways of walking the file. Each returns the status that ended it:
// 9 at the end of the file, 1 when cancelled with Esc, else the engine's.
#pragma once

#include <cstdint>

int ScanRecordSizes();
int ScanLargeRecords();
int TruncateFiller();

// The Updates the engine refused during TruncateFiller.
extern uint32_t refusedUpdateCount;

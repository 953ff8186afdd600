// The default scan: a line each time the record size changes, and the sizes
// into the totals and, with /C, the histogram. A record that does not fit
// the data buffer is counted at the buffer's size and marked with "+".
#include <cstdio>

#include "cli/run_options.h"
#include "console/output.h"
#include "engine/engine.h"
#include "report/totals.h"
#include "scan/scan_common.h"
#include "scan/scans.h"

namespace {

constexpr size_t SIZE_LINE_MAX = 64;  // a label and the 40 bytes FormatSizeLine may add

// LABEL "%6d%c\n" with the size and its mark character.
void PrintSizeLine(const char* label, uint32_t size, int mark) {
    int length = FormatSizeLine(OutputRoom(SIZE_LINE_MAX), label, size, mark ? '+' : ' ');
    if (length >= 0) {
        OutputCommit(static_cast<size_t>(length));
    } else {
        OutputPrintf("%s%6d%c\n", label, static_cast<int>(size), mark ? '+' : ' ');
    }
}

// A read's status as this scan takes it: 22 (the record did not fit the
// buffer) sets the mark and overflowSeen and counts as 0; any other status
// clears the mark and stands.
int TakeStatus(int status, uint32_t*, int* mark) {
    *mark = status == STATUS_BUFFER_TOO_SHORT ? 1 : 0;
    if (!*mark) return status;
    runTotals.overflowSeen = 1;
    return STATUS_OK;
}

void PrintFirst(uint32_t size, int mark) {
    if (runOptions.debugLevel >= 1) OutputPrintf("RecSize: %d\n", static_cast<int>(size));
    if (!runOptions.countSizes) PrintSizeLine("RecSize Started at ", size, mark);
}

// A marked size has set overflowSeen already, when it was read.
void PrintChange(uint32_t size, int mark) {
    PrintSizeLine("RecSize Changed to ", size, mark);
}

void PrintRead(uint32_t size) {
    OutputPrintf("RecSize: %d\n", static_cast<int>(size));
}

void PrintAbnormal(int status) {
    OutputPrintf("Abnormal Termination Status %d.\n", status);
}

const SizeScanForm SIZE_SCAN = {TakeStatus, PrintFirst, PrintChange, PrintRead, PrintAbnormal};

}  // namespace

int ScanRecordSizes() {
    return WalkRecordSizes(&SIZE_SCAN);
}

// The default scan: a line each time the record size changes, and the sizes
// into the totals and, with /C, the histogram. A record that does not fit
// the data buffer is counted at the buffer's size and marked with "+".
#include <cstdio>

#include "cli/output.h"
#include "cli/run_options.h"
#include "engine/engine.h"
#include "report/totals.h"
#include "scan/scan_common.h"
#include "scan/scans.h"

namespace {

// LABEL "%6d%c\n" with the size and its mark character.
void PrintSizeLine(const char* label, uint32_t size, int mark) {
    char line[64];
    int length = FormatSizeLine(line, label, size, mark ? '+' : ' ');
    if (length >= 0) {
        OutputText(line, static_cast<size_t>(length));
    } else {
        OutputPrintf("%s%6d%c\n", label, static_cast<int>(size), mark ? '+' : ' ');
    }
}

}  // namespace

int ScanRecordSizes() {
    FileBlock* block = &fileTable[DATA_FILE];
    uint32_t size = 0;
    int mark = 0;
    int status = MarkOverflow(ReadFirstRecord(&size), &mark);
    if (status == STATUS_OK) {
        if (runOptions.debugLevel >= 1) OutputPrintf("RecSize: %d\n", static_cast<int>(size));
        if (!runOptions.countSizes) {
            PrintSizeLine("RecSize Started at ", size, mark);
        }
        runTotals.largestSize = size;
        runTotals.smallestSize = size;
        uint32_t previous = size;
        while (status == STATUS_OK) {
            if (CountRecordAndCheckCancel()) return CancelScan();
            // A marked size has set overflowSeen already, when it was read.
            if (TallyRecordSize(size, mark, &previous) && !runOptions.countSizes) {
                PrintSizeLine("RecSize Changed to ", size, mark);
            }
            block->op = OP_STEP_NEXT;
            status = MarkOverflow(ReadRecord(&size), &mark);
            if (runOptions.debugLevel >= 1) OutputPrintf("RecSize: %d\n", static_cast<int>(size));
        }
    }
    if (status != STATUS_END_OF_FILE) OutputPrintf("Abnormal Termination Status %d.\n", status);
    return EndScan(status);
}

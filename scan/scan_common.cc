#include <cstdio>
#include <cstring>

#include "cli/run_options.h"
#include "console/output.h"
#include "engine/engine.h"
#include "report/progress.h"
#include "report/totals.h"
#include "scan/scan_common.h"

int ReadRecord(uint32_t* size) {
    FileBlock* block = &fileTable[DATA_FILE];
    if (extendedMode == 1) {
        uint32_t length = RECORD_BUFFER_SIZE;
        int status = CallEngineEx(block, &length);
        *size = length;
        return status;
    }
    block->dataLen = static_cast<uint16_t>(STANDARD_DATA_LEN);
    int status = CallEngine(block);
    *size = block->dataLen;
    return status;
}

void PrepareScanBlock() {
    FileBlock* block = &fileTable[DATA_FILE];
    block->dataBuf = recordBuffer;
    block->keyNum = 0;
    block->keyBuf = keyScratch;
    block->op = OP_STEP_FIRST;
}

int ReadFirstRecord(uint32_t* size) {
    PrepareScanBlock();
    return ReadRecord(size);
}

int CancelScan() {
    ErrorPrintf("\nApplication terminated.\n");
    runTotals.scanCancelled = 1;
    return SCAN_CANCELLED;
}

int EndScan(int status) {
    runTotals.scanStatus = status;
    return status;
}

int CountRecord() {
    runTotals.scannedCount += 1;
    if (runTotals.scannedCount % PROGRESS_INTERVAL != 0) return 0;
    ShowProgress();
    return 1;
}

int CountRecordAndCheckCancel() {
    return CountRecord() && EscapePressed() ? 1 : 0;
}

namespace {

// A record at or past the standard buffer's length, or one that did not fit
// the buffer it was read into: whether it is longer than either buffer. A
// size marked as a lower bound is shorter than its record.
void CountLongRecord(uint32_t size, int mark) {
    runTotals.overStandardCount += size > STANDARD_DATA_LEN || mark ? 1 : 0;
    const bool beyondExtended = mark ? size >= RECORD_BUFFER_SIZE || extendedMode == 1
                                     : size > RECORD_BUFFER_SIZE;
    runTotals.overExtendedCount += beyondExtended ? 1 : 0;
}

}  // namespace

int TallyRecordSize(uint32_t size, int mark, uint32_t* previous) {
    if (runOptions.countSizes || runOptions.reportPath[0] != '\0') AddSizeEntry(size, mark);
    if (size >= STANDARD_DATA_LEN || mark) CountLongRecord(size, mark);
    if (size == *previous) return 0;
    *previous = size;
    if (size < runTotals.smallestSize) runTotals.smallestSize = size;
    if (size > runTotals.largestSize) runTotals.largestSize = size;
    return 1;
}

int WalkRecordSizes(const SizeScanForm* form) {
    FileBlock* block = &fileTable[DATA_FILE];
    uint32_t size = 0;
    int mark = 0;
    int status = form->takeStatus(ReadFirstRecord(&size), &size, &mark);
    if (status == STATUS_OK) {
        form->printFirst(size, mark);
        runTotals.largestSize = size;
        runTotals.smallestSize = size;
        uint32_t previous = size;
        while (status == STATUS_OK) {
            if (CountRecordAndCheckCancel()) return CancelScan();
            if (TallyRecordSize(size, mark, &previous) && !runOptions.countSizes) {
                form->printChange(size, mark);
            }
            // A measuring scan's chunk request leaves its own key number.
            block->keyNum = 0;
            block->op = OP_STEP_NEXT;
            status = form->takeStatus(ReadRecord(&size), &size, &mark);
            if (runOptions.debugLevel >= 1) form->printRead(size);
        }
    }
    if (status != STATUS_END_OF_FILE) form->printAbnormal(status);
    return EndScan(status);
}

int FormatSizeLine(char* line, const char* label, uint32_t size, char mark) {
    if (size > 0x7FFFFFFFu) return -1;
    // Byte by byte: a call to the C library per line showed in the 32-bit
    // Windows build's plain scans (bench/README.md, "Measured choices").
    size_t length = 0;
    while (label[length] != '\0') {
        line[length] = label[length];
        ++length;
    }
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + size % 10);
        size /= 10;
    } while (size != 0);
    for (int pad = count; pad < 6; ++pad) line[length++] = ' ';
    while (count > 0) line[length++] = digits[--count];
    line[length++] = mark;
    line[length++] = '\n';
    return static_cast<int>(length);
}

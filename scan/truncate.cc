// The /T scan: shortens every record that ends in two or more filler bytes
// (null or blank), keeping one filler byte after the last byte that is not
// filler and never going below truncateMin bytes. It is the only way the
// program changes a file.
#include <cstdio>

#include "cli/run_options.h"
#include "console/output.h"
#include "engine/engine.h"
#include "report/progress.h"
#include "report/totals.h"
#include "scan/scan_common.h"
#include "scan/scans.h"
#include "scan/undo.h"

uint32_t refusedUpdateCount;

namespace {

bool IsFiller(unsigned char byte) {
    return byte == 0x00 || byte == 0x20;
}

// Rewrites the record in recordBuffer with its first `trimmed` bytes; under
// /N makes no request. True when the record is (or would be) stored shorter:
// only a record the engine really stored shorter is counted.
bool ShortenRecord(FileBlock* block, uint32_t trimmed) {
    if (runOptions.dryRun) return true;
    block->dataLen = static_cast<uint16_t>(trimmed);
    block->op = OP_UPDATE;
    return CallEngine(block) == STATUS_OK;
}

}  // namespace

uint32_t TrimmedLength(const unsigned char* record, uint32_t length, uint32_t minimum) {
    uint32_t trimmed = length;
    if (length > minimum) {
        do {
            if (!IsFiller(record[trimmed - 1]) || !IsFiller(record[trimmed - 2])) break;
            trimmed -= 1;
        } while (trimmed > minimum);
    }
    return trimmed;
}

int TruncateFiller() {
    FileBlock* block = &fileTable[DATA_FILE];
    const uint32_t minimum = static_cast<uint32_t>(runOptions.truncateMin);
    const bool journalled = runOptions.undoPath[0] != '\0';
    // With an undo journal, every record this run will shorten is in it,
    // on disk, before the first Update.
    if (journalled && WriteJournalPass() != 0) {
        return runTotals.scanCancelled ? SCAN_CANCELLED : EndScan(STATUS_OK);
    }
    PrepareScanBlock();
    block->dataLen = static_cast<uint16_t>(STANDARD_DATA_LEN);
    int status = CallEngine(block);
    while (status == STATUS_OK) {
        if (EscapePressed()) return CancelScan();
        uint32_t length = block->dataLen;
        uint32_t trimmed = TrimmedLength(recordBuffer, length, minimum);
        if (trimmed != length && journalled && !JournalHoldsRecord(length, trimmed)) {
            runTotals.leftAloneCount += 1;  // changed since the journal was written: left alone
        } else if (trimmed != length) {
            if (ShortenRecord(block, trimmed)) {
                runTotals.updatedCount += 1;
                runTotals.freedBytes += length - trimmed;
            } else {
                refusedUpdateCount += 1;  // the scan goes on; the run will end with 1
            }
        }
        CountRecord();  // the Esc test comes before every record instead
        block->op = OP_STEP_NEXT;
        block->dataLen = static_cast<uint16_t>(STANDARD_DATA_LEN);
        status = CallEngine(block);
    }
    if (status != STATUS_END_OF_FILE) OutputPrintf("Abnormal Termination, Status %d.\n", status);
    return EndScan(status);
}

// The /B scan: like the size scan, but a record that does not fit the data
// buffer is measured with a Get Position and one rectangle chunk request
// that reads one byte every `granularity` bytes of the record.
#include <cstdio>

#include "cli/run_options.h"
#include "console/output.h"
#include "engine/engine.h"
#include "report/totals.h"
#include "scan/scan_common.h"
#include "scan/scans.h"

namespace {

constexpr uint32_t RECTANGLE_SUBFUNCTION = 0x80000002u;  // data returned in the data buffer
constexpr uint32_t RECTANGLE_ROWS = STANDARD_DATA_LEN;
constexpr int16_t CHUNK_KEY_NUMBER = 254;  // the engine receives its low byte: -2

void PutLittleEndian32(unsigned char* at, uint32_t value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    at[2] = static_cast<unsigned char>(value >> 16);
    at[3] = static_cast<unsigned char>(value >> 24);
}

// The rectangle request over the first 32 bytes of recordBuffer; the first
// 4 already hold the position that Get Position returned.
void WriteRectangleRequest() {
    const uint32_t values[7] = {RECTANGLE_SUBFUNCTION, RECTANGLE_ROWS, 0, 1,
                                runOptions.granularity, 0, 0};
    for (int index = 0; index < 7; ++index) PutLittleEndian32(recordBuffer + 4 + 4 * index, values[index]);
}

// After a read returned 22: measures the record. *size stays the read's
// length when the position cannot be had; the status returned is 0 unless
// the chunk request failed.
int MeasureRecord(uint32_t* size, int* mark) {
    FileBlock* block = &fileTable[DATA_FILE];
    runTotals.overflowSeen = 1;
    *mark = 1;
    block->dataLen = 4;
    block->op = OP_GET_POSITION;
    int status = CallEngine(block);
    if (status != STATUS_OK) {
        ErrorPrintf("GetPosition Failed: %d. File may be in active use.\n", status);
        return STATUS_OK;
    }
    WriteRectangleRequest();
    block->dataLen = static_cast<uint16_t>(STANDARD_DATA_LEN);
    block->keyNum = CHUNK_KEY_NUMBER;
    block->op = OP_GET_DIRECT_CHUNK;
    status = CallEngine(block);
    if (status == STATUS_CHUNK_PAST_END) {
        status = STATUS_OK;
    } else if (status != STATUS_OK) {
        ErrorPrintf("GetRectangleChunk Failed: %d.\n", status);
    }
    *size = (static_cast<uint32_t>(block->dataLen) - 1u) * runOptions.granularity;
    return status;
}

// A read's status as this scan takes it: 0 clears the mark, 22 measures the
// record that did not fit; any other status stands.
int TakeStatus(int status, uint32_t* size, int* mark) {
    if (status == STATUS_OK) {
        *mark = 0;
    } else if (status == STATUS_BUFFER_TOO_SHORT) {
        status = MeasureRecord(size, mark);
    }
    return status;
}

void PrintFirst(uint32_t size, int mark) {
    if (!runOptions.countSizes || runOptions.debugLevel >= 1) {
        OutputPrintf("RecSize Started at %10u%s\n", static_cast<unsigned>(size), mark ? "+" : "");
    }
}

void PrintChange(uint32_t size, int mark) {
    OutputPrintf("RecSize Changed to %10u%s\n", static_cast<unsigned>(size), mark ? "+" : "");
}

void PrintRead(uint32_t size) {
    OutputPrintf("RecSize: %u\n", static_cast<unsigned>(size));
}

void PrintAbnormal(int status) {
    OutputPrintf("Abnormal Termination, Status = %d.\n", status);
}

const SizeScanForm LARGE_SCAN = {TakeStatus, PrintFirst, PrintChange, PrintRead, PrintAbnormal};

}  // namespace

int ScanLargeRecords() {
    return WalkRecordSizes(&LARGE_SCAN);
}

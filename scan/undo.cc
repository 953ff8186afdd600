#include "scan/undo.h"

#include <cstdio>
#include <ctime>

#include "cli/run_options.h"
#include "console/files.h"
#include "console/output.h"
#include "engine/engine.h"
#include "report/progress.h"
#include "report/totals.h"
#include "scan/scan_common.h"
#include "scan/scans.h"

UndoState undoJournal;

namespace {

// Get Position for the current record, into `position`; recordBuffer keeps
// the record. Returns the status.
int ReadRecordPosition(unsigned char* position) {
    FileBlock* block = &fileTable[DATA_FILE];
    block->dataBuf = position;
    block->dataLen = 4;
    block->op = OP_GET_POSITION;
    int status = CallEngine(block);
    block->dataBuf = recordBuffer;
    return status;
}

int StepRecord(uint16_t op) {
    FileBlock* block = &fileTable[DATA_FILE];
    block->op = op;
    block->dataLen = static_cast<uint16_t>(STANDARD_DATA_LEN);
    return CallEngine(block);
}

// The journal being written, closed and removed: nothing was changed.
void AbandonJournal() {
    AbandonNewFile(undoJournal.writer.file, runOptions.undoPath);
    undoJournal.writer.file = NO_NEW_FILE;
}

int JournalFailed(const char* what) {
    ErrorPrintf("Unable to %s undo journal %s; no record was changed.\n", what,
                runOptions.undoPath);
    runTotals.journalFailed = 1;
    return 1;
}

// The journal's next entry into undoJournal.entry. Returns 0, or 1 when it could
// not be read (it was checked whole when opened: the disk failed, or the
// file changed since), after a message.
int NextEntry() {
    int status = ReadUndoEntry(&undoJournal.reader, &undoJournal.entry);
    undoJournal.haveEntry = status == UNDO_OK;
    if (status == UNDO_OK || status == UNDO_END) return 0;
    ErrorPrintf("Unable to read undo journal %s past its entry %lu.\n",
                runOptions.undoPath[0] != '\0' ? runOptions.undoPath : runOptions.restorePath,
                static_cast<unsigned long>(undoJournal.reader.entriesRead));
    runTotals.journalFailed = 1;
    return 1;
}

// Restore: the record in recordBuffer, of `length` bytes, at the position of
// undoJournal.entry. Gives it back its filler when it is as /T left it; counts it
// as already whole when it has it; else leaves it alone and says so.
void RestoreRecord(uint32_t length) {
    FileBlock* block = &fileTable[DATA_FILE];
    const UndoEntry& entry = undoJournal.entry;
    const bool kept = length >= entry.lengthAfter &&
                      Crc32(0, recordBuffer, entry.lengthAfter) == entry.keptChecksum;
    if (kept && length == entry.lengthBefore && HoldsLostBytes(entry, recordBuffer)) {
        runTotals.alreadyRestoredCount += 1;
        return;
    }
    if (!kept || length != entry.lengthAfter) {
        runTotals.leftAloneCount += 1;
        OutputPrintf("Left alone, changed since /T: the record at position %lu (%lu bytes, "
                     "%lu after /T).\n",
                     static_cast<unsigned long>(PositionValue(entry.position)),
                     static_cast<unsigned long>(entry.lengthBefore),
                     static_cast<unsigned long>(entry.lengthAfter));
        return;
    }
    FillLostBytes(entry, recordBuffer);
    if (!runOptions.dryRun) {
        block->dataLen = static_cast<uint16_t>(entry.lengthBefore);
        block->op = OP_UPDATE;
        if (CallEngine(block) != STATUS_OK) {
            runTotals.refusedRestoreCount += 1;
            return;
        }
    }
    runTotals.restoredCount += 1;
}

void ReportNotFound() {
    runTotals.leftAloneCount += 1;
    OutputPrintf("Left alone, not found: the record at position %lu (%lu bytes, %lu after /T).\n",
                 static_cast<unsigned long>(PositionValue(undoJournal.entry.position)),
                 static_cast<unsigned long>(undoJournal.entry.lengthBefore),
                 static_cast<unsigned long>(undoJournal.entry.lengthAfter));
}

}  // namespace

int PrepareUndoJournal() {
    if (runOptions.undoPath[0] != '\0') {
        const char* path = runOptions.undoPath;
        int exists = 0;
        undoJournal.writer.file = CreateNewFile(path, &exists);
        if (undoJournal.writer.file == NO_NEW_FILE) {
            if (exists) {
                ErrorPrintf("The undo journal %s exists: /U names a new file.\n", path);
            } else {
                ErrorPrintf("Unable to write undo journal %s.\n", path);
            }
            return 1;
        }
        if (runOptions.reportPath[0] != '\0' && SameExistingFile(runOptions.reportPath, path)) {
            AbandonJournal();
            ErrorPrintf("The JSON report %s would overwrite the undo journal.\n",
                        runOptions.reportPath);
            return 1;
        }
        const UndoHeader header{static_cast<int64_t>(time(nullptr)), runOptions.truncateMin,
                                runOptions.path};
        if (WriteUndoHeader(&undoJournal.writer, header) == 0) return 0;
        AbandonJournal();
        ErrorPrintf("Unable to write undo journal %s.\n", path);
        return 1;
    }
    if (runOptions.restorePath[0] == '\0') return 0;
    const char* path = runOptions.restorePath;
    switch (OpenUndoJournal(path, &undoJournal.reader, &undoJournal.entry)) {
        case UNDO_OK:
            return 0;
        case UNDO_INCOMPLETE:
            OutputPrintf("The undo journal %s is incomplete: the /T run that wrote it stopped "
                         "before it changed any record. Nothing to restore.\n",
                         path);
            return NOTHING_TO_RESTORE;
        case UNDO_FOREIGN:
            ErrorPrintf("%s is not an undo journal of this program.\n", path);
            return 1;
        case UNDO_DAMAGED:
            ErrorPrintf("The undo journal %s is damaged; nothing was restored.\n", path);
            return 1;
        default:
            ErrorPrintf("Unable to read undo journal %s.\n", path);
            return 1;
    }
}

void DropUndoJournal() {
    if (undoJournal.writer.file != NO_NEW_FILE) AbandonJournal();
}

int WriteJournalPass() {
    const uint32_t minimum = static_cast<uint32_t>(runOptions.truncateMin);
    PrepareScanBlock();
    int status = StepRecord(OP_STEP_FIRST);
    uint32_t seen = 0;
    while (status == STATUS_OK) {
        if (EscapePressed()) {
            AbandonJournal();
            CancelScan();
            return 1;
        }
        const uint32_t length = fileTable[DATA_FILE].dataLen;
        const uint32_t trimmed = TrimmedLength(recordBuffer, length, minimum);
        if (trimmed != length) {
            unsigned char position[4];
            if (ReadRecordPosition(position) == STATUS_OK) {
                MakeUndoEntry(recordBuffer, length, trimmed, position, &undoJournal.entry);
                if (WriteUndoEntry(&undoJournal.writer, undoJournal.entry) != 0) {
                    AbandonJournal();
                    return JournalFailed("write");
                }
            }
        }
        if (++seen % PROGRESS_INTERVAL == 0) ShowProgress();
        status = StepRecord(OP_STEP_NEXT);
    }
    // The journal on disk, whole, before the first Update.
    if (WriteUndoTrailer(&undoJournal.writer) != 0) {
        AbandonJournal();
        return JournalFailed("write");
    }
    const NewFile written = undoJournal.writer.file;
    undoJournal.writer.file = NO_NEW_FILE;
    if (FinishNewFile(written, runOptions.undoPath) != 0) return JournalFailed("write");
    runTotals.journalEntries = undoJournal.writer.entryCount;
    if (OpenUndoJournal(runOptions.undoPath, &undoJournal.reader, &undoJournal.entry) != UNDO_OK ||
        NextEntry() != 0) {
        return JournalFailed("read back");
    }
    return 0;
}

bool JournalHoldsRecord(uint32_t length, uint32_t trimmed) {
    unsigned char position[4];
    if (ReadRecordPosition(position) != STATUS_OK) return false;
    const uint32_t at = PositionValue(position);
    while (undoJournal.haveEntry && PositionValue(undoJournal.entry.position) < at) {
        if (NextEntry() != 0) return false;
    }
    if (!undoJournal.haveEntry || PositionValue(undoJournal.entry.position) != at) return false;
    const UndoEntry& entry = undoJournal.entry;
    const bool same = entry.lengthBefore == length && entry.lengthAfter == trimmed &&
                      Crc32(0, recordBuffer, trimmed) == entry.keptChecksum &&
                      HoldsLostBytes(entry, recordBuffer);
    return NextEntry() == 0 && same;
}

int RestoreRecords() {
    const UndoHeader& header = undoJournal.reader.header;
    char written[32] = "an unknown time";
    const time_t when = static_cast<time_t>(header.writtenAt);
    const struct tm* utc = gmtime(&when);
    if (utc != nullptr) strftime(written, sizeof written, "%Y-%m-%d %H:%M UTC", utc);
    OutputPrintf("Restoring Records from %s, written %s by /T%d on %s.\n", runOptions.restorePath,
                 written, static_cast<int>(header.truncateMin), header.dataPath.c_str());
    PrepareScanBlock();
    int status = StepRecord(OP_STEP_FIRST);
    if (NextEntry() != 0) return EndScan(STATUS_OK);
    // 22: a record longer than the buffer, which /T never shortens: passed by.
    while (status == STATUS_OK || status == STATUS_BUFFER_TOO_SHORT) {
        if (EscapePressed()) return CancelScan();
        if (undoJournal.haveEntry && status == STATUS_OK) {
            const uint32_t length = fileTable[DATA_FILE].dataLen;  // before Get Position's 4
            unsigned char position[4];
            if (ReadRecordPosition(position) == STATUS_OK) {
                const uint32_t at = PositionValue(position);
                while (undoJournal.haveEntry && PositionValue(undoJournal.entry.position) < at) {
                    ReportNotFound();
                    if (NextEntry() != 0) return EndScan(STATUS_OK);
                }
                if (undoJournal.haveEntry && PositionValue(undoJournal.entry.position) == at) {
                    RestoreRecord(length);
                    if (NextEntry() != 0) return EndScan(STATUS_OK);
                }
            }
        }
        CountRecord();
        status = StepRecord(OP_STEP_NEXT);
    }
    if (status != STATUS_END_OF_FILE) {
        OutputPrintf("Abnormal Termination, Status %d.\n", status);
        return EndScan(status);
    }
    // Every record was seen: the entries left name records no longer there.
    while (undoJournal.haveEntry) {
        ReportNotFound();
        if (NextEntry() != 0) break;
    }
    return EndScan(status);
}

#include "cli/run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/file_list.h"
#include "cli/options.h"
#include "console/keyboard.h"
#include "console/output.h"
#include "engine/engine.h"
#include "report/json_report.h"
#include "report/summary.h"
#include "report/totals.h"
#include "scan/scans.h"
#include "scan/undo.h"

RunState runState;

namespace {

// Copies a file's path into the run's. A path longer than the Open
// request's key buffer holds is refused: cut, it could name another file.
int TakePath(const char* argument) {
    if (RefuseLongPath(argument) != 0) return 1;
    memcpy(runOptions.path, argument, strlen(argument) + 1);
    return 0;
}

int AllocateRecordBuffer() {
    recordBuffer = static_cast<unsigned char*>(malloc(RECORD_BUFFER_SIZE));
    if (recordBuffer != nullptr) return 0;
    ErrorPrintf("No memory available.\r\n");
    return 1;
}

// The exit code of a file's scan that reached its report: 1 when it did
// not do all it was asked: an engine status cut it short (end of file ends
// it whole, and Esc is the user's own choice), or, under /T, the engine
// refused an Update, or refused to close the file it had changed (where it
// writes the changes out). Otherwise 0.
int ScanExitCode(int closeStatus) {
    int exitCode = 0;
    if (!runTotals.scanCancelled && runTotals.scanStatus != STATUS_END_OF_FILE) exitCode = 1;
    // The undo journal: it failed, a record no longer matched it, or a
    // restore left a record alone or was refused.
    if (runTotals.journalFailed || runTotals.leftAloneCount != 0 ||
        runTotals.refusedRestoreCount != 0) {
        exitCode = 1;
    }
    if (refusedUpdateCount != 0) {
        ErrorPrintf("Updates refused by the engine: %lu; those records were not changed.\n",
                    static_cast<unsigned long>(refusedUpdateCount));
        exitCode = 1;
    }
    bool changed = !runOptions.dryRun && (runTotals.updatedCount + runTotals.restoredCount) != 0;
    if (changed && closeStatus != STATUS_OK) exitCode = 1;
    return exitCode;
}

// The report of what the scan did, in text and, with /J, as the report
// file, or in a run over several files as its document, kept for the
// run's. Returns the file's exit code.
int ReportScan(int closeStatus) {
    PrintTotals();
    int exitCode = ScanExitCode(closeStatus);
    if (runOptions.reportPath[0] == '\0') return exitCode;
    int status = runState.severalFiles ? KeepFileDocument(&runState.currentFile->document)
                                       : WriteReportFile();
    return status != 0 ? 1 : exitCode;
}

// What became of the current file, for the summary: the Open's status, and
// when it opened, the Close's and the file's exit code.
void KeepFileResult(int openStatus, int closeStatus, int exitCode) {
    if (runState.currentFile == nullptr) return;
    FileResult* file = runState.currentFile;
    if (openStatus == STATUS_OK) {
        file->outcome = FILE_SCANNED;
        file->status = runTotals.scanStatus;
        file->totals = runTotals;
        file->refusedUpdates = refusedUpdateCount;
        file->closeStatus = closeStatus;
        file->failed = exitCode != 0;
    } else {
        // A file a folder or a pattern named that is no data file is passed by.
        const bool skipped = file->listed && openStatus == STATUS_NOT_ENGINE_FILE;
        file->outcome = skipped ? FILE_SKIPPED : FILE_NOT_OPENED;
        file->status = openStatus;
        file->failed = skipped ? 0 : 1;
    }
}

// The end of a run over several files: every file not reached is not
// scanned; the summary, and with /J the report file. Returns the exit code:
// 1 when any file failed.
int FinishSeveralFiles() {
    int exitCode = 0;
    for (FileResult& file : fileResults) {
        if (file.outcome == FILE_WAITING) file.outcome = FILE_NOT_SCANNED;
        if (file.failed) exitCode = 1;
    }
    PrintSummary();
    if (runOptions.reportPath[0] != '\0' && WriteSeveralReportFile() != 0) exitCode = 1;
    return exitCode;
}

// The engine answered 20 (not loaded) once a scan had begun. No request
// follows, but the report of what was scanned, and under /T updated, comes
// first (and the summary of a run over several files); the process then
// ends with 1.
void ReportBeforeNotLoaded() {
    engineNotLoadedReport = nullptr;
    ConsoleKeysEnd();
    if (runState.scanBegun) {
        runTotals.endedByStatus20 = 1;
        if (!runTotals.scanCancelled && runTotals.scanStatus == 0) {
            runTotals.scanStatus = STATUS_NOT_LOADED;  // the scan was under way
        }
        ReportScan(STATUS_NOT_LOADED);
        KeepFileResult(STATUS_OK, STATUS_NOT_LOADED, 1);
    } else {
        KeepFileResult(STATUS_NOT_LOADED, 0, 1);
    }
    if (runState.severalFiles) FinishSeveralFiles();
    FinishStandardOutput(1);
}

int RunOneScan() {
    if (runOptions.restorePath[0] != '\0') return RestoreRecords();
    if (runOptions.truncateMin != 0) return TruncateFiller();
    if (runOptions.probeMegabytes != 0) return ScanLargeRecords();
    return ScanRecordSizes();
}

// One file, from the Open to its report: opens runOptions.path, runs the
// scan, closes the file and resets the engine, and prints the report.
// Returns the file's exit code.
int ScanFile() {
    int status = OpenDataFile();
    if (status != STATUS_OK) {
        ErrorPrintf("Unable to Open Files - Status %d\n", status);
        DropUndoJournal();
        ResetEngine();
        KeepFileResult(status, 0, 1);
        return 1;
    }
    if (extendedMode == -1) ProbeEngineVersion();
    ClearSizeEntries();
    ConsoleKeysBegin();
    engineNotLoadedReport = ReportBeforeNotLoaded;
    runState.scanBegun = 1;
    RunOneScan();  // cancelled or stopped by a status, the report still follows
    CloseUndoJournal(&undoJournal.reader);
    ConsoleKeysEnd();
    int closeStatus = CloseDataFiles();
    ResetEngine();
    // In a run over several files a status 20 at a later file's Open still
    // reports the files before it.
    if (!runState.severalFiles) engineNotLoadedReport = nullptr;
    int exitCode = ReportScan(closeStatus);
    runState.scanBegun = 0;
    KeepFileResult(STATUS_OK, closeStatus, exitCode);
    return exitCode;
}

// A /T whose report is already lost would change files and tell nobody
// what changed: it stops before anything is opened. Returns 1 then.
int RefuseBlindTruncation() {
    if (runOptions.truncateMin == 0 || runOptions.dryRun) return 0;
    return RefuseLostOutput();
}

// One file named on its own: the run as it has always been.
int RunOneFile() {
    if (TakePath(fileResults[0].path.c_str()) != 0) return 1;
    OutputPrintf("Scanning Data File %s.\n", runOptions.path);
    ErrorPrintf("Press <Esc> to terminate...\n");
    if (RefuseBlindTruncation() != 0 || AllocateRecordBuffer() != 0) return 1;
    if (PrepareReportFile() != 0) return 1;
    int journal = PrepareUndoJournal();
    if (journal != 0) return journal == NOTHING_TO_RESTORE ? 0 : 1;
    return ScanFile();
}

// The undo journal and the restore go with one file, /U with a real /T,
// /R with no other scan. Returns 0, or 1 after a message.
int CheckUndoOptions() {
    const bool undo = runOptions.undoPath[0] != '\0';
    const bool restore = runOptions.restorePath[0] != '\0';
    const char* refusal = nullptr;
    if (undo && restore) {
        refusal = "An undo journal (/U) and a restore (/R) do not go together.\n";
    } else if (undo && runOptions.truncateMin == 0) {
        refusal = "An undo journal (/U) goes with /T#.\n";
    } else if (undo && runOptions.dryRun) {
        refusal = "A dry run (/N) changes nothing and writes no undo journal (/U).\n";
    } else if (restore && (runOptions.truncateMin != 0 || runOptions.probeMegabytes != 0)) {
        refusal = "A restore (/R) goes without /T# and /B#.\n";
    } else if ((undo || restore) && runState.severalFiles) {
        refusal = "An undo journal (/U) or a restore (/R) goes with one data file.\n";
    }
    if (refusal == nullptr) return 0;
    ErrorPrintf("%s", refusal);
    return 1;
}

// Several files: the Esc prompt once, then each file in turn as a run on it
// alone would scan and report it, each closed and its histogram released
// before the next; Esc ends the run after the current file's report. Then
// the summary.
int RunSeveralFiles() {
    ErrorPrintf("Press <Esc> to terminate...\n");
    if (RefuseBlindTruncation() != 0 || AllocateRecordBuffer() != 0) return 1;
    if (PrepareReportFile() != 0) return 1;
    // A folder or pattern that names no file is known now.
    for (const FileResult& file : fileResults) {
        if (file.outcome == FILE_NO_MATCH) ReportNoMatch(file);
    }
    int cancelled = 0;
    for (FileResult& file : fileResults) {
        if (cancelled) break;
        if (file.outcome == FILE_NO_MATCH) continue;
        runState.currentFile = &file;
        runTotals = RunTotals{};
        refusedUpdateCount = 0;
        OutputEndLine();  // the report before may end within its last line
        if (TakePath(file.path.c_str()) != 0) {
            file.outcome = FILE_NOT_OPENED;
            file.failed = 1;
            continue;
        }
        OutputPrintf("Scanning Data File %s.\n", runOptions.path);
        ScanFile();
        cancelled = runTotals.scanCancelled;
    }
    runState.currentFile = nullptr;
    engineNotLoadedReport = nullptr;
    return FinishSeveralFiles();
}

// The run from the command line to the report; its exit code.
int RunSequence(int argc, char** argv) {
    int exitCode = ParseCommandLine(argc, argv);
    if (exitCode == COMMAND_LINE_ANSWERED) return 0;
    if (exitCode != 0) return exitCode;
    runState.severalFiles = ListDataFiles();
    if (CheckUndoOptions() != 0) return 1;
    return runState.severalFiles ? RunSeveralFiles() : RunOneFile();
}

}  // namespace

int RunRecmeter(int argc, char** argv) {
    PrepareOutput();
    return FinishStandardOutput(RunSequence(argc, argv));
}

#include "cli/run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/options.h"
#include "console/output.h"
#include "engine/engine.h"
#include "report/console_keys.h"
#include "report/json_report.h"
#include "report/totals.h"
#include "scan/scans.h"

namespace {

// Copies the first argument into the path. A path longer than the Open
// request's key buffer holds is refused: cut, it could name another file.
int TakePath(const char* argument) {
    if (RefuseLongPath(argument) != 0) return 1;
    memcpy(runOptions.path, argument, strlen(argument) + 1);
    return 0;
}

// The exit code of a run that reached its report: 1 when the scan did not
// do all it was asked: an engine status cut it short (end of file ends it
// whole, and Esc is the user's own choice), or, under /T, the engine refused
// an Update, or refused to close the file it had changed (where it writes
// the changes out). Otherwise 0.
int ScanExitCode(int closeStatus) {
    int exitCode = 0;
    if (!runTotals.scanCancelled && runTotals.scanStatus != STATUS_END_OF_FILE) exitCode = 1;
    if (refusedUpdateCount != 0) {
        ErrorPrintf("Updates refused by the engine: %lu; those records were not changed.\n",
                    static_cast<unsigned long>(refusedUpdateCount));
        exitCode = 1;
    }
    bool changed = !runOptions.dryRun && runTotals.updatedCount != 0;
    if (changed && closeStatus != STATUS_OK) exitCode = 1;
    return exitCode;
}

// The report of what the scan did, in text and, with /J, as a file.
// Returns the run's exit code.
int ReportScan(int closeStatus) {
    PrintTotals();
    int exitCode = ScanExitCode(closeStatus);
    if (runOptions.jsonPath[0] != '\0' && WriteJsonReport() != 0) exitCode = 1;
    return exitCode;
}

// The engine answered 20 (not loaded) once the scan had begun. No request
// follows, but the report of what was scanned, and under /T updated, comes
// first; the process then ends with 1.
void ReportBeforeNotLoaded() {
    engineNotLoadedReport = nullptr;
    ConsoleKeysEnd();
    runTotals.endedByStatus20 = 1;
    if (!runTotals.scanCancelled && runTotals.scanStatus == 0) {
        runTotals.scanStatus = STATUS_NOT_LOADED;  // the scan was under way
    }
    ReportScan(STATUS_NOT_LOADED);
    FinishStandardOutput(1);
}

int RunOneScan() {
    if (runOptions.truncateMin != 0) return TruncateFiller();
    if (runOptions.probeMegabytes != 0) return ScanLargeRecords();
    return ScanRecordSizes();
}

// The run from the command line to the report; its exit code.
int RunSequence(int argc, char** argv) {
    int exitCode = ParseCommandLine(argc, argv);
    if (exitCode != 0) return exitCode;
    if (TakePath(argv[1]) != 0) return 1;
    OutputPrintf("Scanning Data File %s.\n", runOptions.path);
    ErrorPrintf("Press <Esc> to terminate...\n");
    // A /T whose report is already lost would change the file and tell
    // nobody what changed: it stops before the file is opened.
    if (runOptions.truncateMin != 0 && !runOptions.dryRun && RefuseLostOutput() != 0) return 1;

    recordBuffer = static_cast<unsigned char*>(malloc(RECORD_BUFFER_SIZE));
    if (recordBuffer == nullptr) {
        ErrorPrintf("No memory available.\r\n");
        return 1;
    }
    if (PrepareReportFile() != 0) return 1;
    int status = OpenDataFile();
    if (status != STATUS_OK) {
        ErrorPrintf("Unable to Open Files - Status %d\n", status);
        ResetEngine();
        return 1;
    }
    if (extendedMode == -1) ProbeEngineVersion();
    ClearSizeEntries();
    ConsoleKeysBegin();
    engineNotLoadedReport = ReportBeforeNotLoaded;
    RunOneScan();  // cancelled or stopped by a status, the report still follows
    ConsoleKeysEnd();
    int closeStatus = CloseDataFiles();
    ResetEngine();
    engineNotLoadedReport = nullptr;
    return ReportScan(closeStatus);
}

}  // namespace

int RunRecmeter(int argc, char** argv) {
    PrepareOutput();
    return FinishStandardOutput(RunSequence(argc, argv));
}

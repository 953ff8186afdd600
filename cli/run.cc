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

// A /T run that did not do what was asked ends with 1, after the whole
// report: the engine refused an Update, or refused to close the file it had
// changed (where it writes the changes out).
int TruncationExitCode(int closeStatus) {
    if (refusedUpdateCount != 0) {
        ErrorPrintf("Updates refused by the engine: %lu; those records were not changed.\n",
                    static_cast<unsigned long>(refusedUpdateCount));
        return 1;
    }
    bool changed = !runOptions.dryRun && runTotals.updatedCount != 0;
    return changed && closeStatus != STATUS_OK ? 1 : 0;
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
    RunOneScan();  // cancelled or stopped by a status, the report still follows
    ConsoleKeysEnd();
    int closeStatus = CloseDataFiles();
    ResetEngine();
    PrintTotals();
    exitCode = TruncationExitCode(closeStatus);
    if (runOptions.jsonPath[0] != '\0' && WriteJsonReport() != 0) return 1;
    return exitCode;
}

}  // namespace

int RunRecmeter(int argc, char** argv) {
    PrepareOutput();
    return FinishStandardOutput(RunSequence(argc, argv));
}

#include "cli/run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/options.h"
#include "cli/output.h"
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
    CloseDataFiles();
    ResetEngine();
    PrintTotals();
    if (runOptions.jsonPath[0] != '\0' && WriteJsonReport() != 0) return 1;
    return 0;
}

}  // namespace

int RunRecmeter(int argc, char** argv) {
    PrepareOutput();
    return FinishStandardOutput(RunSequence(argc, argv));
}

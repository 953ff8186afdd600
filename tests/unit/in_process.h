// The program's procedures run in the test process: its process-wide records
// as a new process has them, and what a step printed.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "cli/options.h"
#include "cli/run.h"
#include "cli/run_options.h"
#include "console/output.h"
#include "engine/engine.h"
#include "report/json_report.h"
#include "report/progress.h"
#include "report/summary.h"
#include "report/totals.h"
#include "scan/scans.h"
#include "scan/undo.h"

// Every record of the program's logic as a new process has it, the data
// buffer allocated. (The loader and the console keys hold a library and a
// terminal, not a row's state; the scripted tests replace both.)
inline void ResetProgram() {
    runOptions = RunOptions{};
    runTotals = RunTotals{};
    ClearSizeEntries();
    for (FileBlock& block : fileTable) block = FileBlock{};
    extendedMode = -1;
    engineNotLoadedReport = nullptr;
    versionReply = VersionReply{};
    progress = ProgressState{};
    output = OutputState{};
    refusedUpdateCount = 0;
    undoJournal = UndoState{};
    runState = RunState{};
    fileArguments.clear();
    fileResults.clear();
    fileDocuments.clear();
    if (recordBuffer == nullptr)
        recordBuffer = static_cast<unsigned char*>(std::malloc(RECORD_BUFFER_SIZE));
}

struct Streams {
    std::string out, err;
};
// Runs `step` and returns what it wrote to standard output and error.
inline Streams Capture(const std::function<void()>& step) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    step();
    FlushStandardOutput();
    return {testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

// One run of the program, from command line to report.
#pragma once

struct FileResult;

// Where the run is among its files.
struct RunState {
    int severalFiles = 0;               // the run is over several files, and ends with a summary
    FileResult* currentFile = nullptr;  // in a run over several files, the one under way
    int scanBegun = 0;                  // the current file's scan has begun, and its report is due
};
extern RunState runState;

// Returns the process exit code: 0 after a run that reached the report, 1 otherwise.
int RunRecmeter(int argc, char** argv);

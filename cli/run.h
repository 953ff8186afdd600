// One run of the program, from command line to report.
#pragma once

// Returns the process exit code: 0 after a run that reached the report, 1 otherwise.
int RunRecmeter(int argc, char** argv);

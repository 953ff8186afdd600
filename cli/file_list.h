// The data files of a run: the file arguments, with folders and patterns
// expanded into the files they name.
#pragma once

// Fills fileResults from fileArguments, in order: a folder gives every
// regular file directly in it, an argument whose last part holds "*" or "?"
// every file there whose name it matches, each in byte order of the names;
// any other argument stands for itself. Names that begin with "." come only
// from a pattern that begins with "." too. A folder or pattern that names
// no file gives a row of its own (FILE_NO_MATCH). Returns 1 when the run
// is over several files (more than one argument, or any folder or
// pattern), which gets a summary; 0 for one file named on its own.
int ListDataFiles();

// Whether `name` matches `pattern`: "*" stands for any run of characters,
// "?" for any one; every other character for itself, in the same case.
bool MatchesPattern(const char* pattern, const char* name);

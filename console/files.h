// The file system as the program uses it, where POSIX and Windows differ:
// what a name on the command line names and the files in a folder; a file
// written whole, so that a reader never sees part of it (the report file);
// and a file made new and written as the run goes (the undo journal).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum PathKind { PATH_NONE, PATH_FILE, PATH_FOLDER };

// What `path` names, links followed: a folder, anything else that exists
// (a file, a device), or nothing.
PathKind KindOfPath(const char* path);

// Appends to `names` the name of every regular file directly in `folder`
// (links followed), in no set order. Returns 0, or 1 when the folder cannot
// be read.
int ListRegularFiles(const char* folder, std::vector<std::string>* names);

// True for a character that ends a folder's name in a path: "/", and on
// Windows also "\" and the ":" of a drive.
bool IsPathSeparator(char character);

// The separator put between a folder and a name: "/", on Windows "\".
extern const char PATH_SEPARATOR;

// 1 when both paths name one existing file, links followed: the same device
// and inode (on Windows the same volume serial number and file index, from
// handles opened on both). 0 otherwise, also when either cannot be opened.
int SameExistingFile(const char* first, const char* second);

// What CheckWholeFileTarget and WriteWholeFile answer besides 0.
constexpr int WHOLE_FILE_UNWRITABLE = 1;
constexpr int WHOLE_FILE_NOT_OURS = 2;

// Given the path of an existing regular file that a whole file would
// replace: nonzero when it may be replaced (the report file's is
// IsReportOfThisProgram).
using ReplaceAllowed = int (*)(const char* existing);

// Whether a whole file can be written to `target`, as far as that can be known
// before it is: the target is no folder; one that exists and is not a
// regular file (a FIFO, a device) can be opened for writing; otherwise its
// name and folder fit the system's limits and a temporary can be created in
// that folder (one is, and removed at once). An existing regular file it
// would replace must also pass `mayReplace`. Returns 0,
// WHOLE_FILE_UNWRITABLE or WHOLE_FILE_NOT_OURS.
int CheckWholeFileTarget(const char* target, ReplaceAllowed mayReplace);

// Writes `length` bytes to `target`. A target that exists and is not a
// regular file, or is the file standard output or error goes to, is written
// to in place. Otherwise the bytes go to a fresh file created exclusively in
// the folder of the file the target names (a link is followed, and stays),
// which is flushed to disk and then renamed over that file, so a reader or a
// power cut sees the old file or the new one, never a part. The file it
// replaces is checked with `mayReplace` once more, as it is when written.
// Returns 0, WHOLE_FILE_UNWRITABLE or WHOLE_FILE_NOT_OURS, with no
// temporary left behind.
int WriteWholeFile(const char* target, const char* bytes, size_t length, ReplaceAllowed mayReplace);

// A file the run makes and writes as it goes (the undo journal), never one
// that exists. NewFile is its handle: a descriptor, or on Windows a HANDLE.
using NewFile = intptr_t;
constexpr NewFile NO_NEW_FILE = -1;

// Creates `path` exclusively. Returns its handle, or NO_NEW_FILE with
// *exists set when the name was taken (by any kind of file).
NewFile CreateNewFile(const char* path, int* exists);
// Appends `length` bytes. Returns 0, or 1.
int WriteNewFile(NewFile file, const char* bytes, size_t length);
// Flushes the file to disk, closes it, and flushes its folder's record of
// it, so that it is on disk before anything that relies on it is done.
// Returns 0, or 1 (the file is closed either way).
int FinishNewFile(NewFile file, const char* path);
// Closes the file and removes it.
void AbandonNewFile(NewFile file, const char* path);

// What a name on the command line names, and the files in a folder: what
// differs between POSIX and Windows.
#pragma once

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

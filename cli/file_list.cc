#include "cli/file_list.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cli/options.h"
#include "console/files.h"
#include "report/summary.h"

namespace {

// Where the last part of a path begins.
size_t NameStart(const std::string& path) {
    size_t start = path.size();
    while (start > 0 && !IsPathSeparator(path[start - 1])) --start;
    return start;
}

void AddFile(const std::string& path, int listed) {
    FileResult file{};
    file.path = path;
    file.listed = listed;
    file.document = -1;
    fileResults.push_back(file);
}

void AddNoMatch(const char* argument, int why) {
    FileResult file{};
    file.path = argument;
    file.outcome = FILE_NO_MATCH;
    file.failed = 1;
    file.noMatch = why;
    file.document = -1;
    fileResults.push_back(file);
}

// The files of `folder` whose names `pattern` matches (all, for none), in
// byte order, each as the folder's path and its name.
void AddListedFiles(const char* argument, const std::string& folder, const char* pattern) {
    std::vector<std::string> names;
    const std::string listed = folder.empty() ? "." : folder;
    if (ListRegularFiles(listed.c_str(), &names) != 0) {
        AddNoMatch(argument, NO_MATCH_UNREADABLE);
        return;
    }
    const bool dotNames = pattern != nullptr && pattern[0] == '.';
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&](const std::string& name) {
                                   if (name[0] == '.' && !dotNames) return true;
                                   return pattern != nullptr && !MatchesPattern(pattern, name.c_str());
                               }),
                names.end());
    if (names.empty()) {
        AddNoMatch(argument, pattern == nullptr ? NO_MATCH_EMPTY_FOLDER : NO_MATCH_PATTERN);
        return;
    }
    std::sort(names.begin(), names.end());
    std::string prefix = folder;
    if (!prefix.empty() && !IsPathSeparator(prefix.back())) prefix += PATH_SEPARATOR;
    for (const std::string& name : names) AddFile(prefix + name, 1);
}

}  // namespace

bool MatchesPattern(const char* pattern, const char* name) {
    const char* star = nullptr;  // the last "*" seen, and where its run may end
    const char* resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern == '?' || *pattern == *name) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*') ++pattern;
    return *pattern == '\0';
}

int ListDataFiles() {
    fileResults.clear();
    int expanded = 0;
    for (const char* argument : fileArguments) {
        const std::string path = argument;
        const size_t nameStart = NameStart(path);
        const PathKind kind = KindOfPath(argument);
        if (kind == PATH_FOLDER) {
            AddListedFiles(argument, path, nullptr);
            expanded = 1;
        } else if (kind == PATH_NONE && path.find_first_of("*?", nameStart) != std::string::npos) {
            AddListedFiles(argument, path.substr(0, nameStart), argument + nameStart);
            expanded = 1;
        } else {
            AddFile(path, 0);
        }
    }
    return fileArguments.size() > 1 || expanded ? 1 : 0;
}

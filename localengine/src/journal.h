// The journal: before an Update changes bytes of a record in place, the
// record's old header and the old bytes go to a side file (PATH.lej). The
// record is rewritten only once the journal is whole, and the journal is
// removed once the record is. A process that dies in between leaves the
// journal, and the next Open puts the old record back from it.
#pragma once

#include <cstdint>
#include <string>

#include "file_io.h"
#include "format.h"

namespace localengine {

// The side file of the data file at `path`.
inline std::string journalPathOf(const std::string& path) { return path + ".lej"; }

// Writes the journal of `entry` for the data file at `path`; a status.
int writeJournal(const std::string& path, const JournalEntry& entry);

// Removes the journal: the rewrite it guarded is complete. A status.
int removeJournal(const std::string& path);

// At Open: when a journal of the data file at `path` exists, puts the old
// record it holds back into `file` (of `fileSize` bytes) and removes it.
// *wrote is set when the file was written. A status.
int rollBackJournal(File& file, const std::string& path, uint64_t fileSize, bool* wrote);

}  // namespace localengine

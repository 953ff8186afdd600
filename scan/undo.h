// The undo journal in the scans: the pass that writes it before /T changes
// anything (/U), the check of each record against it as /T shortens it,
// and the restore that gives records back their filler (/R). Internal to
// scan/ and the run.
#pragma once

#include <cstdint>

#include "scan/undo_journal.h"

struct UndoState {
    // The journal a /T run writes, made by the run before the data file is
    // opened; and the one a restore reads, opened (and checked whole) then.
    UndoWriter writer;
    UndoReader reader{};
    // The one entry at hand: the record being journalled, or the next one read.
    UndoEntry entry{};
    int haveEntry = 0;  // entry holds the next entry not yet matched
};
extern UndoState undoJournal;

// What PrepareUndoJournal answers for a journal cut short before its
// trailer: the /T run that wrote it changed nothing, so nothing needs
// restoring. The run ends there with 0.
constexpr int NOTHING_TO_RESTORE = 2;

// Before the data file is opened: with /U, makes the journal (a new file,
// never one that exists, nor the report file) and writes its header; with
// /R, opens the journal and checks it whole. Returns 0, 1 after a message
// (the run ends with 1), or NOTHING_TO_RESTORE after a message.
int PrepareUndoJournal();

// Removes a journal PrepareUndoJournal made that no pass has written: the
// data file did not open.
void DropUndoJournal();

// The first pass of /T with /U: steps through every record /T will reach
// and journals each it will shorten; then the trailer, and the journal
// flushed to disk with its folder, before any Update. Reopens it for the
// second pass. Returns 0, or 1 when the journal could not be written or
// read back (after a message; /T then changes nothing), or Esc was pressed.
int WriteJournalPass();

// In /T's pass, for the record in recordBuffer of `length` bytes that is
// cut to `trimmed`: true when it is the record the journal's next entry
// holds, unchanged since the first pass. Entries of records no longer
// there are passed by.
bool JournalHoldsRecord(uint32_t length, uint32_t trimmed);

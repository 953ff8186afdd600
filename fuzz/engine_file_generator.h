// Data files of the local engine made from a short description, each with
// every checksum right, so that a fuzzer that describes files gets past the
// checksums to what they guard: slack, empty records, impossible lengths,
// records running past the end, a tail past the recorded end, counts that
// disagree, and journals left beside the file. Any bytes describe a file,
// and the same bytes always describe the same one.
//
// The description:
//   [0]    state: bits 0-1 what the file header says (kState...), bit 2
//          (kStateOwned) the owner given becomes the file's owner
//   [1]    journal: bits 6-7 its kind (kJournal...), bits 0-5 its record and
//          detail
//   then   4 bytes a record: length (u16, mod kGeneratedMaxLength), slack,
//          kRecord... flags
// fuzz/make_engine_seeds.py writes descriptions with the same numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kGeneratedMaxLength = 1024;
constexpr size_t kGeneratedMaxRecords = 200;

enum : uint8_t {
    kStateTrue = 0,
    kStateTailPastEnd = 1,  // records past the recorded end, as an append cut short leaves
    kStateCountTooHigh = 2,
    kStateEndInsideRecord = 3,
    kStateOwned = 4,
};
enum : uint8_t { kJournalNone = 0, kJournalRollBack = 1, kJournalForged = 2, kJournalTorn = 3 };
enum : uint8_t {
    kRecordDataFlipped = 1,
    kRecordHeaderFlipped = 2,
    kRecordLengthPastCapacity = 4,
    kRecordCutHere = 8,  // the file ends inside this record
    kRecordEmpty = 16,
    kRecordHugeCapacity = 32,
};

struct GeneratedEngineFile {
    std::string file;
    std::string journal;               // empty: none
    bool sound = true;                 // nothing in it is damaged or contradictory
    std::vector<std::string> records;  // what a walk must return when sound
};

// The file `description` describes, for opening with `owner`: the file's
// owner when the state says so; one longer than the engine takes leaves the
// file not sound, since the Open refuses it.
GeneratedEngineFile GenerateEngineFile(const uint8_t* description, size_t size,
                                       const std::string& owner);

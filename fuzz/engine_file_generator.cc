#include "fuzz/engine_file_generator.h"

#include <algorithm>

#include "crc32c.h"
#include "format.h"
#include "localengine.h"

namespace {

using localengine::crc32c;
using localengine::kFileHeaderSize;
using localengine::kMaxOwnerLen;
using localengine::kMaxRecordLength;
using localengine::kRecordHeaderSize;
using localengine::RecordHeader;

std::string HeaderBytes(const RecordHeader& header, uint64_t offset) {
    unsigned char bytes[kRecordHeaderSize];
    localengine::encodeRecordHeader(header, offset, bytes);
    return std::string(reinterpret_cast<char*>(bytes), sizeof bytes);
}

// A journal that puts `before` back as the data of the record at `offset`,
// under the header `old`.
std::string JournalBytes(uint64_t offset, const RecordHeader& old, const std::string& before) {
    return localengine::encodeJournal(localengine::JournalEntry{offset, old, before});
}

// Adds the journal the description's journal byte asks for to a sound file
// of records, where `offsets` and `headers` say where each record lies and
// what its header holds.
void AddJournal(uint8_t journal, const std::vector<uint64_t>& offsets,
                const std::vector<RecordHeader>& headers, GeneratedEngineFile* made) {
    const size_t index = (journal & 63) % offsets.size();
    const size_t at = static_cast<size_t>(offsets[index]);
    const std::string& before = made->records[index];
    switch (journal >> 6) {
        case kJournalRollBack: {
            // The record was being rewritten when its writer died: other bytes
            // on disk, the old ones in the journal. Open puts them back.
            std::string now = before;
            for (char& byte : now) byte ^= 0x5A;
            RecordHeader header = headers[index];
            header.dataCrc = crc32c(0, now.data(), now.size());
            made->file.replace(at, kRecordHeaderSize, HeaderBytes(header, offsets[index]));
            made->file.replace(at + kRecordHeaderSize, now.size(), now);
            made->journal = JournalBytes(offsets[index], headers[index], before);
            break;
        }
        case kJournalForged: {
            // Whole and checksummed, but for another place or a longer record.
            RecordHeader old = headers[index];
            if (journal & 1) old.capacity = std::min(old.capacity + 4096, kMaxRecordLength);
            std::string image = before + std::string((journal & 2) ? 4096 : 0, 'J');
            made->journal = JournalBytes(
                offsets[index] + ((journal & 4) ? localengine::kAlignment : 0), old, image);
            made->sound = false;
            break;
        }
        case kJournalTorn:
            // The writer died while writing the journal: the record is as it was.
            made->journal = JournalBytes(offsets[index], headers[index], before);
            made->journal.resize(journal % made->journal.size());
            break;
        default:
            break;
    }
}

}  // namespace

GeneratedEngineFile GenerateEngineFile(const uint8_t* description, size_t size,
                                       const std::string& owner) {
    GeneratedEngineFile made;
    made.sound = owner.size() <= kMaxOwnerLen;
    const uint8_t state = size > 0 ? description[0] : 0;
    const uint8_t journal = size > 1 ? description[1] : 0;
    const uint8_t* record = description + std::min<size_t>(size, 2);
    size -= std::min<size_t>(size, 2);

    std::string body;
    uint64_t offset = kFileHeaderSize;
    std::vector<uint64_t> offsets;
    std::vector<RecordHeader> headers;
    for (size_t index = 0; size >= 4 && index < kGeneratedMaxRecords;
         ++index, record += 4, size -= 4) {
        const uint8_t flags = record[3];
        uint32_t length = (record[0] | uint32_t{record[1]} << 8) % kGeneratedMaxLength;
        const uint32_t capacity = length + record[2] % 64;
        if (flags & kRecordEmpty) length = 0;
        std::string data(capacity, '\0');
        for (uint32_t at = 0; at < capacity; ++at) {
            data[at] = static_cast<char>((index * 31 + at * 7 + 1) & 0xFF);
        }
        RecordHeader header{length, capacity, crc32c(0, data.data(), length)};
        if (flags & kRecordLengthPastCapacity) header.length = capacity + 1;
        if (flags & kRecordHugeCapacity) header.capacity = kMaxRecordLength;
        std::string bytes = HeaderBytes(header, offset);
        if (flags & kRecordHeaderFlipped) {
            bytes[record[0] % kRecordHeaderSize] ^= static_cast<char>(1 << (record[1] % 8));
        }
        bytes += data;
        bytes.resize(static_cast<size_t>(localengine::recordEnd(offset, capacity) - offset), '\0');
        if ((flags & kRecordDataFlipped) && length > 0) {
            bytes[kRecordHeaderSize + record[1] % length] ^= '\x80';
        }
        if (flags & (kRecordDataFlipped | kRecordHeaderFlipped | kRecordLengthPastCapacity |
                     kRecordHugeCapacity)) {
            made.sound = false;
        }
        if (flags & kRecordCutHere) {
            body += bytes.substr(
                0, kRecordHeaderSize / 2 + record[2] % (bytes.size() - kRecordHeaderSize / 2));
            offset += bytes.size();
            made.sound = false;
            break;
        }
        offsets.push_back(offset);
        headers.push_back(header);
        made.records.push_back(data.substr(0, length));
        body += bytes;
        offset += bytes.size();
    }

    const uint64_t count = offsets.size();
    localengine::FileState fileState{kFileHeaderSize + body.size(), count};
    switch (state & 3) {
        case kStateTailPastEnd:
            fileState.dataEnd = count > 0 ? offsets[count / 2] : kFileHeaderSize;
            fileState.recordCount = count / 2;
            break;
        case kStateCountTooHigh:
            fileState.recordCount += 1 + journal % 3;
            made.sound = false;
            break;
        case kStateEndInsideRecord:
            if (fileState.dataEnd > kFileHeaderSize) fileState.dataEnd -= localengine::kAlignment;
            made.sound = made.sound && count == 0;
            break;
        default:
            break;
    }
    const bool fileOwner = (state & kStateOwned) && owner.size() <= kMaxOwnerLen;
    unsigned char header[kFileHeaderSize];
    localengine::encodeHeader(localengine::FileHeader{fileOwner ? owner : std::string()}, fileState,
                              header);
    made.file.assign(reinterpret_cast<char*>(header), sizeof header);
    made.file += body;

    // A journal beside a file that is already damaged would say nothing more.
    if (count != 0 && made.sound) AddJournal(journal, offsets, headers, &made);
    return made;
}

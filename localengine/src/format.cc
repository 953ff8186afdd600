#include "format.h"

#include <cstring>

#include "crc32c.h"
#include "localengine.h"

namespace localengine {

void put16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* p, uint32_t v) {
    put16(p, static_cast<uint16_t>(v));
    put16(p + 2, static_cast<uint16_t>(v >> 16));
}
void put64(unsigned char* p, uint64_t v) {
    put32(p, static_cast<uint32_t>(v));
    put32(p + 4, static_cast<uint32_t>(v >> 32));
}
uint16_t get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const unsigned char* p) { return get16(p) | (uint32_t{get16(p + 2)} << 16); }
uint64_t get64(const unsigned char* p) { return get32(p) | (uint64_t{get32(p + 4)} << 32); }

namespace {
// Offsets of the fixed header fields.
constexpr uint32_t kVersionAt = 8;
constexpr uint32_t kHeaderSizeAt = 12;
constexpr uint32_t kAlignmentAt = 16;
constexpr uint32_t kOwnerLenAt = 20;
constexpr uint32_t kOwnerAt = 24;
constexpr uint32_t kStateCrcAt = kStateSize - 4;
constexpr uint32_t kRecordTag = 0x4345524Cu;  // "LREC"
}  // namespace

void encodeState(const FileState& s, unsigned char out[kStateSize]) {
    std::memset(out, 0, kStateSize);
    put64(out, s.dataEnd);
    put64(out + 8, s.recordCount);
    put32(out + kStateCrcAt, crc32c(0, out, kStateCrcAt));
}

bool decodeState(const unsigned char in[kStateSize], FileState* s) {
    if (get32(in + kStateCrcAt) != crc32c(0, in, kStateCrcAt)) return false;
    s->dataEnd = get64(in);
    s->recordCount = get64(in + 8);
    return s->dataEnd >= kFileHeaderSize && s->dataEnd % kAlignment == 0 && s->dataEnd <= kMaxFileOffset &&
           s->recordCount <= (s->dataEnd - kFileHeaderSize) / kAlignment;
}

void encodeHeader(const FileHeader& h, const FileState& s, unsigned char out[kFileHeaderSize]) {
    std::memset(out, 0, kFileHeaderSize);
    std::memcpy(out, kMagic, sizeof kMagic);
    put32(out + kVersionAt, kFormatVersion);
    put32(out + kHeaderSizeAt, kFileHeaderSize);
    put32(out + kAlignmentAt, kAlignment);
    put32(out + kOwnerLenAt, static_cast<uint32_t>(h.owner.size()));
    std::memcpy(out + kOwnerAt, h.owner.data(), h.owner.size());
    put32(out + kHeaderCrcOffset, crc32c(0, out, kHeaderCrcOffset));
    encodeState(s, out + kStateOffset);
}

HeaderCheck decodeHeader(const unsigned char in[kFileHeaderSize], FileHeader* h) {
    if (std::memcmp(in, kMagic, sizeof kMagic) != 0) return HeaderCheck::Foreign;
    if (get32(in + kHeaderCrcOffset) != crc32c(0, in, kHeaderCrcOffset)) return HeaderCheck::Damaged;
    uint32_t ownerLen = get32(in + kOwnerLenAt);
    if (get32(in + kVersionAt) != kFormatVersion || get32(in + kHeaderSizeAt) != kFileHeaderSize ||
        get32(in + kAlignmentAt) != kAlignment || ownerLen > kMaxOwnerLen)
        return HeaderCheck::Damaged;
    h->owner.assign(reinterpret_cast<const char*>(in + kOwnerAt), ownerLen);
    return HeaderCheck::Ok;
}

namespace {
uint32_t recordHeaderCrc(const unsigned char* fields, uint64_t offset) {
    unsigned char buf[24];
    put32(buf, kRecordTag);
    put64(buf + 4, offset);
    std::memcpy(buf + 12, fields, 12);
    return crc32c(0, buf, sizeof buf);
}
}  // namespace

void encodeRecordHeader(const RecordHeader& r, uint64_t offset, unsigned char out[kRecordHeaderSize]) {
    put32(out, r.length);
    put32(out + 4, r.capacity);
    put32(out + 8, r.dataCrc);
    put32(out + 12, recordHeaderCrc(out, offset));
}

bool decodeRecordHeader(const unsigned char in[kRecordHeaderSize], uint64_t offset, RecordHeader* r) {
    if (get32(in + 12) != recordHeaderCrc(in, offset)) return false;
    r->length = get32(in);
    r->capacity = get32(in + 4);
    r->dataCrc = get32(in + 8);
    return r->length <= r->capacity && r->capacity <= kMaxRecordLength;
}

namespace {
// Magic, record offset, old record header, before-image length, before-image, CRC32C.
constexpr unsigned char kJournalMagic[8] = {'L', 'E', 'N', 'G', 'J', 'R', 'N', 0x1A};
constexpr size_t kJournalFixed = 8 + 8 + kRecordHeaderSize + 4;
}  // namespace

std::string encodeJournal(const JournalEntry& j) {
    std::string out(kJournalFixed + j.beforeImage.size() + 4, '\0');
    auto* p = reinterpret_cast<unsigned char*>(&out[0]);
    std::memcpy(p, kJournalMagic, sizeof kJournalMagic);
    put64(p + 8, j.offset);
    encodeRecordHeader(j.old, j.offset, p + 16);
    put32(p + 16 + kRecordHeaderSize, static_cast<uint32_t>(j.beforeImage.size()));
    std::memcpy(p + kJournalFixed, j.beforeImage.data(), j.beforeImage.size());
    size_t body = kJournalFixed + j.beforeImage.size();
    put32(p + body, crc32c(0, p, body));
    return out;
}

bool decodeJournal(const std::string& bytes, JournalEntry* j) {
    if (bytes.size() < kJournalFixed + 4) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (std::memcmp(p, kJournalMagic, sizeof kJournalMagic) != 0) return false;
    size_t n = get32(p + 16 + kRecordHeaderSize);
    size_t body = kJournalFixed + n;
    if (n > kMaxRecordLength || body + 4 != bytes.size() || get32(p + body) != crc32c(0, p, body)) return false;
    j->offset = get64(p + 8);
    j->beforeImage.assign(bytes, kJournalFixed, n);
    return decodeRecordHeader(p + 16, j->offset, &j->old) && n <= j->old.capacity;
}

}  // namespace localengine

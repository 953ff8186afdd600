// What the data file's tests share: a small tuning and a walk through every
// record of a file.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data_file.h"
#include "localengine.h"
#include "support/records.h"

namespace localengine {

// A record's bytes, as the data file class takes them (RecordBytes<Record>).
using Record = std::string;
using support::MakeFile;
using support::RecordBytes;

// Stretches and an append buffer far smaller than the records, so reads and
// writes cross their edges all the time.
inline DataFile::Tuning tiny(bool readAhead = true) {
    DataFile::Tuning t;
    t.stretchSize = 64;
    t.writeBufferSize = 100;
    t.readAhead = readAhead;
    return t;
}

inline const unsigned char* bytesOf(const std::string& s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// Every record in physical order; `last` gets the status that ended the walk.
inline std::vector<std::string> readAll(DataFile& f, int* last) {
    std::vector<std::string> out;
    std::vector<unsigned char> buf(1 << 16);
    const uint32_t size = static_cast<uint32_t>(buf.size());
    uint32_t n = 0;
    for (*last = f.stepFirst(buf.data(), size, &n); *last == kOk; *last = f.stepNext(buf.data(), size, &n))
        out.emplace_back(reinterpret_cast<char*>(buf.data()), n);
    return out;
}

}  // namespace localengine

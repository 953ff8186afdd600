// What the data file's tests share: records, a small tuning, a file made of
// records, and a walk through every record of one.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data_file.h"
#include "localengine.h"

namespace localengine {

// Deterministic bytes of test record `seed`.
inline std::string recordOf(size_t len, int seed) {
    std::string r(len, '\0');
    for (size_t i = 0; i < len; ++i) r[i] = static_cast<char>((i * 31 + static_cast<size_t>(seed) * 7) & 0xFF);
    return r;
}

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

// Creates `path` with `owner`, holding `records` written through `tuning`;
// any status but 0 fails the test.
inline void makeFile(const std::string& path, const std::vector<std::string>& records, const DataFile::Tuning& tuning,
                     const std::string& owner = {}) {
    ASSERT_EQ(DataFile::create(path, owner), kOk);
    DataFile f(tuning);
    ASSERT_EQ(f.open(path, owner), kOk);
    for (const std::string& r : records) ASSERT_EQ(f.insert(bytesOf(r), static_cast<uint32_t>(r.size())), kOk);
    ASSERT_EQ(f.close(), kOk);
}

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

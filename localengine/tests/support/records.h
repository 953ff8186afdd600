// Test records, and engine files made of them through the layer a test
// drives: the data file class (the engine's unit tests) or the entry points
// (its behaviour tests). Files made with recfile's items are in process.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace support {

// Deterministic bytes of test record `index` (a long one holds every byte
// value), as a byte vector or a std::string.
template <typename Bytes = std::vector<uint8_t>>
Bytes RecordBytes(uint32_t index, size_t length) {
    Bytes bytes(length, 0);
    for (size_t j = 0; j < length; ++j)
        bytes[j] = static_cast<typename Bytes::value_type>(index * 131u + j * 7u + (j >> 8));
    return bytes;
}

// Creates `path` owned by `owner`, holding `records`, through `file`: a
// closed file of the layer under test, whose create, open, insert (bytes and
// length) and close answer statuses. Any status but 0 fails the test. Records
// listed in braces are byte vectors.
template <typename Record = std::vector<uint8_t>, typename File>
void MakeFile(File&& file, const std::string& path, const std::vector<Record>& records, const Record& owner = {}) {
    ASSERT_EQ(file.create(path, owner), 0) << path;
    ASSERT_EQ(file.open(path, owner), 0) << path;
    for (const Record& r : records) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(r.data());
        ASSERT_EQ(file.insert(bytes, static_cast<uint32_t>(r.size())), 0) << "record of " << r.size();
    }
    ASSERT_EQ(file.close(), 0) << path;
}

}  // namespace support

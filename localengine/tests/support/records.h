// Test records, and engine files of them made through the layer a test
// drives: the data file class or the entry points. Files of recfile's items
// are in process.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace support {

// Deterministic bytes of test record `index` (a long one holds every byte value).
template <typename Bytes = std::vector<uint8_t>>
Bytes RecordBytes(uint32_t index, size_t length) {
    Bytes bytes(length, 0);
    for (size_t j = 0; j < length; ++j)
        bytes[j] = static_cast<typename Bytes::value_type>(index * 131u + j * 7u + (j >> 8));
    return bytes;
}

// Creates `path` owned by `owner` and holding `records` through `file`, a closed file whose create, open, insert
// (bytes and length) and close answer statuses; any but 0 fails the test. Records in braces are byte vectors.
template <typename Record = std::vector<uint8_t>, typename File>
void MakeFile(File&& file, const std::string& path, const std::vector<Record>& records, const Record& owner = {}) {
    ASSERT_EQ(file.create(path, owner), 0) << path;
    ASSERT_EQ(file.open(path, owner), 0) << path;
    for (const Record& r : records) {
        ASSERT_EQ(file.insert(reinterpret_cast<const unsigned char*>(r.data()), uint32_t(r.size())), 0) << r.size();
    }
    ASSERT_EQ(file.close(), 0) << path;
}

}  // namespace support

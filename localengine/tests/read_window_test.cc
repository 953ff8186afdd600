#include "read_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/test_support.h"

namespace localengine {
namespace {

// A write the engine makes while the window holds the current stretch and
// the reader has asked for, or already read, the stretches after it: a
// walk through the window afterwards sees the file as written, wherever the
// write fell.
TEST(ReadWindowTest, WritesReachEveryStretchHeld) {
    constexpr size_t kStretch = 64;
    constexpr size_t kFileSize = 10 * kStretch;
    struct Row {
        const char* where;
        uint64_t offset;
        size_t length;
    };
    const Row rows[] = {
        {"in the current stretch", 70, 10},
        {"in the first stretch ahead", 130, 20},
        {"in the second stretch ahead", 200, 40},
        {"across all three", 100, 150},
        {"past what was asked for", 400, 30},
    };
    support::TempDir dir("rw");
    for (bool readAhead : {true, false}) {
        for (bool settle : {false, true}) {
            for (const Row& row : rows) {
                SCOPED_TRACE(std::string(row.where) + (readAhead ? ", reading ahead" : ", in place") +
                             (settle ? ", reads done" : ""));
                std::string bytes(kFileSize, '\0');
                for (size_t i = 0; i < kFileSize; ++i) bytes[i] = static_cast<char>(i * 7);
                const std::string path = dir.path("f.dat");
                support::WriteFile(path, bytes);
                File file;
                ASSERT_EQ(file.open(path), File::Result::Ok);
                ReadWindow window(kStretch, readAhead);
                ASSERT_NE(window.view(file, kFileSize, 0, 16), nullptr);
                ASSERT_NE(window.view(file, kFileSize, kStretch, 16), nullptr);  // the first stretch ahead
                if (settle) std::this_thread::sleep_for(std::chrono::milliseconds(20));

                const std::string written(row.length, 'W');
                ASSERT_TRUE(file.writeAt(row.offset, written.data(), written.size()));
                window.wrote(row.offset, written.data(), written.size());
                bytes.replace(row.offset, row.length, written);

                for (uint64_t at = kStretch; at < kFileSize; at += 16) {
                    const unsigned char* p = window.view(file, kFileSize, at, 16);
                    ASSERT_NE(p, nullptr) << at;
                    ASSERT_EQ(std::string(reinterpret_cast<const char*>(p), 16), bytes.substr(at, 16)) << at;
                }
                window.release();
                file.close();
                ASSERT_TRUE(File::remove(path));
            }
        }
    }
}

}  // namespace
}  // namespace localengine

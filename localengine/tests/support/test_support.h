// What every test of the program, the engine and recfile shares: bytes as
// hex, whole files, lines of output, numbers in a report and a scratch
// folder for each test. Builds on every target (the Windows and ARM builds
// run the engine's tests too); child processes and recfile are in
// process.h, POSIX only.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace support {

// Lower-case hex, two digits a byte, as recfile's hex command prints records.
std::string Hex(std::string_view bytes);
inline std::string Hex(const std::vector<uint8_t>& bytes) {
    return Hex({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
}
// The bytes of hex digits of either case; throws std::invalid_argument on an
// odd count or a character that is no digit.
std::vector<uint8_t> Unhex(std::string_view digits);

// The lines of a program's output, without their "\n"; a last line without
// one counts, an empty text has none.
std::vector<std::string> Lines(std::string_view text);
// The words of a text, split at blanks: items or options written as one
// text in a test table ("100 70000 300000").
std::vector<std::string> Words(const std::string& text);

// The number that follows `label` in `text` ("Total Scanned Record Count: "
// in a report), or -1 when the label is not there.
long NumberAfter(const std::string& text, const std::string& label);

// A whole file's bytes, and a file replaced by `bytes`; both throw
// std::runtime_error when the file cannot be read or written, so a test
// never goes on with bytes it did not get or did not write.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, std::string_view bytes);

// A fresh folder in the system's temporary folder, named PREFIX-XXXXXXXX,
// removed with everything in it at the end; kept (and named on stderr) when
// RECMETER_TEST_KEEP is set, for a look after a failure.
class TempDir {
public:
    explicit TempDir(std::string_view prefix);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& dir() const { return dir_; }
    // `name` inside the folder.
    std::string path(std::string_view name) const;

private:
    std::string dir_;
};

// A fixture that gives each test a fresh folder, and files in it by name.
class FolderTest : public ::testing::Test {
protected:
    const std::string& dir() const { return dir_.dir(); }
    std::string path(std::string_view name) const { return dir_.path(name); }
    std::string ReadFile(std::string_view name) const { return support::ReadFile(path(name)); }
    void WriteFile(std::string_view name, std::string_view bytes) const { support::WriteFile(path(name), bytes); }

private:
    TempDir dir_{"recmeter-test"};
};

}  // namespace support

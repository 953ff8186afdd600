#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

namespace support {
namespace {

constexpr char kDigits[] = "0123456789abcdef";

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string Hex(std::string_view bytes) {
    std::string text;
    text.reserve(2 * bytes.size());
    for (unsigned char b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

std::vector<uint8_t> Unhex(std::string_view digits) {
    if (digits.size() % 2 != 0) throw std::invalid_argument("odd number of hex digits");
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < digits.size(); i += 2) {
        const int high = DigitValue(digits[i]), low = DigitValue(digits[i + 1]);
        if (high < 0 || low < 0) throw std::invalid_argument("not hex: " + std::string(digits));
        bytes.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return bytes;
}

std::vector<std::string> Lines(std::string_view text) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

long NumberAfter(const std::string& text, const std::string& label) {
    const size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + label.size(), nullptr, 10);
}

std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(std::istreambuf_iterator<char>(in), {});
    if (!in.is_open() || in.bad()) throw std::runtime_error("cannot read " + path);
    return bytes;
}

void WriteFile(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (out.fail()) throw std::runtime_error("cannot write " + path);
}

TempDir::TempDir(std::string_view prefix) {
    // create_directory answers false for a name already taken, so two tests
    // that draw the same name never share a folder.
    std::random_device random;
    for (;;) {
        const unsigned tag = random();
        std::string name(prefix);
        name += '-';
        for (int shift = 28; shift >= 0; shift -= 4) name += kDigits[tag >> shift & 15];
        const std::filesystem::path dir = std::filesystem::temp_directory_path() / name;
        if (std::filesystem::create_directory(dir)) {
            dir_ = dir.string();
            return;
        }
    }
}

TempDir::~TempDir() {
    if (std::getenv("RECMETER_TEST_KEEP") != nullptr) {
        std::fprintf(stderr, "kept %s\n", dir_.c_str());
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string TempDir::path(std::string_view name) const { return (std::filesystem::path(dir_) / name).string(); }

}  // namespace support

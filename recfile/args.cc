#include "args.h"

#include <algorithm>
#include <limits>

namespace recfile {

uint64_t parseNumber(const std::string& text, uint64_t max, const std::string& what) {
    if (text.empty()) throw UsageError(what + " is missing");
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') throw UsageError(what + " is not a number: '" + text + "'");
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (max - digit) / 10) {
            throw UsageError(what + " is too large: " + text + " (at most " + std::to_string(max) + ")");
        }
        value = value * 10 + digit;
    }
    return value;
}

static int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<uint8_t> parseHex(const std::string& text, const std::string& what) {
    if (text.size() % 2 != 0) throw UsageError(what + " needs an even number of hex digits");
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = hexDigit(text[i]);
        const int lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) throw UsageError(what + " is not hex: '" + text + "'");
        bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

Item parseItem(const std::string& text, uint64_t maxLength) {
    const std::string what = "item '" + text + "'";
    Item item;
    if (text.compare(0, 4, "hex:") == 0) {
        item.literal = true;
        item.bytes = parseHex(text.substr(4), what);
    } else {
        constexpr uint64_t kHuge = std::numeric_limits<uint32_t>::max();
        std::string sizes = text;
        const size_t x = text.find('x');
        if (x != std::string::npos) {
            sizes = text.substr(0, x);
            item.count = parseNumber(text.substr(x + 1), kHuge, what + ": count");
            if (item.count == 0) throw UsageError(what + ": count must be at least 1");
        }
        const size_t plus = sizes.find('+');
        item.filled = parseNumber(sizes.substr(0, plus), kHuge, what + ": length");
        if (plus != std::string::npos) {
            item.nulls = parseNumber(sizes.substr(plus + 1), kHuge, what + ": null count");
        }
        if (item.length() == 0) {
            throw UsageError(what + ": a record needs at least one byte (hex: makes an empty one)");
        }
    }
    if (item.length() > maxLength) {
        throw UsageError(what + ": record of " + std::to_string(item.length()) +
                         " bytes is longer than the engine's maximum of " + std::to_string(maxLength));
    }
    return item;
}

void fillRecord(std::vector<uint8_t>& out, uint64_t filled, uint64_t nulls) {
    out.resize(static_cast<size_t>(filled + nulls));
    for (uint64_t i = 0; i < filled; ++i) out[i] = static_cast<uint8_t>('A' + i % 26);
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(filled), out.end(), uint8_t{0});
}

}  // namespace recfile

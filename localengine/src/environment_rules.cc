#include "environment_rules.h"

#include <cctype>
#include <climits>

#include "format.h"

namespace localengine {
namespace {

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(sep, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// Decimal digits only (a sign where allowed), within [lo, hi].
bool toNumber(const std::string& s, long long lo, long long hi, long long* out) {
    size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+') && lo < 0) ? 1 : 0;
    if (i == s.size() || s.size() - i > 12) return false;
    long long v = 0;
    for (size_t k = i; k < s.size(); ++k) {
        if (!std::isdigit(static_cast<unsigned char>(s[k]))) return false;
        v = v * 10 + (s[k] - '0');
    }
    if (s[0] == '-') v = -v;
    if (v < lo || v > hi) return false;
    *out = v;
    return true;
}

}  // namespace

bool parseFaults(const std::string& text, std::vector<FaultRule>* rules) {
    rules->clear();
    if (trim(text).empty()) return true;
    std::vector<FaultRule> parsed;
    for (const std::string& raw : split(text, ',')) {
        std::string item = trim(raw);
        size_t eq = item.find('=');
        if (eq == std::string::npos) return false;
        std::string lhs = item.substr(0, eq);
        size_t hash = lhs.find('#');
        long long op = 0, nth = 0, status = 0;
        if (!toNumber(lhs.substr(0, hash), 0, 65535, &op) || !toNumber(item.substr(eq + 1), INT_MIN, INT_MAX, &status))
            return false;
        if (hash != std::string::npos && !toNumber(lhs.substr(hash + 1), 1, UINT32_MAX, &nth)) return false;
        parsed.push_back(FaultRule{static_cast<uint16_t>(op), static_cast<uint32_t>(nth), static_cast<int>(status)});
    }
    *rules = std::move(parsed);
    return true;
}

bool findFault(const std::vector<FaultRule>& rules, uint16_t op, uint64_t count, int* status) {
    const FaultRule* every = nullptr;
    for (const FaultRule& r : rules) {
        if (r.op != op) continue;
        if (r.nth == count) {
            *status = r.status;
            return true;
        }
        if (r.nth == 0 && !every) every = &r;
    }
    if (every) *status = every->status;
    return every != nullptr;
}

bool parseVersionReply(const std::string& text, std::vector<unsigned char>* reply) {
    reply->clear();
    if (trim(text).empty()) return true;
    std::vector<std::string> entries = split(text, ',');
    if (entries.size() > 3) return false;
    std::vector<unsigned char> out;
    for (const std::string& raw : entries) {
        std::string e = trim(raw);
        unsigned char letter = ' ';
        if (!e.empty() && std::isalpha(static_cast<unsigned char>(e.back()))) {
            letter = static_cast<unsigned char>(e.back());
            e.pop_back();
        }
        size_t dot = e.find('.');
        long long version = 0, revision = 0;
        if (dot == std::string::npos || !toNumber(e.substr(0, dot), 0, 65535, &version) ||
            !toNumber(e.substr(dot + 1), 0, 65535, &revision))
            return false;
        unsigned char entry[5];
        put16(entry, static_cast<uint16_t>(version));
        put16(entry + 2, static_cast<uint16_t>(revision));
        entry[4] = letter;
        out.insert(out.end(), entry, entry + 5);
    }
    *reply = std::move(out);
    return true;
}

std::vector<unsigned char> defaultVersionReply() {
    std::vector<unsigned char> r;
    parseVersionReply("13.30", &r);
    return r;
}

}  // namespace localengine

// recfile: makes and inspects local-engine files.
//
//   recfile create PATH [OWNER]
//   recfile add    PATH [OWNER] ITEM...
//   recfile gen    PATH [OWNER] --count=N --min=A --max=B [--seed=S]
//   recfile list   PATH [OWNER]     "POSITION LENGTH" per record
//   recfile hex    PATH [OWNER]     each record's bytes in lowercase hex
//   recfile check  PATH [OWNER]     exit 0 when the engine finds the file sound
//   OWNER: --owner=TEXT or --owner-hex=HEX
//
// Usage mistakes exit 2, failures (engine statuses, damaged files) exit 1;
// either way one line "recfile: ..." goes to standard error. Everything on
// the command line is validated before the file is touched.
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "args.h"
#include "file_client.h"
#include "standard_streams.h"

namespace recfile {
namespace {

constexpr const char* kUsage =
    "usage: recfile COMMAND PATH [OPTIONS] [ITEM...]\n"
    "  create PATH [OWNER]            make an empty file\n"
    "  add    PATH [OWNER] ITEM...    append records\n"
    "  gen    PATH [OWNER] --count=N --min=A --max=B [--seed=S]\n"
    "                                 append N records of random lengths in [A,B]\n"
    "  list   PATH [OWNER]            one line per record: POSITION LENGTH\n"
    "  hex    PATH [OWNER]            one line per record: its bytes in hex\n"
    "  check  PATH [OWNER]            exit 0 when the file is sound\n"
    "OWNER: --owner=TEXT | --owner-hex=HEX   the file's owner (a file made with one\n"
    "       must be given it every time)\n"
    "ITEM: N | NxC        C records of N non-blank bytes\n"
    "      N+Z | N+ZxC    N non-blank bytes then Z null bytes\n"
    "      hex:HEX        one record of exactly those bytes\n";

struct Command {
    std::string name;
    std::string path;
    std::vector<uint8_t> owner;
    std::map<std::string, std::string> options;  // gen's numbers, by name
    std::vector<std::string> words;              // add's ITEMs
};

Command parseCommandLine(int argc, char** argv) {
    Command cmd;
    cmd.name = argv[1];
    static const char* const kCommands[] = {"create", "add", "gen", "list", "hex", "check"};
    bool known = false;
    for (const char* c : kCommands) known = known || cmd.name == c;
    if (!known) throw UsageError("unknown command '" + cmd.name + "' (try recfile --help)");

    bool haveOwner = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.compare(0, 2, "--") != 0) {
            if (cmd.path.empty()) {
                cmd.path = arg;
            } else {
                cmd.words.push_back(arg);
            }
            continue;
        }
        const size_t eq = arg.find('=');
        const std::string key = arg.substr(0, eq);
        if (eq == std::string::npos) throw UsageError("option " + arg + " needs a value (" + arg + "=...)");
        const std::string value = arg.substr(eq + 1);
        if (key == "--owner" || key == "--owner-hex") {
            if (haveOwner) throw UsageError("give the owner only once");
            haveOwner = true;
            cmd.owner = key == "--owner" ? std::vector<uint8_t>(value.begin(), value.end())
                                         : parseHex(value, "owner");
            if (cmd.owner.size() > localengine::kMaxOwnerLen) {
                throw UsageError("owner is " + std::to_string(cmd.owner.size()) + " bytes, at most " +
                                 std::to_string(localengine::kMaxOwnerLen) + " allowed");
            }
        } else if (cmd.name == "gen" &&
                   (key == "--count" || key == "--min" || key == "--max" || key == "--seed")) {
            if (cmd.options.count(key)) throw UsageError("option " + key + " given twice");
            cmd.options[key] = value;
        } else {
            throw UsageError("unknown option " + key + " for " + cmd.name);
        }
    }
    if (cmd.path.empty()) throw UsageError(cmd.name + " needs a PATH");
    if (cmd.name == "add" && cmd.words.empty()) throw UsageError("add needs at least one ITEM");
    if (cmd.name != "add" && !cmd.words.empty()) {
        throw UsageError("unexpected argument '" + cmd.words.front() + "' for " + cmd.name);
    }
    return cmd;
}

// Standard output was closed when the tool started (it is /dev/null now).
bool outputClosed = false;

// Buffered standard output; a failed write is an error, not a silent loss.
class Output {
public:
    ~Output() { flush(); }
    std::string& text() {
        if (buf_.size() > (1u << 16)) flush();
        return buf_;
    }
    void finish() {
        flush();
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) throw std::runtime_error("writing the output failed");
        if (outputClosed) throw std::runtime_error("writing the output failed: standard output is closed");
    }

private:
    void flush() {
        if (!buf_.empty()) std::fwrite(buf_.data(), 1, buf_.size(), stdout);
        buf_.clear();
    }
    std::string buf_;
};

void runAdd(const Command& cmd) {
    std::vector<Item> items;
    for (const std::string& word : cmd.words) items.push_back(parseItem(word, kMaxRecordLen));
    FileClient file(cmd.path, cmd.owner);
    std::vector<uint8_t> record;
    for (const Item& item : items) {
        if (item.literal) {
            record = item.bytes;
        } else {
            fillRecord(record, item.filled, item.nulls);
        }
        for (uint64_t i = 0; i < item.count; ++i) {
            file.insert(record.data(), static_cast<uint32_t>(record.size()));
        }
    }
    file.close();
}

// splitmix64: the same lengths from the same seed on every target.
uint64_t nextRandom(uint64_t& state) {
    uint64_t z = (state += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

std::string option(const Command& cmd, const std::string& key, const char* fallback) {
    const auto it = cmd.options.find(key);
    if (it != cmd.options.end()) return it->second;
    if (fallback) return fallback;
    throw UsageError("gen needs " + key + "=N");
}

void runGen(const Command& cmd) {
    const uint64_t count = parseNumber(option(cmd, "--count", nullptr), UINT32_MAX, "--count");
    const uint64_t minLen = parseNumber(option(cmd, "--min", nullptr), kMaxRecordLen, "--min");
    const uint64_t maxLen = parseNumber(option(cmd, "--max", nullptr), kMaxRecordLen, "--max");
    uint64_t seed = parseNumber(option(cmd, "--seed", "1"), UINT64_MAX, "--seed");
    if (minLen > maxLen) throw UsageError("--min is larger than --max");

    std::unique_ptr<FileClient> file;
    try {
        file.reset(new FileClient(cmd.path, cmd.owner));
    } catch (const EngineError& e) {
        if (e.status != localengine::kFileNotFound) throw;
        FileClient::create(cmd.path, cmd.owner);
        file.reset(new FileClient(cmd.path, cmd.owner));
    }
    std::vector<uint8_t> pattern;  // every record is a prefix of the longest
    fillRecord(pattern, maxLen, 0);
    const uint64_t span = maxLen - minLen + 1;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t length = minLen + nextRandom(seed) % span;
        file->insert(pattern.data(), static_cast<uint32_t>(length));
    }
    file->close();
}

void appendNumber(std::string& out, uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) out.push_back(digits[--n]);
}

// list, hex: walk the file in physical order.
void runWalk(const Command& cmd) {
    FileClient file(cmd.path, cmd.owner);
    Output out;
    const bool hex = cmd.name == "hex";
    static const char kHexDigits[] = "0123456789abcdef";
    const FileClient::Sink toHex = [&](const uint8_t* bytes, uint32_t count) {
        std::string& text = out.text();
        const size_t start = text.size();
        text.resize(start + 2 * static_cast<size_t>(count));
        for (uint32_t i = 0; i < count; ++i) {
            text[start + 2 * i] = kHexDigits[bytes[i] >> 4];
            text[start + 2 * i + 1] = kHexDigits[bytes[i] & 15];
        }
    };
    const FileClient::Sink ignore = [](const uint8_t*, uint32_t) {};
    uint32_t length = 0;
    for (bool first = true; file.step(first, hex ? toHex : ignore, length); first = false) {
        std::string& text = out.text();
        if (!hex) {
            appendNumber(text, file.position());
            text.push_back(' ');
            appendNumber(text, length);
        }
        text.push_back('\n');
    }
    out.finish();
    file.close();
}

int run(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    try {
        const Command cmd = parseCommandLine(argc, argv);
        if (cmd.name == "create") {
            FileClient::create(cmd.path, cmd.owner);
        } else if (cmd.name == "add") {
            runAdd(cmd);
        } else if (cmd.name == "gen") {
            runGen(cmd);
        } else if (cmd.name == "check") {
            FileClient file(cmd.path, cmd.owner);
            const int st = file.check();
            if (st != localengine::kOk) throw EngineError(cmd.path, "check", st);
            file.close();
        } else {
            runWalk(cmd);
        }
        return 0;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "recfile: not enough memory for a record that long\n");
        return 1;
    } catch (const UsageError& e) {
        std::fprintf(stderr, "recfile: %s\n", e.what());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "recfile: %s\n", e.what());
        return 1;
    }
}

}  // namespace
}  // namespace recfile

int main(int argc, char** argv) {
    recfile::outputClosed = recfile::secureStandardStreams() != 0;
#ifdef _WIN32
    // Lines end in "\n" on every target, so outputs compare byte for byte.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    return recfile::run(argc, argv);
}

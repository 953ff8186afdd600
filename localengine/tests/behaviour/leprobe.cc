// leprobe: runs a list of requests against the engine in a process of its
// own, so tests can give it its own LOCALENGINE_VERSION / LOCALENGINE_FAULTS.
//
//   leprobe std|ex PATH REQUEST...
//   REQUEST: open | open:OWNERHEX | first | next | close | pos | check
//            | version:BUFLEN | set:NAME=VALUE (changes the environment now)
//
// Prints one word per request, STATUS/LENGTH/HEX (HEX: the first 32 bytes
// returned, "-" when none), separated by blanks.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "localengine.h"
#include "standard_streams.h"
#include "support/test_support.h"

using namespace localengine;

int main(int argc, char** argv) {
    recfile::secureStandardStreams();
    if (argc < 3) {
        std::fprintf(stderr, "usage: leprobe std|ex PATH REQUEST...\n");
        return 2;
    }
    const bool standard = std::strcmp(argv[1], "std") == 0;
    std::string path = argv[2];
    uint8_t posBlock[kPosBlockSize] = {};
    std::vector<uint8_t> buffer(1u << 20);
    for (int i = 3; i < argc; ++i) {
        const std::string request = argv[i];
        const std::string argument = request.find(':') == std::string::npos ? "" : request.substr(request.find(':') + 1);
        if (request.compare(0, 4, "set:") == 0) {
            const size_t eq = argument.find('=');
            setenv(argument.substr(0, eq).c_str(), argument.substr(eq + 1).c_str(), 1);
            continue;
        }
        uint16_t op = kOpStepNext;
        // The standard entry reads only 16 bits of the length.
        uint32_t length = standard ? 0xFFFFu : static_cast<uint32_t>(buffer.size());
        void* key = nullptr;
        if (request.compare(0, 4, "open") == 0) {
            const std::vector<uint8_t> owner = support::Unhex(argument);
            std::copy(owner.begin(), owner.end(), buffer.begin());
            op = kOpOpen;
            length = static_cast<uint32_t>(owner.size());
            key = &path[0];
        } else if (request == "first") {
            op = kOpStepFirst;
        } else if (request == "close") {
            op = kOpClose;
            length = 0;
        } else if (request == "pos") {
            op = kOpGetPosition;
        } else if (request == "check") {
            op = kOpCheck;
            length = 0;
        } else if (request.compare(0, 7, "version") == 0) {
            op = kOpVersion;
            length = static_cast<uint32_t>(std::strtoul(argument.c_str(), nullptr, 10));
        } else if (request != "next") {
            std::fprintf(stderr, "leprobe: unknown request %s\n", request.c_str());
            return 2;
        }
        const uint8_t keyLength = key ? static_cast<uint8_t>(path.size() + 1) : 0;
        const int status = standard ? RECCALL(op, posBlock, buffer.data(), &length, key, keyLength, 0)
                                    : BTRVEX(op, posBlock, buffer.data(), &length, key, keyLength, 0);
        std::printf("%s%d/%u/", i > 3 ? " " : "", status, static_cast<unsigned>(length));
        const bool returnsData = op != kOpOpen && op != kOpClose && op != kOpCheck;
        if (!returnsData || length == 0) std::printf("-");
        for (uint32_t b = 0; returnsData && b < length && b < 32 && b < buffer.size(); ++b) std::printf("%02x", buffer[b]);
    }
    std::printf("\n");
    return 0;
}

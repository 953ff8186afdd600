// lecrashwriter: shortens every record of a file to its prefix without the
// trailing null bytes, as the program does; the kill test ends it at random
// moments. Prints "ready" once the file is open and "done" at the end.
#include <cstdio>
#include <string>
#include <vector>

#include "localengine.h"
#include "standard_streams.h"

using namespace localengine;

// Names the request that failed; the exit status for it.
static int failed(const char* request, int status) {
    std::fprintf(stderr, "lecrashwriter: %s gave %d\n", request, status);
    return 1;
}

int main(int argc, char** argv) {
    recfile::secureStandardStreams();
    if (argc != 2) {
        std::fprintf(stderr, "usage: lecrashwriter PATH\n");
        return 2;
    }
    std::string path = argv[1];
    uint8_t posBlock[kPosBlockSize] = {};
    uint32_t length = 0;
    int status = BTRVEX(kOpOpen, posBlock, nullptr, &length, &path[0], static_cast<uint8_t>(path.size() + 1), 0);
    if (status != kOk) return failed("open", status);
    std::printf("ready\n");
    std::fflush(stdout);
    std::vector<uint8_t> buffer(16u << 20);
    for (uint16_t op = kOpStepFirst;; op = kOpStepNext) {
        length = static_cast<uint32_t>(buffer.size());
        status = BTRVEX(op, posBlock, buffer.data(), &length, nullptr, 0, 0);
        if (status == kEndOfFile) break;
        if (status != kOk) return failed("step", status);
        uint32_t kept = length;
        while (kept > 0 && buffer[kept - 1] == 0) --kept;
        if (kept == length) continue;
        status = BTRVEX(kOpUpdate, posBlock, buffer.data(), &kept, nullptr, 0, 0);
        if (status != kOk) return failed("update", status);
    }
    length = 0;
    status = BTRVEX(kOpClose, posBlock, nullptr, &length, nullptr, 0, 0);
    std::printf("done\n");
    return status == kOk ? 0 : 1;
}

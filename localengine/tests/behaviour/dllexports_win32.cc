// Loads w3btrv7.dll the way the program does (RECCALL by ordinal 1, BTRVEX by
// name, both __stdcall with seven arguments) and runs one short session:
// Version, Create, Open, Insert, Step First, Close; then FreeLibrary with a
// file open. Exit 0 when all is right.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "localengine.h"

using localengine::BtrvExFn;
using localengine::RecCallFn;

static int failures = 0;

static void expect(bool ok, const char* what, long got) {
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s (got %ld)\n", what, got);
        ++failures;
    }
}

template <typename Fn>
static Fn asFunction(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

int main() {
    HMODULE dll = LoadLibraryA("w3btrv7.dll");
    if (!dll) {
        std::fprintf(stderr, "FAILED: LoadLibraryA(w3btrv7.dll), error %lu\n", GetLastError());
        return 1;
    }
    RecCallFn reccall = asFunction<RecCallFn>(GetProcAddress(dll, MAKEINTRESOURCEA(1)));
    BtrvExFn btrvex = asFunction<BtrvExFn>(GetProcAddress(dll, "BTRVEX"));
    if (!reccall || !btrvex) {
        std::fprintf(stderr, "FAILED: ordinal 1 or BTRVEX missing\n");
        return 1;
    }
    if (asFunction<RecCallFn>(GetProcAddress(dll, "RECCALL")) != reccall) {
        std::fprintf(stderr, "FAILED: RECCALL by name is not ordinal 1\n");
        ++failures;
    }

    unsigned char posBlock[128] = {};
    unsigned char buffer[256] = {};
    uint32_t length = 0;
    // One request with `in` as the length going in, through `entry`; a status other than 0 fails.
    const auto request = [&](auto entry, const char* what, uint16_t op, void* data, uint32_t in, std::string* key) {
        length = in;
        const uint8_t keyLength = key ? static_cast<uint8_t>(key->size() + 1) : 0;
        const long status = entry(op, posBlock, data, &length, key ? &(*key)[0] : nullptr, keyLength, 0);
        expect(status == 0, what, status);
    };

    // Version needs no file; the default reply is one 5-byte entry, 13.30.
    request(reccall, "RECCALL Version status", 26, buffer, sizeof buffer, nullptr);
    expect(length % 5 == 0 && length >= 5, "Version reply length", static_cast<long>(length));

    char dir[MAX_PATH];
    GetTempPathA(sizeof dir, dir);
    std::string path = std::string(dir) + "lebehaviour-exports-" + std::to_string(GetCurrentProcessId()) + ".dat";
    DeleteFileA(path.c_str());
    request(reccall, "RECCALL Create", 14, nullptr, 0, &path);
    request(reccall, "RECCALL Open", 0, nullptr, 0, &path);

    const char record[] = "exported";
    std::memcpy(buffer, record, 8);
    request(reccall, "RECCALL Insert", 2, buffer, 8, nullptr);

    // A record longer than 64 KiB goes in and out through BTRVEX only.
    static unsigned char big[100000];
    for (size_t i = 0; i < sizeof big; ++i) big[i] = static_cast<unsigned char>(i * 7);
    request(btrvex, "BTRVEX Insert", 2, big, sizeof big, nullptr);

    std::memset(buffer, 0, sizeof buffer);
    request(reccall, "RECCALL Step First", 33, buffer, sizeof buffer, nullptr);
    expect(length == 8 && std::memcmp(buffer, record, 8) == 0, "Step First record", static_cast<long>(length));

    static unsigned char back[100000];
    request(btrvex, "BTRVEX Step Next", 24, back, sizeof back, nullptr);
    expect(length == sizeof big && std::memcmp(back, big, sizeof big) == 0, "BTRVEX long record",
           static_cast<long>(length));

    request(btrvex, "BTRVEX Close", 1, nullptr, 0, nullptr);
    DeleteFileA(path.c_str());

    // A FreeLibrary with two files open, one with its reader running,
    // returns, and the library stays (it pinned itself for the reader), so
    // that file still closes; the process's end closes the other. No reader
    // is left waiting at the end, where wine's own end of a process can crash
    // or hang on one. Both files are left in the build folder.
    const auto makeOpen = [&](unsigned char* pos, const char* name) {
        DeleteFileA(name);
        const uint8_t keyLength = static_cast<uint8_t>(std::strlen(name) + 1);
        length = 0;
        int16_t st = reccall(14, pos, nullptr, &length, const_cast<char*>(name), keyLength, 0);
        st = st == 0 ? reccall(0, pos, nullptr, &length, const_cast<char*>(name), keyLength, 0) : st;
        length = 8;
        return st == 0 ? reccall(2, pos, buffer, &length, nullptr, 0, 0) : st;
    };
    unsigned char smallPos[128] = {};
    int16_t st = makeOpen(posBlock, "lebehaviour-freelibrary.dat");
    for (int i = 0; i < 25 && st == 0; ++i) {  // past the first 2 MiB stretch: the Step starts the reader
        length = sizeof big;
        st = static_cast<int16_t>(btrvex(2, posBlock, big, &length, nullptr, 0, 0));
    }
    st = st == 0 ? makeOpen(smallPos, "lebehaviour-freelibrary-small.dat") : st;
    for (unsigned char* pos : {posBlock, smallPos}) {
        length = sizeof buffer;
        st = st == 0 ? reccall(33, pos, buffer, &length, nullptr, 0, 0) : st;
    }
    expect(st == 0, "files open before FreeLibrary", st);
    expect(FreeLibrary(dll) != 0, "FreeLibrary", static_cast<long>(GetLastError()));
    length = 0;
    st = reccall(1, posBlock, nullptr, &length, nullptr, 0, 0);
    expect(st == 0, "Close after FreeLibrary", st);

    if (failures == 0) std::printf("w3btrv7.dll exports: all checks passed\n");
    return failures == 0 ? 0 : 1;
}

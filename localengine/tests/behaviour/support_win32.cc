// Windows: the engine is w3btrv7.dll beside the test program; RECCALL is
// found by ordinal 1 and BTRVEX by name, as the program finds them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "support.h"

namespace behaviour {

template <typename Fn>
static Fn asFunction(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

const EntryPoints& entries() {
    static const EntryPoints loaded = [] {
        EntryPoints e;
        HMODULE module = LoadLibraryA("w3btrv7.dll");
        if (!module) {
            std::fprintf(stderr, "cannot load w3btrv7.dll (error %lu)\n", GetLastError());
            std::abort();
        }
        e.standard = asFunction<RecCallFn>(GetProcAddress(module, MAKEINTRESOURCEA(1)));
        e.extended = asFunction<BtrvExFn>(GetProcAddress(module, "BTRVEX"));
        if (!e.standard || !e.extended) {
            std::fprintf(stderr, "w3btrv7.dll lacks ordinal 1 or BTRVEX\n");
            std::abort();
        }
        return e;
    }();
    return loaded;
}

static HANDLE watchdogTimer = nullptr;

static VOID CALLBACK onTimeout(PVOID, BOOLEAN) {
    std::fprintf(stderr, "watchdog: the engine hung\n");
    ExitProcess(3);
}

void armWatchdog(unsigned seconds) {
    if (watchdogTimer) {
        DeleteTimerQueueTimer(nullptr, watchdogTimer, nullptr);
        watchdogTimer = nullptr;
    }
    if (seconds) CreateTimerQueueTimer(&watchdogTimer, nullptr, onTimeout, nullptr, seconds * 1000u, 0, 0);
}

}  // namespace behaviour

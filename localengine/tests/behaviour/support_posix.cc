// POSIX: the engine is liblocalengine.so, loaded with dlopen as the program
// does.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "support.h"

namespace behaviour {

const EntryPoints& entries() {
    static const EntryPoints loaded = [] {
        EntryPoints e;
        void* handle = dlopen(LOCALENGINE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            std::fprintf(stderr, "cannot load %s: %s\n", LOCALENGINE_LIBRARY, dlerror());
            std::abort();
        }
        e.standard = reinterpret_cast<RecCallFn>(dlsym(handle, "RECCALL"));
        e.extended = reinterpret_cast<BtrvExFn>(dlsym(handle, "BTRVEX"));
        if (!e.standard || !e.extended) {
            std::fprintf(stderr, "%s lacks RECCALL or BTRVEX\n", LOCALENGINE_LIBRARY);
            std::abort();
        }
        return e;
    }();
    return loaded;
}

void armWatchdog(unsigned seconds) {
    // SIGALRM's default action ends the process: the hang shows as a failure.
    alarm(seconds);
}

}  // namespace behaviour

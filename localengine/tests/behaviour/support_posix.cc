// POSIX: the engine is liblocalengine.so, loaded with dlopen as the program
// does; child programs run through the cross build's emulator.
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>

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

std::vector<std::string> childCommand(const std::vector<std::string>& argv) {
    // CHILD_EMULATOR: the emulator and its options, separated by blanks.
    std::vector<std::string> command;
    std::istringstream words(CHILD_EMULATOR);
    for (std::string word; words >> word;) command.push_back(word);
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

support::Result runChild(const std::vector<std::string>& argv, const support::Environment& env) {
    support::RunOptions options;
    options.env = env;
    options.timeout = std::chrono::seconds(300);
    return support::RunCommand(childCommand(argv), options);
}

support::Result runRecfile(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {RECFILE_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    return runChild(argv);
}

}  // namespace behaviour

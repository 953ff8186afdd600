// The end-to-end test program: CTest runs it once per target (see
// CMakeLists.txt); a target whose build is missing is skipped with code 77.
#include <cstdio>

#include "e2e_support.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const e2e::Setup setup = e2e::CheckSetup();
    if (setup.verdict == e2e::Setup::kSkip) {
        std::printf("e2e: skipped: %s\n", setup.reason.c_str());
        return 77;
    }
    if (setup.verdict == e2e::Setup::kBroken) {
        std::fprintf(stderr, "e2e: %s\n", setup.reason.c_str());
        return 1;
    }
    std::printf("e2e: target %s, program %s\n",
                e2e::CurrentTarget() == e2e::Target::kWindows ? "windows" : "native",
                e2e::ProgramPath().c_str());
    return RUN_ALL_TESTS();
}

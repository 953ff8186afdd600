// Arbitrary argument vectors through the program's command-line reading.
//
// The input is split on NUL bytes into at most kMaxArguments arguments, each
// copied into an allocation of its own exact size so a read past its end is
// caught. The engine is never loaded here.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cli/options.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr size_t kMaxArguments = 8;
constexpr int kTruncateMinLowest = 4;
constexpr uint32_t kProbeMegabytesMax = 4095;

// Every state the reading can leave behind must be one the scans can use.
void CheckOptions() {
    const RunOptions& o = runOptions;
    FUZZ_ASSERT(o.ownerLen >= 0 && o.ownerLen <= OWNER_TEXT_MAX);
    FUZZ_ASSERT(o.truncateMin == 0 || o.truncateMin >= kTruncateMinLowest);
    FUZZ_ASSERT(o.probeMegabytes <= kProbeMegabytesMax);
    // The probe's rows times the granularity must cover the megabytes asked
    // for without wrapping around 32 bits.
    if (o.probeMegabytes != 0) {
        FUZZ_ASSERT(o.granularity == o.probeMegabytes * 1048576u / 64000u);
        FUZZ_ASSERT(uint64_t{o.granularity} * 64000u <= UINT32_MAX);
    }
    FUZZ_ASSERT(memchr(o.ownerName, '\0', sizeof o.ownerName) != nullptr);
    FUZZ_ASSERT(memchr(o.reportPath, '\0', sizeof o.reportPath) != nullptr);
    FUZZ_ASSERT(o.dryRun == 0 || o.dryRun == 1);
}

// The hexadecimal owner as the program hands it over: at most
// OWNER_TEXT_MAX characters, into an owner buffer of OWNER_TEXT_MAX + 1.
void CheckHexOwner(const std::string& argument) {
    std::string text = argument.substr(0, OWNER_TEXT_MAX);
    std::unique_ptr<char[]> exact(new char[text.size() + 1]);
    memcpy(exact.get(), text.c_str(), text.size() + 1);
    std::unique_ptr<unsigned char[]> out(new unsigned char[OWNER_TEXT_MAX + 1]);
    int count = ParseHexOwner(exact.get(), out.get());
    // Either nothing, or every digit pair after "0x".
    FUZZ_ASSERT(count == 0 || (text.compare(0, 2, "0x") == 0 && text.size() == 2 + 2 * size_t(count)));
    FUZZ_ASSERT(out[count] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SilenceProgramOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments = SplitOnNul(data, size, kMaxArguments);

    // argv as a C runtime builds it: the program's name, the arguments, a null.
    std::vector<std::unique_ptr<char[]>> storage;
    std::vector<char*> argv;
    storage.emplace_back(new char[9]);
    memcpy(storage.back().get(), "recmeter", 9);
    argv.push_back(storage.back().get());
    for (const std::string& argument : arguments) {
        storage.emplace_back(new char[argument.size() + 1]);
        memcpy(storage.back().get(), argument.c_str(), argument.size() + 1);
        argv.push_back(storage.back().get());
    }
    argv.push_back(nullptr);

    runOptions = RunOptions{};
    int exitCode = ParseCommandLine(static_cast<int>(argv.size() - 1), argv.data());
    FUZZ_ASSERT(exitCode == 0 || exitCode == 1 || exitCode == COMMAND_LINE_ANSWERED);
    CheckOptions();

    for (const std::string& argument : arguments) CheckHexOwner(argument);
    return 0;
}

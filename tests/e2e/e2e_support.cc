#include "e2e_support.h"

#include <cstdlib>
#include <filesystem>

#ifndef RECMETER_E2E_DEFAULT_BIN
#define RECMETER_E2E_DEFAULT_BIN ""
#endif

namespace e2e {
namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

bool IsFile(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::is_regular_file(path, ignored);
}

}  // namespace

Target CurrentTarget() {
    static const Target target =
        EnvOr("RECMETER_E2E_TARGET", "native") == "windows" ? Target::kWindows : Target::kNative;
    return target;
}

const std::string& ProgramDir() {
    static const std::string dir = EnvOr("RECMETER_E2E_BIN", RECMETER_E2E_DEFAULT_BIN);
    return dir;
}

std::string ProgramPath() {
    return ProgramDir() + (CurrentTarget() == Target::kWindows ? "/RECMETER.EXE" : "/recmeter");
}

Setup CheckSetup() {
    std::string name = EnvOr("RECMETER_E2E_TARGET", "native");
    if (name != "native" && name != "windows") {
        return {Setup::kBroken, "RECMETER_E2E_TARGET must be native or windows, not " + name};
    }
    if (ProgramDir().empty()) return {Setup::kBroken, "RECMETER_E2E_BIN is not set"};
    if (!IsFile(RecfilePath())) return {Setup::kBroken, "no recfile tool at " + RecfilePath()};
    if (!IsFile(ProgramPath())) {
        // The Windows build is a separate preset; without it there is
        // nothing to test, unless the caller insists it must be there.
        if (CurrentTarget() == Target::kWindows && std::getenv("RECMETER_E2E_REQUIRE_WINDOWS") == nullptr) {
            return {Setup::kSkip, "no Windows build at " + ProgramPath()};
        }
        return {Setup::kBroken, "no program at " + ProgramPath()};
    }
    return {};
}

std::string Expect(const std::string& text, Target target) {
    if (target == Target::kNative) return text;
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::vector<std::string> TargetCommand(const std::string& program,
                                       const std::vector<std::string>& args) {
    std::vector<std::string> argv;
    if (CurrentTarget() == Target::kWindows) argv.push_back("wine");
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

Result E2ETest::Run(const std::vector<std::string>& args, const ChildOptions& options) const {
    return RunCommand(TargetCommand(ProgramPath(), args), dir(), options);
}

Result E2ETest::RunTool(const std::string& tool, const std::vector<std::string>& args,
                        const ChildOptions& options) const {
    return RunCommand(TargetCommand(ProgramDir() + "/" + tool + (windows() ? ".exe" : ""), args),
                      dir(), options);
}

}  // namespace e2e

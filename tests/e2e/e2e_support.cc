#include "e2e_support.h"

#include <cstdlib>
#include <filesystem>

#ifndef RECMETER_E2E_RECFILE
#define RECMETER_E2E_RECFILE "recfile"
#endif
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

const std::string& RecfilePath() {
    static const std::string path = EnvOr("RECMETER_E2E_RECFILE", RECMETER_E2E_RECFILE);
    return path;
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

Result RunCommand(const std::vector<std::string>& argv, const std::string& dir,
                  const RunOptions& options) {
    RunOptions run = options;
    run.dir = dir;
    Environment env{{"LOCALENGINE_VERSION", std::nullopt}, {"LOCALENGINE_FAULTS", std::nullopt}};
    if (std::getenv("WINEDEBUG") == nullptr) env.emplace_back("WINEDEBUG", "-all");
    env.insert(env.end(), options.env.begin(), options.env.end());
    run.env = std::move(env);
    return support::RunCommand(argv, run);
}

Result E2ETest::Run(const std::vector<std::string>& args, const RunOptions& options) const {
    std::vector<std::string> argv;
    if (windows()) argv.push_back("wine");
    argv.push_back(ProgramPath());
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv, dir(), options);
}

Result E2ETest::RunTool(const std::string& tool, const std::vector<std::string>& args,
                        const RunOptions& options) const {
    std::vector<std::string> argv;
    if (windows()) argv.push_back("wine");
    argv.push_back(ProgramDir() + "/" + tool + (windows() ? ".exe" : ""));
    argv.insert(argv.end(), args.begin(), args.end());
    return RunCommand(argv, dir(), options);
}

Result E2ETest::Recfile(const std::vector<std::string>& args) const {
    std::vector<std::string> argv{RecfilePath()};
    argv.insert(argv.end(), args.begin(), args.end());
    Result r = RunCommand(argv, dir());
    EXPECT_EQ(r.exit_code, 0) << ::testing::PrintToString(argv) << "\n" << r;
    return r;
}

void E2ETest::Make(const std::string& name, const std::vector<std::string>& items,
                   const std::string& owner) const {
    std::vector<std::string> owner_args;
    if (!owner.empty()) owner_args.push_back("--owner=" + owner);
    std::vector<std::string> create{"create", name};
    create.insert(create.end(), owner_args.begin(), owner_args.end());
    Recfile(create);
    if (items.empty()) return;
    std::vector<std::string> add{"add", name};
    add.insert(add.end(), owner_args.begin(), owner_args.end());
    add.insert(add.end(), items.begin(), items.end());
    Recfile(add);
}

void E2ETest::Gen(const std::string& name, uint32_t count, uint32_t min_len, uint32_t max_len,
                  uint32_t seed) const {
    Recfile({"gen", name, "--count=" + std::to_string(count), "--min=" + std::to_string(min_len),
             "--max=" + std::to_string(max_len), "--seed=" + std::to_string(seed)});
}

std::vector<std::string> E2ETest::HexLines(const std::string& name) const {
    return support::Lines(Recfile({"hex", name}).out);
}

}  // namespace e2e

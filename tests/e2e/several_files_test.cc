// Several files in one run, on each target: what the command line names
// (files, folders, patterns the shell or the program expands, names that
// look like options), each file's report as a run on it alone prints it,
// the summary, the exit code, and which files change.
#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "recmeter_text.h"

namespace e2e {
namespace {

using SeveralFilesTest = E2ETest;

// A summary line's end: how its file ended, and its path.
std::string Row(const std::string& ended, const std::string& path) {
    return Fmt("  %-22s %s\n", ended.c_str(), path.c_str());
}

TEST_F(SeveralFilesTest, EveryFileNamedIsScannedAndOnlyTChangesOne) {
    const std::string sep = windows() ? "\\" : "/";
    for (const char* name : {"-a.dat", "-t4.dat", "-j=b.dat", "b.dat"}) Make(name, {"10+5"});
    std::filesystem::create_directory(path("sub"));
    Make("sub/c.dat", {"20", "70000"});
    WriteFile("sub/notes.txt", "not a data file\n");
    const std::vector<std::string> all = {"-a.dat", "-j=b.dat", "-t4.dat", "b.dat", "sub/c.dat"};
    std::vector<std::string> before;
    for (const std::string& name : all) before.push_back(ReadFile(name));
    const struct {
        std::string args;  // a shell's "*.dat" natively; the program's own under wine
        int exit_code;
        std::vector<std::pair<std::string, std::string>> rows;  // ended, path
        std::vector<std::string> changed = {};
        const char* faults = "";
    } cases[] = {
        {"*.dat", 0,
         {{"end of file", "-a.dat"}, {"end of file", "-j=b.dat"}, {"end of file", "-t4.dat"},
          {"end of file", "b.dat"}}},
        {"*.dat /T4 /N", 0,
         {{"end of file", "-a.dat"}, {"end of file", "-j=b.dat"}, {"end of file", "-t4.dat"},
          {"end of file", "b.dat"}}},
        {"sub", 0, {{"end of file", "sub" + sep + "c.dat"}, {"skipped: not data", "sub" + sep + "notes.txt"}}},
        {"b.dat -t4.dat /T4", 0, {{"end of file", "b.dat"}, {"end of file", "-t4.dat"}}, {"b.dat", "-t4.dat"}},
        // Quoted, the program matches the pattern itself on POSIX too.
        {"'sub/*.dat' missing.dat 'none*.dat'", 1,
         {{"end of file", "sub/c.dat"}, {"not opened: 12", "missing.dat"},
          {"no file matches", "none*.dat"}}},
        {"sub/c.dat -a.dat /T4", 1, {{"status 22", "sub/c.dat"}, {"end of file", "-a.dat"}}, {"-a.dat"}},
        // Status 20 ends the run after the report of the file under way.
        {"b.dat -t4.dat", 1, {{"status 20", "b.dat"}, {"not scanned", "-t4.dat"}}, {}, "24=20"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        for (size_t i = 0; i < all.size(); ++i) WriteFile(all[i], before[i]);
        const ChildOptions options = WithEnv({{"LC_ALL", "C"}, {"LOCALENGINE_FAULTS", c.faults}});
        std::string plain = c.args;  // no shell under wine: the program gets the pattern
        plain.erase(std::remove(plain.begin(), plain.end(), '\''), plain.end());
        Result r = windows() ? Run(Words(plain), options)
                             : RunCommand({"sh", "-c", "exec \"$0\" " + c.args, ProgramPath()}, dir(),
                                          options);
        EXPECT_EQ(r.exit_code, c.exit_code) << r;
        size_t at = r.out.find(Expect(Fmt("\nSummary of %zu files:\n", c.rows.size())));
        ASSERT_NE(at, std::string::npos) << r;
        for (const auto& [ended, file] : c.rows) {
            const size_t row = r.out.find(Expect(Row(ended, file)), at);
            EXPECT_NE(row, std::string::npos) << ended << " " << file << "\n" << r;
            at = row == std::string::npos ? at : row;
        }
        for (size_t i = 0; i < all.size(); ++i) {
            const bool changed = std::find(c.changed.begin(), c.changed.end(), all[i]) != c.changed.end();
            EXPECT_EQ(ReadFile(all[i]) != before[i], changed) << all[i];
        }
    }
}

// One document for the run: each file's as a run on it alone writes it, in
// a list, and the summary; a file named like an option is a data file, and
// the report never lands on one.
TEST_F(SeveralFilesTest, OneReportForTheRun) {
    Make("a.dat", {"100", "70000"});
    Make("b.dat", {"200"});
    Make("-j=b.dat", {"300"});
    const std::string b = ReadFile("b.dat");
    ASSERT_EQ(Run({"a.dat", "/J=a.json"}).exit_code, 0);
    Result r = Run({"a.dat", "-j=b.dat", "b.dat", "missing.dat", "/J=out.json"});
    EXPECT_EQ(r.exit_code, 1) << r;
    EXPECT_EQ(ReadFile("b.dat"), b);
    const nlohmann::json report = nlohmann::json::parse(ReadFile("out.json"));
    ASSERT_EQ(report["files"].size(), 3u);
    EXPECT_EQ(report["files"][0], nlohmann::json::parse(ReadFile("a.json")));
    EXPECT_EQ(report["summary"]["total"]["files"], 4);
    EXPECT_EQ(report["summary"]["total"]["failed"], 1);
    EXPECT_EQ(report["summary"]["total"]["overStandardCount"], 1);
    EXPECT_EQ(report["summary"]["files"][1]["path"], "-j=b.dat");
    EXPECT_EQ(report["summary"]["files"][3]["outcome"], "notOpened");
    EXPECT_TRUE(report["summary"]["files"][3]["document"].is_null());
    // The report of another data file is refused before anything is opened.
    EXPECT_TRUE(Ran(Run({"a.dat", "b.dat", "/J=-j=b.dat"}), 1, "",
                    kBanner + kPress + "The JSON report -j=b.dat would replace a file that is not a "
                                       "report of this program.\n"));
}

}  // namespace
}  // namespace e2e

// The program's requests to the engine, run for real on each target: which
// entry point the Version reply selects, the debug and trace lines, the
// open failures and owners, status 20, and the paths the program accepts.
#include <algorithm>
#include <filesystem>

#include "recmeter_text.h"

namespace e2e {
namespace {

class RequestsTest : public E2ETest {
protected:
    // The program copied into a folder of its own ("alone"), run on data.dat
    // in the test folder.
    Result RunAlone(const ChildOptions& options = {}) const {
        std::filesystem::create_directory(path("alone"));
        const std::string copy = path(windows() ? "alone/RECMETER.EXE" : "alone/recmeter");
        std::filesystem::copy_file(ProgramPath(), copy);
        std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
        return RunCommand(TargetCommand(copy, {"data.dat"}), dir(), options);
    }
};

const std::string kVersionCall = "Version Call: Status=0, ";
const std::string kAvailable = "BtrvEx IS available!\n";
const std::string kNotAvailable = "BtrvEx IS NOT available!\n";

// Records of 100, 258048, 70000 and 300000 bytes, scanned with /D: through
// the standard entry every long record stops at the 64000-byte buffer;
// through the extended entry records up to 258048 bytes are read whole and
// only the last one is cut, at 258048.
std::string DebugScanOfLongRecords(bool extended) {
    if (!extended) {
        return "RecSize: 100\n" + Started(100) + "RecSize: 64000\n" + Changed(64000, '+') +
               "RecSize: 64000\nRecSize: 64000\nRecSize: 0\n" + kCloseDebug +
               Report(4, 100, 64000, '+');
    }
    return "RecSize: 100\n" + Started(100) + "RecSize: 258048\n" + Changed(258048) +
           "RecSize: 70000\n" + Changed(70000) + "RecSize: 258048\n" + Changed(258048, '+') +
           "RecSize: 0\n" + kCloseDebug + Report(4, 100, 258048, '+');
}

TEST_F(RequestsTest, VersionReplySelectsTheEntryPoint) {
    Make("data.dat", {"100", "258048", "70000", "300000"});
    const struct {
        const char* version;
        std::string reply_line;
        bool extended;
    } cases[] = {
        {"12.99W", kVersionCall + "12.99(W)\n", false},
        {"13.29W", kVersionCall + "13.29(W)\n", false},
        {"13.30W", kVersionCall + "13.30(W)\n", true},
        {"14.00T", kVersionCall + "14.00(T)\n", true},
        // An empty reply leaves only the line end; nothing selects the
        // extended entry.
        {"", "\n", false},
        // Only the first entry decides.
        {"13.30W,13.29T,12.99X", kVersionCall + "13.30(W), 13.29(T), 12.99(X)\n", true},
        {"12.99W,14.00T", kVersionCall + "12.99(W), 14.00(T)\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("LOCALENGINE_VERSION=") + c.version);
        Result r = Run({"data.dat", "/D"}, WithEnv({{"LOCALENGINE_VERSION", c.version}}));
        EXPECT_TRUE(Ran(r, 0,
                        Scanning("data.dat") + kOpenDebug + DebugScanOfLongRecords(c.extended),
                        kBanner + "Full Debug!\n" + kPress + c.reply_line +
                            (c.extended ? kAvailable : kNotAvailable)));
    }
}

// Every request of a two-record scan, one trace line each. The length shown
// is the block's, which a request through the extended entry leaves alone:
// after an extended scan Close and Reset show the Version reply's 5 bytes,
// after a standard one the 0 that the final Step Next returned.
TEST_F(RequestsTest, SuperDebugTracesEveryRequest) {
    Make("data.dat", {"100", "200"});
    const struct {
        const char* version;
        bool extended;
    } cases[] = {{"13.30W", true}, {"12.99W", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        const uint32_t read_len = c.extended ? 258048 : 64000;
        const uint32_t left_len = c.extended ? 5 : 0;
        Result r = Run({"data.dat", "/DD"}, WithEnv({{"LOCALENGINE_VERSION", c.version}}));
        std::string out = Scanning("data.dat") + "Opening Files\n" + Trace(0, 0, 0, 0) +
                          "Data Files Opened: 0\n" + Trace(26, 15, 0, 0) +
                          Trace(33, read_len, 0, 0) + "RecSize: 100\n" + Started(100) +
                          Trace(24, read_len, 0, 0) + "RecSize: 200\n" + Changed(200) +
                          Trace(24, read_len, 0, 9) + "RecSize: 0\n" + "Closing Files\n" +
                          Trace(1, left_len, 0, 0) + "Data Files Closed\n" +
                          Trace(28, left_len, 0, 0) + Report(2, 100, 200);
        std::string err = kBanner + "Full Debug!\nSuper Debug!\n" + kPress + kVersionCall +
                          std::string(c.version).substr(0, 5) + "(" + c.version[5] + ")\n" +
                          (c.extended ? kAvailable : kNotAvailable);
        EXPECT_TRUE(Ran(r, 0, out, err));
    }
}

// Opens that succeed with the right owner, and every way an open fails:
// message, "Unable to Open Files", a Reset, exit 1.
TEST_F(RequestsTest, OpenOwnersAndFailures) {
    Make("owned.dat", {"10"}, "secret");
    Recfile({"create", "hexowned.dat", "--owner-hex=0041"});
    Recfile({"add", "hexowned.dat", "--owner-hex=0041", "10"});
    Make("plain.dat", {"10"});
    WriteFile("notes.txt", std::string(200, 'x') + "\nnot a data file\n");

    const std::string opened = Started(10) + Report(1, 10, 10);
    auto not_opened = [](int status) { return Fmt("Unable to Open Files - Status %d\n", status); };
    auto owner_error = [&](const std::string& name) {
        return EngineError(51, 0, name) + not_opened(51);
    };
    const struct {
        std::vector<std::string> args;
        Environment env;
        int exit_code;
        std::string out_after_banner;  // after "Scanning Data File ..."
        std::string err_after_prompt;  // after "Press <Esc> ..."
    } cases[] = {
        {{"owned.dat", "/O=secret"}, {}, 0, opened, ""},
        {{"hexowned.dat", "/O=0x0041"}, {}, 0, opened, ""},
        // A file made without an owner opens with any owner.
        {{"plain.dat", "/O=anything"}, {}, 0, opened, ""},
        {{"owned.dat"}, {}, 1, "", owner_error("owned.dat")},
        {{"owned.dat", "/O=Secret"}, {}, 1, "", owner_error("owned.dat")},
        // The zero byte counts: "A" and 0x41 are not the owner 00 41.
        {{"hexowned.dat", "/O=A"}, {}, 1, "", owner_error("hexowned.dat")},
        {{"hexowned.dat", "/O=0x41"}, {}, 1, "", owner_error("hexowned.dat")},
        // 12 passes without a message of the engine's.
        {{"missing.dat"}, {}, 1, "", not_opened(12)},
        {{"notes.txt"}, {}, 1, "", "notes.txt: Not a Btrieve File\n" + not_opened(30)},
        // Status 20 ends the run on the spot: no "Unable to Open Files".
        {{"plain.dat"}, {{"LOCALENGINE_FAULTS", "0=20"}}, 1, "", kNotLoaded},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.back());
        Result r = Run(c.args, WithEnv(c.env));
        EXPECT_TRUE(Ran(r, c.exit_code, Scanning(c.args[0]) + c.out_after_banner,
                        kBanner + kPress + c.err_after_prompt));
    }
}

TEST_F(RequestsTest, FailedOpenIsFollowedByAReset) {
    Result r = Run({"missing.dat", "/DD"});
    EXPECT_TRUE(Ran(
        r, 1,
        Scanning("missing.dat") + "Opening Files\n" + Trace(0, 0, 0, 12) +
            "Data Files Opened: 12\n" + Trace(28, 0, 0, 0),
        kBanner + "Full Debug!\nSuper Debug!\n" + kPress + "Unable to Open Files - Status 12\n"));
}

// Status 20 on any request ends the process at once with exit code 1: what
// was written stays, and no request follows. Once the scan has begun, the
// report of what was scanned comes first.
TEST_F(RequestsTest, Status20EndsTheRunWherever) {
    Make("data.dat", {"100", "200", "300", "400", "500", "600"});
    const std::string up_to_500 =
        Started(100) + Changed(200) + Changed(300) + Changed(400) + Changed(500);
    const std::string all_six = up_to_500 + Changed(600) + Report(6, 100, 600);
    const struct {
        const char* faults;
        std::string out_after_banner;
    } cases[] = {
        {"26=20", ""},
        {"33=20", Report(0, 0, 0)},
        {"24#5=20", up_to_500 + Report(5, 100, 500)},
        {"1=20", all_six},
        {"28=20", all_six},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.faults);
        Result r = Run({"data.dat"}, WithEnv({{"LOCALENGINE_FAULTS", c.faults}}));
        EXPECT_TRUE(
            Ran(r, 1, Scanning("data.dat") + c.out_after_banner, kBanner + kPress + kNotLoaded));
    }
}

// The first argument is only the path, whatever it begins with: "/dev/.."
// does not turn on debug mode, nor does a file named "-T4" get truncated
// (on Windows "/" opens a path on the current drive).
TEST_F(RequestsTest, PathNamedLikeAnOptionIsOnlyAPath) {
    Make("data.dat", {"hex:41000000000000"});
    const std::string before = ReadFile("data.dat");
    std::filesystem::copy_file(path("data.dat"), path("-T4"));
    for (const std::string& path : {path("data.dat"), "/dev/.." + path("data.dat"), std::string("-T4")}) {
        SCOPED_TRACE(path);
        Result r = Run({path});
        EXPECT_TRUE(Ran(r, 0, Scanning(path) + Started(7) + Report(1, 7, 7), kBanner + kPress));
    }
    EXPECT_EQ(ReadFile("-T4"), before);
}

// A path longer than the Open request can carry is refused, never cut to
// another name.
TEST_F(RequestsTest, OverlongPathIsRefused) {
    for (size_t length : {256u, 300u}) {
        std::string path(length, 'a');
        Result r = Run({path, "/C"});
        EXPECT_TRUE(Ran(
            r, 1, "",
            kBanner + Fmt("Path too long: %zu characters; at most 255 are accepted.\n", length)));
    }
    if (windows()) return;  // the folder's path counts against Windows' own limit
    std::string longest = std::string(251, 'a') + ".dat";
    Make(longest, {"10"});
    EXPECT_TRUE(Ran(Run({longest}), 0, Scanning(longest) + Started(10) + Report(1, 10, 10),
                    kBanner + kPress));
}

// Without the engine library the first request cannot be made: one line on
// stderr (its text is the system's) and exit 1.
TEST_F(RequestsTest, MissingEngineLibraryEndsTheRun) {
    Make("data.dat", {"10"});
    Result r = RunAlone();
    const std::string prefix = Expect(kBanner + kPress + "Cannot load the engine library " +
                                      (windows() ? "w3btrv7.dll" : "liblocalengine.so") + ": ");
    EXPECT_EQ(r.exit_code, 1) << r;
    EXPECT_EQ(r.out, Expect(Scanning("data.dat")));
    ASSERT_EQ(r.err.compare(0, prefix.size(), prefix), 0) << r;
    std::string reason = r.err.substr(prefix.size());
    EXPECT_EQ(reason.find('\n'), reason.size() - 1) << "one line: " << r;
}

// A folder of received data files may hold a file named like the engine
// library: it is never the one loaded. The program sits alone, the engine
// is found where the system looks for libraries (PATH on Windows, the
// loader's path here), and the current folder holds a library that cannot
// serve.
TEST_F(RequestsTest, EngineLibraryInTheCurrentFolderIsNotLoaded) {
    Make("data.dat", {"10"});
    std::filesystem::create_directory(path("engine"));
    const std::string library = windows() ? "w3btrv7.dll" : "liblocalengine.so";
    std::filesystem::copy_file(ProgramDir() + "/" + library, path("engine/" + library));
    WriteFile(library, "not a library at all");
    std::string engine = path("engine");
    if (windows()) {  // as a Windows path, on the drive wine maps to "/"
        std::replace(engine.begin(), engine.end(), '/', '\\');
        engine = "Z:" + engine;
    }
    Result r = RunAlone(WithEnv({{windows() ? "WINEPATH" : "LD_LIBRARY_PATH", engine}}));
    EXPECT_TRUE(
        Ran(r, 0, Scanning("data.dat") + Started(10) + Report(1, 10, 10), kBanner + kPress));
}

}  // namespace
}  // namespace e2e

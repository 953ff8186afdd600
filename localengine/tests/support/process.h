// Child processes for the tests (POSIX only): a program run to its end with
// its output captured byte-exact, optionally on a pseudo-terminal that a
// script types into; or one started beside the test, read line by line,
// signalled and waited for. Each child runs in a session of its own with no
// controlling terminal but the pty it may be given, and none of the test's
// descriptors. And this build's own programs run as children: recfile, to
// make and read the files the tests work on.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace support {

// Changes to the child's environment, applied in order to a copy of ours:
// NAME=VALUE, or NAME removed when there is no value. Before them, the
// engine's test switches (LOCALENGINE_VERSION, LOCALENGINE_FAULTS) are
// removed and wine's diagnostics turned off unless WINEDEBUG is set, since
// they would land in the standard error the tests compare.
using Environment = std::vector<std::pair<std::string, std::optional<std::string>>>;

// One step of a terminal conversation: once `after_stderr` has appeared on
// the program's stderr (past what earlier steps waited for), write `send` to
// the terminal.
struct PtyStep {
    std::string after_stderr;
    std::string send;
};

// How a child runs; its folder is an argument of its own, empty for ours.
struct ChildOptions {
    Environment env;
    // A run past it is killed and fails the test.
    std::chrono::milliseconds timeout{std::chrono::seconds(60)};
    // A pseudo-terminal as the child's controlling terminal and stdin;
    // stdout and stderr stay pipes. Otherwise stdin is /dev/null.
    bool pty = false;
    std::vector<PtyStep> pty_script;
};

struct Result {
    std::string out;
    std::string err;
    int exit_code = -1;  // -1 when ended by a signal or timed out
    int signal = 0;
    bool timed_out = false;
    // Only with a pty: the terminal's settings before the program started
    // and after it ended, everything it wrote to the terminal, and the steps
    // of the script that were carried out.
    termios tty_before{};
    termios tty_after{};
    std::string tty_output;
    size_t pty_steps_done = 0;
};

// The result with its streams escaped, for a failure message.
std::ostream& operator<<(std::ostream& os, const Result& r);

// True when the settings a program could change (modes and control
// characters) are the same.
bool SameTerminalSettings(const termios& a, const termios& b);

// Runs argv[0] (looked up in PATH when it has no slash) to its end in the
// folder `dir`. A child that cannot be started fails the test.
Result RunCommand(const std::vector<std::string>& argv, const std::string& dir, const ChildOptions& options = {});

// Options with only the environment or the terminal set.
inline ChildOptions WithEnv(Environment env) {
    ChildOptions options;
    options.env = std::move(env);
    return options;
}
// On a pty, typing each step's keys once stderr shows its text.
inline ChildOptions OnPty(std::vector<PtyStep> script = {}) {
    ChildOptions options;
    options.pty = true;
    options.pty_script = std::move(script);
    return options;
}

// The command that runs `argv`, a program of this build: through the cross
// build's emulator (qemu for ARM) where there is one, since the system runs
// only this machine's programs.
std::vector<std::string> ChildCommand(const std::vector<std::string>& argv);
// A program of this build run to its end, through the emulator where there
// is one and given five minutes, which the emulated builds need.
Result RunChild(const std::vector<std::string>& argv, const std::string& dir = "", ChildOptions options = {});

// This build's recfile tool.
const std::string& RecfilePath();
// recfile with `args` run to its end (RunChild) in `dir`, or in ours.
Result RunRecfile(const std::vector<std::string>& args, const std::string& dir = "");
// The same where the test needs it to succeed: an exit other than 0 fails it.
Result Recfile(const std::vector<std::string>& args, const std::string& dir = "");
// recfile create PATH, then add PATH ITEM... when there are items; no owner
// when `owner` is empty.
void MakeFile(const std::string& path, const std::vector<std::string>& items, const std::string& owner = "");
// recfile gen PATH --count --min --max --seed.
void GenFile(const std::string& path, uint32_t count, uint32_t min_len, uint32_t max_len, uint32_t seed = 1);
// Each record's bytes in hex, one line a record (recfile hex PATH).
std::vector<std::string> HexLines(const std::string& path);
// Each record's length, in physical order (recfile list PATH).
std::vector<uint32_t> RecordLengths(const std::string& path);

// A program running beside the test: stdin and stderr are /dev/null, stdout
// is a pipe for ReadLine() when asked for (a child that writes more than a
// pipe holds must then be read) and /dev/null otherwise. The options' pty
// and timeout do not apply. Killed and reaped at the end unless waited for.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::string& dir, const ChildOptions& options = {},
          bool read_lines = false);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }  // -1 when it could not be started
    // One line of its stdout without the "\n"; empty at the end of it.
    std::string ReadLine();
    void Signal(int signal);
    // True once it has ended (reaping it), without waiting.
    bool Ended();
    // Waits for its end; the wait status.
    int Wait();

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = 0;
    bool reaped_ = false;
};

}  // namespace support

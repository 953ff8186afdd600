#include "e2e_support.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#ifndef RECMETER_E2E_RECFILE
#define RECMETER_E2E_RECFILE "recfile"
#endif
#ifndef RECMETER_E2E_DEFAULT_BIN
#define RECMETER_E2E_DEFAULT_BIN ""
#endif

extern char** environ;

namespace e2e {
namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Escaped(const std::string& bytes) {
    std::string s;
    for (unsigned char c : bytes) {
        if (c == '\n') {
            s += "\\n";
        } else if (c == '\r') {
            s += "\\r";
        } else if (c == '\\') {
            s += "\\\\";
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            s += hex;
        } else {
            s += static_cast<char>(c);
        }
    }
    return s;
}

std::string Joined(const std::vector<std::string>& argv) {
    std::string s;
    for (const auto& a : argv) s += (s.empty() ? "" : " ") + a;
    return s;
}

// The child's environment: ours, less the engine's test switches, plus the
// run's own variables. Wine's own diagnostics are off unless asked for, since
// they would land in the standard error the tests compare.
std::vector<std::string> ChildEnvironment(const RunOptions& options) {
    std::vector<std::string> env;
    bool wineDebugSet = false;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        if (name == "LOCALENGINE_VERSION" || name == "LOCALENGINE_FAULTS") continue;
        wineDebugSet = wineDebugSet || name == "WINEDEBUG";
        bool overridden = false;
        for (const auto& kv : options.env) overridden = overridden || kv.first == name;
        if (!overridden) env.push_back(entry);
    }
    for (const auto& kv : options.env) {
        env.push_back(kv.first + "=" + kv.second);
        wineDebugSet = wineDebugSet || kv.first == "WINEDEBUG";
    }
    if (!wineDebugSet) env.push_back("WINEDEBUG=-all");
    return env;
}

std::vector<char*> CStrings(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

[[noreturn]] void ChildFailed(int report_w) {
    int e = errno;
    ssize_t ignored = ::write(report_w, &e, sizeof e);
    (void)ignored;
    ::_exit(127);
}

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void ExecChild(char* const* argv, char* const* envp, const std::string& dir,
                            int out_w, int err_w, int tty_slave, int report_w) {
    auto fail = [report_w]() { ChildFailed(report_w); };
    if (::setsid() < 0) fail();
    int in = tty_slave;
    if (tty_slave >= 0) {
        if (::ioctl(tty_slave, TIOCSCTTY, 0) < 0) fail();
    } else {
        in = ::open("/dev/null", O_RDONLY);
        if (in < 0) fail();
    }
    if (::dup2(in, 0) < 0 || ::dup2(out_w, 1) < 0 || ::dup2(err_w, 2) < 0) fail();
    if (::chdir(dir.c_str()) < 0) fail();
    for (int fd = 3; fd < 1024; ++fd) {
        if (fd != report_w) ::close(fd);
    }
    ::execvpe(argv[0], argv, envp);
    ChildFailed(report_w);
}

// Reads what is there; false at end of file or on an error.
bool Drain(int fd, std::string& into) {
    char buf[65536];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
        into.append(buf, static_cast<size_t>(n));
        return true;
    }
    return n < 0 && (errno == EINTR || errno == EAGAIN);
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
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

std::ostream& operator<<(std::ostream& os, const Result& r) {
    os << "exit " << r.exit_code;
    if (r.signal != 0) os << ", signal " << r.signal;
    if (r.timed_out) os << ", timed out";
    os << "\n  stdout: \"" << Escaped(r.out) << "\"\n  stderr: \"" << Escaped(r.err) << "\"";
    if (!r.tty_output.empty()) os << "\n  terminal: \"" << Escaped(r.tty_output) << "\"";
    return os;
}

bool SameTerminalSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

Result RunCommand(const std::vector<std::string>& argv_in, const std::string& dir,
                  const RunOptions& options) {
    Result r;
    std::vector<std::string> argv_strings = argv_in;
    std::vector<std::string> env_strings = ChildEnvironment(options);
    std::vector<char*> argv = CStrings(argv_strings);
    std::vector<char*> envp = CStrings(env_strings);

    int out_pipe[2], err_pipe[2], report_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0 ||
        ::pipe2(report_pipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return r;
    }
    int master = -1, slave = -1;
    if (options.pty) {
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty: " << std::strerror(errno);
            return r;
        }
        ::fcntl(master, F_SETFD, FD_CLOEXEC);
        ::tcgetattr(slave, &r.tty_before);
    }

    pid_t pid = ::fork();
    if (pid == 0) {
        ExecChild(argv.data(), envp.data(), dir, out_pipe[1], err_pipe[1], slave, report_pipe[1]);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    ::close(report_pipe[1]);
    if (pid < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        for (int fd : {out_pipe[0], err_pipe[0], report_pipe[0], master, slave}) {
            if (fd >= 0) ::close(fd);
        }
        return r;
    }

    int out_fd = out_pipe[0], err_fd = err_pipe[0];
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + options.timeout;
    std::chrono::steady_clock::time_point exited_at{};
    bool exited = false;
    int status = 0;
    size_t search_from = 0;

    for (;;) {
        auto now = std::chrono::steady_clock::now();
        if (!exited && now >= deadline) {
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            r.timed_out = exited = true;
            break;
        }
        // A process that exited may have left a descendant holding the
        // pipes; read on for a short while, then stop.
        if (exited && ((out_fd < 0 && err_fd < 0) || now - exited_at > std::chrono::seconds(5))) {
            break;
        }
        pollfd fds[3];
        nfds_t n = 0;
        if (out_fd >= 0) fds[n++] = {out_fd, POLLIN, 0};
        if (err_fd >= 0) fds[n++] = {err_fd, POLLIN, 0};
        if (master >= 0) fds[n++] = {master, POLLIN, 0};
        ::poll(fds, n, 20);
        for (nfds_t i = 0; i < n; ++i) {
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            if (fds[i].fd == out_fd) {
                if (!Drain(out_fd, r.out)) CloseFd(out_fd);
            } else if (fds[i].fd == err_fd) {
                if (!Drain(err_fd, r.err)) CloseFd(err_fd);
            } else if (!Drain(master, r.tty_output)) {
                CloseFd(master);
            }
        }
        while (master >= 0 && r.pty_steps_done < options.pty_script.size()) {
            const PtyStep& step = options.pty_script[r.pty_steps_done];
            size_t at = r.err.find(step.after_stderr, search_from);
            if (at == std::string::npos) break;
            search_from = at + step.after_stderr.size();
            if (::write(master, step.send.data(), step.send.size()) !=
                static_cast<ssize_t>(step.send.size())) {
                ADD_FAILURE() << "writing to the terminal: " << std::strerror(errno);
            }
            ++r.pty_steps_done;
        }
        if (!exited && ::waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            exited_at = std::chrono::steady_clock::now();
        }
    }
    if (master >= 0) {
        while (true) {
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0 || !Drain(master, r.tty_output)) break;
        }
    }
    if (slave >= 0) ::tcgetattr(slave, &r.tty_after);
    CloseFd(out_fd);
    CloseFd(err_fd);
    CloseFd(master);
    CloseFd(slave);

    int exec_errno = 0;
    bool exec_failed = ::read(report_pipe[0], &exec_errno, sizeof exec_errno) == sizeof exec_errno;
    ::close(report_pipe[0]);

    if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    if (r.timed_out) {
        r.exit_code = -1;
        ADD_FAILURE() << "timed out after " << options.timeout.count() << " ms and killed: "
                      << Joined(argv_in) << "\n" << r;
    } else if (exec_failed) {
        ADD_FAILURE() << "cannot run " << Joined(argv_in) << ": " << std::strerror(exec_errno);
    }
    return r;
}

TempDir::TempDir() {
    std::string tmpl = EnvOr("TMPDIR", "/tmp") + "/recmeter-e2e-XXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp " << tmpl << ": " << std::strerror(errno);
    }
    path_ = tmpl;
}

TempDir::~TempDir() {
    if (std::getenv("RECMETER_E2E_KEEP") != nullptr) {
        std::fprintf(stderr, "kept %s\n", path_.c_str());
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
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
    EXPECT_EQ(r.exit_code, 0) << Joined(argv) << "\n" << r;
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

void E2ETest::WriteFile(const std::string& name, const std::string& bytes) const {
    std::ofstream f(PathOf(name), std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(f.good()) << "writing " << PathOf(name);
}

std::string E2ETest::ReadFile(const std::string& name) const {
    std::ifstream f(PathOf(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace e2e

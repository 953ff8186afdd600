#include "support/process.h"

#include "support/test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

extern char** environ;

namespace support {
namespace {

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

// Ours without the engine's test switches and with wine quiet, then the
// options' changes made in order.
std::vector<std::string> ChildEnvironment(const Environment& options_env) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    Environment changes{{"LOCALENGINE_VERSION", std::nullopt}, {"LOCALENGINE_FAULTS", std::nullopt}};
    if (std::getenv("WINEDEBUG") == nullptr) changes.emplace_back("WINEDEBUG", "-all");
    changes.insert(changes.end(), options_env.begin(), options_env.end());
    for (const auto& [name, value] : changes) {
        const std::string prefix = name + "=";
        std::vector<std::string> kept;
        for (std::string& entry : env) {
            if (entry.compare(0, prefix.size(), prefix) != 0) kept.push_back(std::move(entry));
        }
        env = std::move(kept);
        if (value) env.push_back(prefix + *value);
    }
    return env;
}

std::vector<char*> CStrings(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

[[noreturn]] void ChildFailed(int report) {
    const int e = errno;
    ssize_t ignored = ::write(report, &e, sizeof e);
    (void)ignored;
    ::_exit(127);
}

// Starts argv with `in`, `out` and `err` as its descriptors 0, 1 and 2 (`in`
// a pty's slave to become its controlling terminal when `tty`), and returns
// once it has started its program: its pid, or -1 after failing the test.
pid_t Spawn(const std::vector<std::string>& argv_in, const std::string& dir, const ChildOptions& options, int in,
            int out, int err, bool tty) {
    std::vector<std::string> argv_strings = argv_in;
    std::vector<std::string> env_strings = ChildEnvironment(options.env);
    std::vector<char*> argv = CStrings(argv_strings);
    std::vector<char*> envp = CStrings(env_strings);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return -1;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        if (::setsid() < 0) ChildFailed(report[1]);
        if (tty && ::ioctl(in, TIOCSCTTY, 0) < 0) ChildFailed(report[1]);
        if (::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ChildFailed(report[1]);
        if (!dir.empty() && ::chdir(dir.c_str()) < 0) ChildFailed(report[1]);
        for (int fd = 3; fd < 1024; ++fd) {
            if (fd != report[1]) ::close(fd);
        }
        ::execvpe(argv[0], argv.data(), envp.data());
        ChildFailed(report[1]);
    }
    ::close(report[1]);
    if (pid < 0) {
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        ::close(report[0]);
        return -1;
    }
    // The report pipe closes on exec; before that, an errno arrives on it.
    int exec_errno = 0;
    const bool failed = ::read(report[0], &exec_errno, sizeof exec_errno) == sizeof exec_errno;
    ::close(report[0]);
    if (!failed) return pid;
    ::waitpid(pid, nullptr, 0);
    ADD_FAILURE() << "cannot run " << Joined(argv_in) << ": " << std::strerror(exec_errno);
    return -1;
}

// Reads what is there; false at end of file or on an error.
bool Drain(int fd, std::string& into) {
    char buf[65536];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
        into.append(buf, static_cast<size_t>(n));
        return true;
    }
    return n < 0 && (errno == EINTR || errno == EAGAIN);
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const Result& r) {
    os << "exit " << r.exit_code;
    if (r.signal != 0) os << ", signal " << r.signal;
    if (r.timed_out) os << ", timed out";
    os << "\n  stdout: \"" << Escaped(r.out) << "\"\n  stderr: \"" << Escaped(r.err) << "\"";
    if (!r.tty_output.empty()) os << "\n  terminal: \"" << Escaped(r.tty_output) << "\"";
    return os;
}

bool SameTerminalSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
           std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

Result RunCommand(const std::vector<std::string>& argv, const std::string& dir, const ChildOptions& options) {
    Result r;
    int out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1};
    if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        for (int* fd : {&out_pipe[0], &out_pipe[1]}) CloseFd(*fd);
        return r;
    }
    int master = -1, in = -1;
    if (options.pty) {
        if (::openpty(&master, &in, nullptr, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty: " << std::strerror(errno);
        } else {
            ::fcntl(master, F_SETFD, FD_CLOEXEC);
            ::fcntl(in, F_SETFD, FD_CLOEXEC);
            ::tcgetattr(in, &r.tty_before);
        }
    } else {
        in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    }
    const pid_t pid = in < 0 ? -1 : Spawn(argv, dir, options, in, out_pipe[1], err_pipe[1], options.pty);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    int out_fd = out_pipe[0], err_fd = err_pipe[0];
    if (pid < 0) {
        for (int* fd : {&out_fd, &err_fd, &master, &in}) CloseFd(*fd);
        return r;
    }

    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    std::chrono::steady_clock::time_point exited_at{};
    bool exited = false;
    int status = 0;
    size_t search_from = 0;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
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
            const size_t at = r.err.find(step.after_stderr, search_from);
            if (at == std::string::npos) break;
            search_from = at + step.after_stderr.size();
            if (::write(master, step.send.data(), step.send.size()) != static_cast<ssize_t>(step.send.size())) {
                ADD_FAILURE() << "writing to the terminal: " << std::strerror(errno);
            }
            ++r.pty_steps_done;
        }
        if (!exited && ::waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            exited_at = std::chrono::steady_clock::now();
        }
    }
    while (master >= 0) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || !Drain(master, r.tty_output)) break;
    }
    if (options.pty) ::tcgetattr(in, &r.tty_after);
    for (int* fd : {&out_fd, &err_fd, &master, &in}) CloseFd(*fd);

    if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    if (r.timed_out) {
        r.exit_code = -1;
        ADD_FAILURE() << "timed out after " << options.timeout.count() << " ms and killed: " << Joined(argv) << "\n"
                      << r;
    }
    return r;
}

std::vector<std::string> ChildCommand(const std::vector<std::string>& argv) {
    // CHILD_EMULATOR: the emulator and its options, separated by blanks.
    std::vector<std::string> command = Words(CHILD_EMULATOR);
    command.insert(command.end(), argv.begin(), argv.end());
    return command;
}

Result RunChild(const std::vector<std::string>& argv, const std::string& dir, ChildOptions options) {
    options.timeout = std::chrono::seconds(300);
    return RunCommand(ChildCommand(argv), dir, options);
}

const std::string& RecfilePath() {
    static const std::string path = RECFILE_PROGRAM;
    return path;
}

Result RunRecfile(const std::vector<std::string>& args, const std::string& dir) {
    std::vector<std::string> argv{RecfilePath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunChild(argv, dir);
}

Result Recfile(const std::vector<std::string>& args, const std::string& dir) {
    Result r = RunRecfile(args, dir);
    EXPECT_EQ(r.exit_code, 0) << "recfile " << Joined(args) << "\n" << r;
    return r;
}

void MakeFile(const std::string& path, const std::vector<std::string>& items, const std::string& owner) {
    std::vector<std::string> owner_args;
    if (!owner.empty()) owner_args.push_back("--owner=" + owner);
    std::vector<std::string> create{"create", path};
    create.insert(create.end(), owner_args.begin(), owner_args.end());
    Recfile(create);
    if (items.empty()) return;
    std::vector<std::string> add{"add", path};
    add.insert(add.end(), owner_args.begin(), owner_args.end());
    add.insert(add.end(), items.begin(), items.end());
    Recfile(add);
}

void GenFile(const std::string& path, uint32_t count, uint32_t min_len, uint32_t max_len, uint32_t seed) {
    Recfile({"gen", path, "--count=" + std::to_string(count), "--min=" + std::to_string(min_len),
             "--max=" + std::to_string(max_len), "--seed=" + std::to_string(seed)});
}

std::vector<std::string> HexLines(const std::string& path) { return Lines(Recfile({"hex", path}).out); }

std::vector<uint32_t> RecordLengths(const std::string& path) {
    std::vector<uint32_t> lengths;
    std::istringstream in(Recfile({"list", path}).out);
    for (uint64_t position, length; in >> position >> length;) lengths.push_back(uint32_t(length));
    return lengths;
}

Child::Child(const std::vector<std::string>& argv, const std::string& dir, const ChildOptions& options,
             bool read_lines) {
    int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    int out_pipe[2] = {-1, -1};
    if (null < 0 || (read_lines && ::pipe2(out_pipe, O_CLOEXEC) != 0)) {
        ADD_FAILURE() << "opening the child's streams: " << std::strerror(errno);
        CloseFd(null);
        return;
    }
    pid_ = Spawn(argv, dir, options, null, read_lines ? out_pipe[1] : null, null, false);
    CloseFd(null);
    CloseFd(out_pipe[1]);
    out_ = out_pipe[0];
}

Child::~Child() {
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        Wait();
    }
    CloseFd(out_);
}

std::string Child::ReadLine() {
    std::string line;
    char c;
    while (out_ >= 0 && ::read(out_, &c, 1) == 1 && c != '\n') line.push_back(c);
    return line;
}

void Child::Signal(int signal) {
    if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

bool Child::Ended() {
    if (pid_ > 0 && !reaped_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
    return reaped_;
}

int Child::Wait() {
    if (pid_ > 0 && !reaped_ && ::waitpid(pid_, &status_, 0) == pid_) reaped_ = true;
    return status_;
}

}  // namespace support

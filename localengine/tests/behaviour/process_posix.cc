#include "process_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

namespace behaviour {

namespace {

// The command that runs `argv`: through the emulator (and its options,
// separated by spaces) in a cross build, as it is in a native one.
std::vector<std::string> command(const std::vector<std::string>& argv) {
    std::vector<std::string> out;
    std::istringstream words(CHILD_EMULATOR);
    for (std::string word; words >> word;) out.push_back(word);
    out.insert(out.end(), argv.begin(), argv.end());
    return out;
}

[[noreturn]] void execChild(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

void decodeStatus(int status, RunResult& result) {
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
}

}  // namespace

RunResult runProgram(const std::vector<std::string>& argv, const Environment& env, unsigned timeoutSeconds) {
    int outPipe[2], errPipe[2];
    RunResult result;
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;
    const std::vector<std::string> cmd = command(argv);
    const pid_t pid = fork();
    if (pid == 0) {
        for (const auto& [name, value] : env) {
            if (value) {
                setenv(name.c_str(), value, 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(outPipe[0]);
        close(errPipe[0]);
        execChild(cmd);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int openPipes = 2;
    while (openPipes > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        if (poll(fds, 2, static_cast<int>(left.count())) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[65536];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --openPipes;
            }
        }
    }
    for (const pollfd& p : fds) {
        if (p.fd >= 0) close(p.fd);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    decodeStatus(status, result);
    return result;
}

pid_t startProgram(const std::vector<std::string>& argv, int& outFd) {
    int outPipe[2];
    if (pipe(outPipe) != 0) return -1;
    const std::vector<std::string> cmd = command(argv);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], 1);
        close(outPipe[0]);
        execChild(cmd);
    }
    close(outPipe[1]);
    outFd = outPipe[0];
    return pid;
}

std::string readLine(int fd) {
    std::string line;
    char c;
    while (read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
    return line;
}

RunResult runRecfile(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {RECFILE_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv);
}

std::string letterHex(size_t n) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < n; ++i) {
        const unsigned c = 'A' + i % 26;
        hex.push_back(kDigits[c >> 4]);
        hex.push_back(kDigits[c & 15]);
    }
    return hex;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace behaviour

// Keys come from the controlling terminal, so Esc works while standard
// input, output and error are redirected. The program changes the terminal
// and reads it only while its process group is the terminal's foreground
// group: a job stopped with Ctrl-Z gives the shell its settings back first
// and takes the keyboard again once it is back in the foreground; a job in
// the background never asks anything of the terminal (which would stop it).
// Without a terminal no key is ever pending.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include "console/keyboard.h"

namespace {

// Every signal whose default action ends the process. A broken pipe is one:
// `recmeter FILE | head -1` ends by it once head has gone.
constexpr int ENDING_SIGNALS[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,   SIGPIPE, SIGALRM, SIGUSR1,
                                  SIGUSR2, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGABRT, SIGSEGV,
                                  SIGBUS,  SIGFPE,  SIGILL,  SIGTRAP,   SIGSYS};
constexpr int JOB_CONTROL_SIGNALS[] = {SIGTSTP, SIGCONT, SIGTTIN, SIGTTOU};

int terminalFd = -1;
// What the terminal held when the program took the keyboard, and what it
// holds while keys are read.
struct termios savedSettings;
struct termios keySettings;
// Set between ConsoleKeysBegin and ConsoleKeysEnd.
volatile sig_atomic_t keysWanted = 0;
// The terminal may hold keySettings, and savedSettings are to be put back.
volatile sig_atomic_t keyMode = 0;
int heldByte = -1;
bool hooksInstalled = false;
// Every signal whose handler touches the terminal or these records, and the
// two that stop a background process asking the terminal for something.
// They are blocked in each handler and wherever the program itself changes
// or reads the terminal, so no stop can come in between.
sigset_t terminalSignals;

bool InForeground() {
    return tcgetpgrp(terminalFd) == getpgrp();
}

// The procedures below run with terminalSignals blocked, and use only calls
// that are safe in a signal handler.

void TakeKeyboard() {
    if (!keysWanted || !InForeground()) return;
    if (!keyMode) {
        if (tcgetattr(terminalFd, &savedSettings) != 0) return;
        keySettings = savedSettings;
        keySettings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        keySettings.c_cc[VMIN] = 0;
        keySettings.c_cc[VTIME] = 0;
    }
    if (tcsetattr(terminalFd, TCSANOW, &keySettings) == 0) keyMode = 1;
}

void GiveBackKeyboard() {
    if (keyMode && InForeground() && tcsetattr(terminalFd, TCSANOW, &savedSettings) == 0) {
        keyMode = 0;
    }
}

void SetHandler(int signalNumber, void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    action.sa_mask = terminalSignals;
    sigaction(signalNumber, &action, nullptr);
}

void RestoreAndResignal(int signalNumber) {
    GiveBackKeyboard();
    SetHandler(signalNumber, SIG_DFL);
    raise(signalNumber);  // blocked until the handler returns, then ends the process
}

void StopWithTerminalRestored(int signalNumber) {
    int savedErrno = errno;
    GiveBackKeyboard();
    SetHandler(signalNumber, SIG_DFL);
    raise(signalNumber);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, signalNumber);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // the process stops here until continued
    SetHandler(signalNumber, StopWithTerminalRestored);
    TakeKeyboard();
    errno = savedErrno;
}

void TakeKeyboardAgain(int) {
    int savedErrno = errno;
    TakeKeyboard();
    errno = savedErrno;
}

void BlockTerminalSignals(sigset_t* previous) {
    sigprocmask(SIG_BLOCK, &terminalSignals, previous);
}

void UnblockTerminalSignals(const sigset_t* previous) {
    sigprocmask(SIG_SETMASK, previous, nullptr);
}

void RestoreAtExit() {
    sigset_t previous;
    BlockTerminalSignals(&previous);
    GiveBackKeyboard();
    UnblockTerminalSignals(&previous);
}

// A signal the caller chose to ignore stays ignored.
void HandleUnlessIgnored(int signalNumber, void (*handler)(int)) {
    struct sigaction previous;
    if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) return;
    SetHandler(signalNumber, handler);
}

void InstallHooks() {
    if (hooksInstalled) return;
    hooksInstalled = true;
    sigemptyset(&terminalSignals);
    for (int signalNumber : ENDING_SIGNALS) sigaddset(&terminalSignals, signalNumber);
    for (int signalNumber : JOB_CONTROL_SIGNALS) sigaddset(&terminalSignals, signalNumber);
    atexit(RestoreAtExit);
    for (int signalNumber : ENDING_SIGNALS) HandleUnlessIgnored(signalNumber, RestoreAndResignal);
    HandleUnlessIgnored(SIGTSTP, StopWithTerminalRestored);
    SetHandler(SIGCONT, TakeKeyboardAgain);
}

bool BytesWaiting() {
    struct pollfd request = {terminalFd, POLLIN, 0};
    return poll(&request, 1, 0) > 0 && (request.revents & POLLIN) != 0;
}

// The terminal is open without blocking: no byte waiting reads as -1.
int ReadByte() {
    unsigned char byte = 0;
    return read(terminalFd, &byte, 1) == 1 ? byte : -1;
}

}  // namespace

void ConsoleKeysBegin() {
    if (terminalFd < 0) {
        terminalFd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    }
    if (terminalFd < 0) return;
    InstallHooks();
    sigset_t previous;
    BlockTerminalSignals(&previous);
    keysWanted = 1;
    TakeKeyboard();
    UnblockTerminalSignals(&previous);
}

void ConsoleKeysEnd() {
    if (terminalFd < 0) return;
    sigset_t previous;
    BlockTerminalSignals(&previous);
    keysWanted = 0;
    GiveBackKeyboard();
    UnblockTerminalSignals(&previous);
}

bool ConsoleKeyPending() {
    if (!keyMode) {
        // A job started in the background and brought to the foreground
        // while it runs gets no signal: it takes the keyboard at a test.
        if (!keysWanted || !InForeground()) return false;
        sigset_t previous;
        BlockTerminalSignals(&previous);
        TakeKeyboard();
        UnblockTerminalSignals(&previous);
        if (!keyMode) return false;
    }
    return heldByte >= 0 || (BytesWaiting() && InForeground());
}

int ConsoleReadKey() {
    sigset_t previous;
    BlockTerminalSignals(&previous);
    int key = keyMode && InForeground() ? NextKey(&heldByte, ReadByte) : NOT_A_KEY;
    UnblockTerminalSignals(&previous);
    return key;
}

uint32_t ConsoleMilliseconds() {
    struct timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(now.tv_sec) * 1000u + static_cast<uint32_t>(now.tv_nsec / 1000000);
}

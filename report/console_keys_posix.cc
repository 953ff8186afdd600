// Keys come from the controlling terminal, so Esc works while standard
// input, output and error are redirected. Without a terminal, or when the
// program runs in the background, no key is ever pending.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "report/console_keys.h"
#include "report/key_bytes.h"

namespace {

constexpr int HANDLED_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

int terminalFd = -1;
struct termios savedSettings;
volatile sig_atomic_t settingsChanged = 0;
bool exitHookInstalled = false;
int heldByte = -1;

void RestoreTerminal() {
    if (settingsChanged) {
        tcsetattr(terminalFd, TCSANOW, &savedSettings);
        settingsChanged = 0;
    }
}

void RestoreAndResignal(int signalNumber) {
    RestoreTerminal();
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void InstallRestoreHooks() {
    if (!exitHookInstalled) {
        atexit(RestoreTerminal);
        exitHookInstalled = true;
    }
    struct sigaction action = {};
    action.sa_handler = RestoreAndResignal;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : HANDLED_SIGNALS) {
        struct sigaction previous;
        // A signal the caller chose to ignore stays ignored.
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
            continue;
        }
        sigaction(signalNumber, &action, nullptr);
    }
}

bool BytesWaiting() {
    struct pollfd request = {terminalFd, POLLIN, 0};
    return poll(&request, 1, 0) > 0 && (request.revents & POLLIN) != 0;
}

int ReadByte() {
    unsigned char byte = 0;
    return read(terminalFd, &byte, 1) == 1 ? byte : -1;
}

}  // namespace

void ConsoleKeysBegin() {
    if (terminalFd < 0) terminalFd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminalFd < 0) return;
    if (tcgetpgrp(terminalFd) != getpgrp() || tcgetattr(terminalFd, &savedSettings) != 0) {
        close(terminalFd);
        terminalFd = -1;
        return;
    }
    struct termios keySettings = savedSettings;
    keySettings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    keySettings.c_cc[VMIN] = 0;
    keySettings.c_cc[VTIME] = 0;
    InstallRestoreHooks();
    settingsChanged = 1;
    if (tcsetattr(terminalFd, TCSANOW, &keySettings) != 0) settingsChanged = 0;
}

void ConsoleKeysEnd() {
    RestoreTerminal();
}

bool ConsoleKeyPending() {
    return terminalFd >= 0 && settingsChanged && (heldByte >= 0 || BytesWaiting());
}

int ConsoleReadKey() {
    return NextKey(&heldByte, ReadByte);
}

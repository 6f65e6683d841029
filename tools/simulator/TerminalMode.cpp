#include "tools/simulator/TerminalMode.h"

#include <csignal>

namespace pelvaro::sim {

namespace {

// What the signal handler restores; set before the handler is installed.
int restoreFd = -1;
termios restoreAttributes{};

void restoreAndEnd(int signalNumber) {
    tcsetattr(restoreFd, TCSANOW, &restoreAttributes);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

} // namespace

TerminalMode::TerminalMode(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &saved_) != 0)
        return; // no terminal: keys come as they are
    restoreFd = fd_;
    restoreAttributes = saved_;
    struct sigaction action {};
    action.sa_handler = restoreAndEnd;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    termios keys = saved_;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    tcsetattr(fd_, TCSANOW, &keys);
    active_ = true;
}

TerminalMode::~TerminalMode() {
    if (!active_)
        return;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    tcsetattr(fd_, TCSANOW, &saved_);
}

} // namespace pelvaro::sim

#pragma once

#include <termios.h>

namespace pelvaro::sim {

// While it lives, the terminal delivers every key at once and without echo.
// SIGINT and SIGTERM put the terminal back before they end the program.
class TerminalMode {
public:
    explicit TerminalMode(int fd);
    ~TerminalMode();
    TerminalMode(const TerminalMode&) = delete;
    TerminalMode& operator=(const TerminalMode&) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

} // namespace pelvaro::sim

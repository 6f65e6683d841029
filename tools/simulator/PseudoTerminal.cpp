#include "tools/simulator/PseudoTerminal.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace pelvaro::sim {

namespace {

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
        fail("openpty");
    try {
        // A child started by a test must not keep the line alive after hangUp.
        if (fcntl(master_, F_SETFD, FD_CLOEXEC) != 0 || fcntl(slave_, F_SETFD, FD_CLOEXEC) != 0)
            fail("fcntl");
        std::array<char, 128> name{};
        if (ttyname_r(slave_, name.data(), name.size()) != 0)
            fail("ttyname_r");
        slavePath_ = name.data();

        termios attributes{};
        if (tcgetattr(slave_, &attributes) != 0)
            fail("tcgetattr");
        cfmakeraw(&attributes);
        if (tcsetattr(slave_, TCSANOW, &attributes) != 0)
            fail("tcsetattr");
        // After raw mode, so that its stop/start event is not reported.
        int packetMode = 1;
        if (ioctl(master_, TIOCPKT, &packetMode) != 0)
            fail("TIOCPKT");
    } catch (...) {
        close();
        throw;
    }
}

PseudoTerminal::~PseudoTerminal() {
    close();
}

void PseudoTerminal::close() {
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
    slave_ = -1;
    master_ = -1;
}

} // namespace pelvaro::sim

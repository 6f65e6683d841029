#include "reader/SerialSystemCalls_posix.h"
#include "reader/T_Serial_Interface.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <utility>

namespace pelvaro {

namespace {

using Clock = std::chrono::steady_clock;

// A read of k bytes may take 50 ms plus 1 ms per byte; a write of k bytes
// 10 ms per byte plus 10 ms.
constexpr int kReadConstantMs = 50;
constexpr int kReadPerByteMs = 1;
constexpr int kWriteConstantMs = 10;
constexpr int kWritePerByteMs = 10;

bool baudConstant(int baudRate, speed_t& speed) {
    switch (baudRate) {
    case 1200:
        speed = B1200;
        return true;
    case 2400:
        speed = B2400;
        return true;
    case 4800:
        speed = B4800;
        return true;
    case 9600:
        speed = B9600;
        return true;
    case 19200:
        speed = B19200;
        return true;
    case 38400:
        speed = B38400;
        return true;
    case 57600:
        speed = B57600;
        return true;
    case 115200:
        speed = B115200;
        return true;
    default:
        return false;
    }
}

// Why a step of opening the line failed, from the errno it left.
PortProblem::Kind problemOf(int error) {
    using enum PortProblem::Kind;
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return Missing;
    case EBUSY:       // another program holds it with TIOCEXCL
    case EWOULDBLOCK: // or with flock
        return Busy;
    case EACCES:
    case EPERM:
        return NoPermission;
    case ENOTTY: // a file, /dev/null: no terminal at all
    case EINVAL: // a line that refuses the reader's settings
        return NotSerial;
    default:
        return Other;
    }
}

// The reader's line on top of the settings found: raw eight data bits, no
// parity, one stop bit, no flow control, reads that return at once. False if
// the speed is refused.
bool makeReaderSettings(termios& attributes, speed_t speed) {
    cfmakeraw(&attributes);
    attributes.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    attributes.c_cflag |= CS8 | CLOCAL | CREAD;
    attributes.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    attributes.c_cc[VMIN] = 0;
    attributes.c_cc[VTIME] = 0;
    return cfsetispeed(&attributes, speed) == 0 && cfsetospeed(&attributes, speed) == 0;
}

// Raises (TIOCMBIS) or drops (TIOCMBIC) modem lines; 0 or the errno. A line
// without modem lines, a pseudo-terminal for one, has none to drive.
int driveModemLines(const SerialSystemCalls& calls, int fd, unsigned long request, int lines) {
    if (calls.ioctl(fd, request, &lines) == 0 || errno == ENOTTY || errno == EINVAL)
        return 0;
    return errno;
}

// Puts the line back as it was found: its settings, its modem lines where
// they were read, and its exclusive use. Every step is made; the errno of
// the first that failed, or 0.
int putLineBack(const SerialSystemCalls& calls, int fd, const termios& settings,
                const std::optional<int>& modemLines) {
    int firstError = 0;
    const auto keep = [&firstError](int error) {
        if (firstError == 0)
            firstError = error;
    };
    keep(calls.tcsetattr(fd, TCSANOW, &settings) == 0 ? 0 : errno);
    if (modemLines) {
        constexpr int kDriven = TIOCM_DTR | TIOCM_RTS;
        keep(driveModemLines(calls, fd, TIOCMBIS, *modemLines & kDriven));
        keep(driveModemLines(calls, fd, TIOCMBIC, ~*modemLines & kDriven));
    }
    // A pseudo-terminal keeps TIOCEXCL past our close while its master is
    // open, which would refuse our own next open unless we are root.
    keep(calls.ioctl(fd, TIOCNXCL, nullptr) == 0 ? 0 : errno);
    return firstError;
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

struct T_Serial_Interface::Line {
    int fd = -1;
    // The line as it was found, put back at close.
    termios foundSettings{};
    std::optional<int> foundModemLines; // a pseudo-terminal has none
};

T_Serial_Interface::T_Serial_Interface(bool rtsEnable, PortMap ports,
                                       const SerialSystemCalls* calls)
    : rtsEnable_(rtsEnable), ports_(std::move(ports)), calls_(calls ? calls : &systemSerialCalls()),
      line_(std::make_unique<Line>()) {}

T_Serial_Interface::~T_Serial_Interface() {
    close();
}

OpenResult T_Serial_Interface::openLine(const std::string& devicePath, int baudRate) {
    const auto fail = [this](OpenResult result, int error) {
        return refuse(result, problemOf(error), std::generic_category().message(error));
    };
    const int fd = calls_->open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(OpenResult::Failed, errno);
    // Exclusive use: flock keeps out every other opener that asks (root
    // included), TIOCEXCL every unprivileged one that does not.
    if (calls_->flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        calls_->close(fd);
        return fail(OpenResult::Failed, error);
    }
    // Nothing else holds this handle, so a line that fails a step is
    // released, put back first as far as it was changed.
    const auto release = [&](int error) {
        calls_->close(fd);
        return fail(OpenResult::NotSerial, error);
    };
    const auto putBackAndRelease = [&](int error, const std::optional<int>& changedModemLines) {
        putLineBack(*calls_, fd, line_->foundSettings, changedModemLines);
        return release(error);
    };
    termios found{};
    if (calls_->tcgetattr(fd, &found) != 0)
        return release(errno);
    termios attributes = found;
    speed_t speed{};
    if (!baudConstant(baudRate, speed) || !makeReaderSettings(attributes, speed))
        return release(EINVAL);
    if (calls_->ioctl(fd, TIOCEXCL, nullptr) != 0)
        return release(errno);
    // Every device is left as it was found: a scan must not spoil a modem
    // or a console.
    line_->foundSettings = found;
    int modemLines = 0;
    line_->foundModemLines.reset();
    if (calls_->ioctl(fd, TIOCMGET, &modemLines) == 0)
        line_->foundModemLines = modemLines;
    // A line that refuses its settings would pass garbage as frames.
    if (calls_->tcsetattr(fd, TCSANOW, &attributes) != 0)
        return putBackAndRelease(errno, std::nullopt);

    int error = driveModemLines(*calls_, fd, TIOCMBIC, TIOCM_DTR);
    if (error == 0)
        error = driveModemLines(*calls_, fd, rtsEnable_ ? TIOCMBIS : TIOCMBIC, TIOCM_RTS);
    if (error == 0 && calls_->tcflush(fd, TCIOFLUSH) != 0)
        error = errno;
    if (error != 0)
        return putBackAndRelease(error, line_->foundModemLines);

    line_->fd = fd;
    open_ = true;
    problem_ = {};
    lineLost_ = false;
    return OpenResult::Opened;
}

bool T_Serial_Interface::close() {
    if (!open_)
        return true;
    open_ = false;
    const int fd = std::exchange(line_->fd, -1);
    // A line that went away refuses everything but the release of its handle.
    const bool putBack =
        lineLost_ || putLineBack(*calls_, fd, line_->foundSettings, line_->foundModemLines) == 0;
    return calls_->close(fd) == 0 && putBack;
}

bool T_Serial_Interface::write(const uint8_t* buffer, size_t count) {
    if (!open_)
        return false;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(kWriteConstantMs + kWritePerByteMs * count);
    size_t done = 0;
    while (done < count) {
        const ssize_t written = calls_->write(line_->fd, buffer + done, count - done);
        if (written > 0) {
            done += static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd writable{line_->fd, POLLOUT, 0};
        const int waitMs = millisecondsUntil(deadline);
        if (waitMs == 0 || (calls_->poll(&writable, 1, waitMs) < 0 && errno != EINTR))
            return false;
    }
    return true;
}

ReadOutcome T_Serial_Interface::read(uint8_t* buffer, size_t count) {
    if (!open_)
        return ReadOutcome::Failed;
    if (lineLost_)
        return ReadOutcome::LineLost;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(kReadConstantMs + kReadPerByteMs * count);
    size_t done = 0;
    while (done < count) {
        pollfd readable{line_->fd, POLLIN, 0};
        const int ready = calls_->poll(&readable, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno != EINTR)
            return ReadOutcome::Failed;
        if (ready > 0 && (readable.revents & POLLIN)) {
            const ssize_t got = calls_->read(line_->fd, buffer + done, count - done);
            if (got > 0) {
                done += static_cast<size_t>(got);
                continue;
            }
            if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
                lineLost_ = true;
                return ReadOutcome::LineLost;
            }
        } else if (ready > 0 && (readable.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            lineLost_ = true;
            return ReadOutcome::LineLost;
        }
        if (Clock::now() >= deadline)
            return ReadOutcome::TimedOut;
    }
    return ReadOutcome::Complete;
}

bool T_Serial_Interface::flush() {
    if (!open_)
        return false;
    const bool emptied = calls_->tcflush(line_->fd, TCIOFLUSH) == 0;
    return driveModemLines(*calls_, line_->fd, TIOCMBIC, TIOCM_RTS) == 0 && emptied;
}

} // namespace pelvaro

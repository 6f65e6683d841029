#include "reader/T_Serial_Interface.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>

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

OpenFailure failureOf(int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return OpenFailure::NoDevice;
    case EBUSY: // another program holds it with TIOCEXCL
        return OpenFailure::Busy;
    case EACCES:
    case EPERM:
        return OpenFailure::NoPermission;
    default:
        return OpenFailure::Other;
    }
}

int millisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

T_Serial_Interface::T_Serial_Interface(bool rtsEnable, PortMap ports,
                                       const SerialSystemCalls* calls)
    : rtsEnable_(rtsEnable), handle_(-1), ports_(std::move(ports)),
      calls_(calls ? calls : &systemSerialCalls()) {}

OpenResult T_Serial_Interface::openLine(const std::string& devicePath, int baudRate) {
    const int fd = calls_->open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        openFailure_ = failureOf(errno);
        return OpenResult::Failed;
    }
    // Exclusive use: flock keeps out every other opener that asks (root
    // included), TIOCEXCL every unprivileged one that does not.
    if (calls_->flock(fd, LOCK_EX | LOCK_NB) != 0) {
        openFailure_ = OpenFailure::Busy;
        calls_->close(fd);
        return OpenResult::Failed;
    }
    termios attributes{};
    speed_t speed{};
    if (calls_->tcgetattr(fd, &attributes) != 0 || !baudConstant(baudRate, speed)) {
        calls_->close(fd); // nothing else holds this handle, so release it
        openFailure_ = OpenFailure::Other;
        return OpenResult::NotSerial;
    }
    calls_->ioctl(fd, TIOCEXCL, nullptr);
    // Every device is left as it was found: a scan must not spoil a modem
    // or a console.
    foundSettings_ = attributes;
    modemLinesFound_ = calls_->ioctl(fd, TIOCMGET, &foundModemLines_) == 0;
    cfmakeraw(&attributes);
    attributes.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    attributes.c_cflag |= CS8 | CLOCAL | CREAD;
    attributes.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    attributes.c_cc[VMIN] = 0;
    attributes.c_cc[VTIME] = 0;
    cfsetispeed(&attributes, speed);
    cfsetospeed(&attributes, speed);
    // A line that refuses its settings would pass garbage as frames.
    if (calls_->tcsetattr(fd, TCSANOW, &attributes) != 0) {
        calls_->tcsetattr(fd, TCSANOW, &foundSettings_);
        calls_->ioctl(fd, TIOCNXCL, nullptr);
        calls_->close(fd);
        openFailure_ = OpenFailure::Other;
        return OpenResult::NotSerial;
    }

    int dtr = TIOCM_DTR;
    calls_->ioctl(fd, TIOCMBIC, &dtr);
    int rts = TIOCM_RTS;
    calls_->ioctl(fd, rtsEnable_ ? TIOCMBIS : TIOCMBIC, &rts);

    handle_ = fd;
    open_ = true;
    openFailure_ = OpenFailure::None;
    lineLost_ = false;
    calls_->tcflush(fd, TCIOFLUSH);
    return OpenResult::Opened;
}

bool T_Serial_Interface::close() {
    if (!open_)
        return true;
    open_ = false;
    const int fd = handle_;
    handle_ = -1;
    if (!lineLost_) {
        calls_->tcsetattr(fd, TCSANOW, &foundSettings_);
        if (modemLinesFound_) {
            int set = foundModemLines_ & (TIOCM_DTR | TIOCM_RTS);
            int cleared = ~foundModemLines_ & (TIOCM_DTR | TIOCM_RTS);
            calls_->ioctl(fd, TIOCMBIS, &set);
            calls_->ioctl(fd, TIOCMBIC, &cleared);
        }
    }
    // A pseudo-terminal keeps TIOCEXCL past our close while its master is
    // open, which would refuse our own next open unless we are root.
    calls_->ioctl(fd, TIOCNXCL, nullptr);
    return calls_->close(fd) == 0;
}

bool T_Serial_Interface::write(const uint8_t* buffer, size_t count) {
    if (!open_)
        return false;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(kWriteConstantMs + kWritePerByteMs * count);
    size_t done = 0;
    while (done < count) {
        const ssize_t written = calls_->write(handle_, buffer + done, count - done);
        if (written > 0) {
            done += static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd writable{handle_, POLLOUT, 0};
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
        pollfd readable{handle_, POLLIN, 0};
        const int ready = calls_->poll(&readable, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno != EINTR)
            return ReadOutcome::Failed;
        if (ready > 0 && (readable.revents & POLLIN)) {
            const ssize_t got = calls_->read(handle_, buffer + done, count - done);
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
    calls_->tcflush(handle_, TCIOFLUSH);
    int rts = TIOCM_RTS;
    return calls_->ioctl(handle_, TIOCMBIC, &rts) == 0;
}

} // namespace pelvaro

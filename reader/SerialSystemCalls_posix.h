#pragma once

#include <cstddef>
#include <poll.h>
#include <sys/types.h>
#include <termios.h>

namespace pelvaro {

// The system calls of the POSIX serial port, gathered so that a test can make
// any of them fail and watch which ones are made. Production code uses
// systemSerialCalls().
struct SerialSystemCalls {
    int (*open)(const char* path, int flags);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void* buffer, size_t count);
    ssize_t (*write)(int fd, const void* buffer, size_t count);
    int (*poll)(pollfd* fds, nfds_t count, int timeoutMs);
    int (*flock)(int fd, int operation);
    int (*tcgetattr)(int fd, termios* attributes);
    int (*tcsetattr)(int fd, int when, const termios* attributes);
    int (*tcflush)(int fd, int queues);
    // ioctl with an int argument (TIOCMBIS, TIOCMBIC) or none (TIOCEXCL: arg is null).
    int (*ioctl)(int fd, unsigned long request, int* arg);
};

const SerialSystemCalls& systemSerialCalls();

} // namespace pelvaro

#include "reader/SerialSystemCalls_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pelvaro {

namespace {

int openPath(const char* path, int flags) {
    return ::open(path, flags);
}

int ioctlInt(int fd, unsigned long request, int* arg) {
    return ::ioctl(fd, request, arg);
}

} // namespace

const SerialSystemCalls& systemSerialCalls() {
    static const SerialSystemCalls calls{openPath, ::close,     ::read,      ::write,   ::poll,
                                         ::flock,  ::tcgetattr, ::tcsetattr, ::tcflush, ioctlInt};
    return calls;
}

} // namespace pelvaro

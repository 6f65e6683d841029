#include "personnel/server/SocketWaiter.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace pelvaro {

// A pipe: a byte written wakes the poll.
struct SocketWaiter::Handles {
    int read = -1;
    int write = -1;
};

SocketWaiter::SocketWaiter() : handles_(std::make_unique<Handles>()) {
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe for the wake-up");
    handles_->read = ends[0];
    handles_->write = ends[1];
}

SocketWaiter::~SocketWaiter() {
    close(handles_->read);
    close(handles_->write);
}

SocketWaiter::Event SocketWaiter::wait(int socket, std::chrono::milliseconds timeout) {
    pollfd watched[2] = {{handles_->read, POLLIN, 0}, {socket, POLLIN, 0}};
    const int ready = poll(watched, socket < 0 ? 1 : 2, static_cast<int>(timeout.count()));
    if (ready <= 0)
        return Event::TimedOut; // EINTR too: the caller waits again
    if (watched[0].revents) {
        char drained[64];
        while (read(handles_->read, drained, sizeof drained) > 0) {
        }
        return Event::Woken;
    }
    return Event::Readable;
}

void SocketWaiter::wake() {
    const char byte = 1;
    // A full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = write(handles_->write, &byte, 1);
}

} // namespace pelvaro

#pragma once

#include <chrono>
#include <memory>

namespace pelvaro {

// Waits until a socket has something to read, until another thread wakes it,
// or until a time is up. Each platform its own (SocketWaiter_*.cpp).
class SocketWaiter {
public:
    enum class Event { Readable, Woken, TimedOut };

    SocketWaiter();
    ~SocketWaiter();
    SocketWaiter(const SocketWaiter&) = delete;
    SocketWaiter& operator=(const SocketWaiter&) = delete;

    // A negative socket: only a wake-up or the time.
    Event wait(int socket, std::chrono::milliseconds timeout);
    // From any thread; a wake-up before the wait ends the next wait at once.
    void wake();

private:
    struct Handles;
    std::unique_ptr<Handles> handles_;
};

} // namespace pelvaro

#include "personnel/server/SocketWaiter.h"

#include <stdexcept>
// Brings windows.h, which must not come first.
#include <winsock2.h>

namespace pelvaro {

// An event for the wake-up, and one that Winsock sets when the socket can be read.
struct SocketWaiter::Handles {
    HANDLE wake = nullptr;
    WSAEVENT socket = WSA_INVALID_EVENT;
};

SocketWaiter::SocketWaiter() : handles_(std::make_unique<Handles>()) {
    handles_->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    handles_->socket = WSACreateEvent();
    if (!handles_->wake || handles_->socket == WSA_INVALID_EVENT)
        throw std::runtime_error("no events for the wake-up");
}

SocketWaiter::~SocketWaiter() {
    CloseHandle(handles_->wake);
    WSACloseEvent(handles_->socket);
}

SocketWaiter::Event SocketWaiter::wait(int socket, std::chrono::milliseconds timeout) {
    const SOCKET watched = static_cast<SOCKET>(socket);
    DWORD count = 1;
    // Data already waiting sets the event at once.
    if (socket >= 0 && WSAEventSelect(watched, handles_->socket, FD_READ | FD_CLOSE) == 0)
        count = 2;
    const HANDLE events[2] = {handles_->wake, handles_->socket};
    const DWORD waited =
        WaitForMultipleObjects(count, events, FALSE, static_cast<DWORD>(timeout.count()));
    if (count == 2) {
        // The socket goes back to the way libpq uses it.
        WSAEventSelect(watched, nullptr, 0);
        WSAResetEvent(handles_->socket);
    }
    if (waited == WAIT_OBJECT_0)
        return Event::Woken;
    if (waited == WAIT_OBJECT_0 + 1)
        return Event::Readable;
    return Event::TimedOut;
}

void SocketWaiter::wake() {
    SetEvent(handles_->wake);
}

} // namespace pelvaro

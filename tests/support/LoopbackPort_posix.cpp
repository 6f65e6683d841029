#include "tests/support/LoopbackPort.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace pelvaro::test {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A socket bound to a free port of the loopback, and the port; throws when there is none.
int boundLoopbackSocket(int& port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (socket < 0 || bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (socket >= 0)
            close(socket);
        throw std::runtime_error("no free port on the loopback");
    }
    port = ntohs(address.sin_port);
    return socket;
}

} // namespace

int freeLoopbackPort() {
    // Below the range the system gives outgoing connections, so that a server
    // stopped by a test finds its port still free when it starts again.
    static std::mt19937 pick{std::random_device{}()};
    std::uniform_int_distribution<int> belowEphemeral(20000, 32000);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int port = belowEphemeral(pick);
        const sockaddr_in address = loopback(port);
        const bool bound =
            socket >= 0 &&
            bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        if (socket >= 0)
            close(socket);
        if (bound)
            return port;
    }
    int port = 0;
    close(boundLoopbackSocket(port));
    return port;
}

bool loopbackPortAccepts(int port) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    const bool connected =
        socket >= 0 &&
        connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (socket >= 0)
        close(socket);
    return connected;
}

SilentLoopbackServer::SilentLoopbackServer() : socket_(boundLoopbackSocket(port_)) {
    // The kernel completes the connections in the backlog; nobody accepts them.
    if (listen(socket_, 16) != 0) {
        close(socket_);
        throw std::runtime_error("cannot listen on the loopback");
    }
}

SilentLoopbackServer::~SilentLoopbackServer() {
    close(socket_);
}

} // namespace pelvaro::test

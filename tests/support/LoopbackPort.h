#pragma once

namespace pelvaro::test {

// A TCP port on 127.0.0.1 that nothing listens on just now, for a server the
// test starts.
int freeLoopbackPort();
// Whether a server listens on the port of 127.0.0.1.
bool loopbackPortAccepts(int port);

// A server on 127.0.0.1 that takes connections and never answers: a hanging peer.
class SilentLoopbackServer {
public:
    SilentLoopbackServer();
    ~SilentLoopbackServer();
    SilentLoopbackServer(const SilentLoopbackServer&) = delete;
    SilentLoopbackServer& operator=(const SilentLoopbackServer&) = delete;

    int port() const { return port_; }

private:
    int port_; // before socket_, which is made with it
    int socket_;
};

} // namespace pelvaro::test

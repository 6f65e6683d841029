#pragma once

#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"

#include <filesystem>
#include <optional>
#include <string>

namespace pelvaro::test {

// Debian's mosquitto on the loopback for a test: one user with a password, a
// plain listener and a TLS one (a server certificate for 127.0.0.1 and
// localhost signed by a CA of the test's own), sessions and queued messages
// kept on disk in a folder of its own, so that a restart keeps them. Run as
// the user mosquitto when the test runs as root.
class MosquittoBroker {
public:
    struct Options {
        bool requireClientCertificate = false; // on the TLS listener
        bool logEveryPacket = true;            // for publishesFrom; off where speed is measured
        // Small packets (acknowledgements) sent at once rather than held by
        // Nagle's algorithm until the client's delayed ACK, as by default.
        bool tcpNoDelay = false;
    };

    static constexpr char kUser[] = "pelvaro";
    static constexpr char kPassword[] = "Geheim-123";

    MosquittoBroker() : MosquittoBroker(Options{}) {}
    explicit MosquittoBroker(Options options);
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    // Ends it as its service would be ended (it saves what it holds), and
    // starts it again on the same ports.
    void stop();
    void start();

    int port() const { return port_; }
    // The running broker's process, for what it costs.
    pid_t pid() const { return process_->pid(); }
    int tlsPort() const { return tlsPort_; }
    // mqtt://user@127.0.0.1:port/topic and mqtts://…
    std::string url(const std::string& topic) const;
    std::string tlsUrl(const std::string& topic) const;

    // How many PUBLISH packets the client sent since the broker was made,
    // repeats included.
    size_t publishesFrom(const std::string& clientId) const;

    // From make-test-certificates.sh: ca.pem, server.pem, client.pem and
    // client.key, other-ca.pem.
    std::filesystem::path certificate(const std::string& name) const;

private:
    Options options_;
    TempDir folder_;
    int port_ = 0;
    int tlsPort_ = 0;
    std::optional<ServerProcess> process_;
};

} // namespace pelvaro::test

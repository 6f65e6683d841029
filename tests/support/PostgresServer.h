#pragma once

#include "tests/support/TempDir.h"

#include <filesystem>
#include <string>
#include <vector>

namespace pelvaro::test {

// Debian's PostgreSQL on the loopback for a test: a cluster of its own made by
// initdb, scram-sha-256 passwords, TLS only, with a server certificate for
// 127.0.0.1 and localhost signed by a CA of the test's own. Run as the user
// postgres when the test runs as root. Its users, each with a password in
// the password file that libpq reads (pgpassFile(), for PGPASSFILE):
// - kAdmin, the superuser;
// - kOwner, who owns the database kDatabase and so may create tables in it;
// - kReader, who may connect and nothing more.
class PostgresServer {
public:
    static constexpr char kDatabase[] = "pelvaro";
    static constexpr char kAdmin[] = "postgres";
    static constexpr char kOwner[] = "pelvaro";
    static constexpr char kReader[] = "leser";

    PostgresServer();
    // Stops it at once, its clients cut off.
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Stops it (clients cut off, as when the server goes down) and starts it
    // again on the same port, with all it held.
    void stop();
    void start();
    bool running() const { return running_; }

    int port() const { return port_; }
    // postgresql://user@127.0.0.1:port/pelvaro?sslmode=verify-full&sslrootcert=…
    std::string uri(const std::string& user = kOwner) const;
    // The password file with every user's password, mode 0600.
    std::filesystem::path pgpassFile() const;
    // "PGPASSFILE=…", for a program's environment.
    std::string pgpassVariable() const;
    // From make-test-certificates.sh: ca.pem, other-ca.pem, server.pem, …
    std::filesystem::path certificate(const std::string& name) const;

    // Runs SQL with psql as a third client (kAdmin unless told) and gives its
    // rows, one line each, fields separated by '|'; throws std::runtime_error
    // with psql's message when it fails.
    std::vector<std::string> psql(const std::string& sql, const std::string& user = kAdmin) const;

private:
    void runAsServerUser(const std::vector<std::string>& command) const;

    TempDir folder_;
    int port_ = 0;
    bool running_ = false;
};

} // namespace pelvaro::test

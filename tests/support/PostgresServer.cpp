#include "tests/support/PostgresServer.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/LoopbackPort.h"
#include "tests/support/Polling.h"

#include <fstream>
#include <pwd.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace pelvaro::test {

namespace {

constexpr char kServerUser[] = "postgres";
constexpr char kBin[] = POSTGRES_BIN "/";
const std::string kPassword = "Geheim-123";

std::string output(ChildProcess& process) {
    std::string text;
    while (const auto line = process.readLine(kPatience))
        text += *line + "\n";
    return text;
}

// Runs a command to its end; its standard output, or an exception with its errors.
std::string run(const std::vector<std::string>& command,
                const std::optional<std::vector<std::string>>& environment = {}) {
    ChildProcess process(command, environment);
    std::string text = output(process);
    if (process.waitForExit(kPatience) != 0)
        throw std::runtime_error(command.front() + " failed: " + process.errorOutput());
    return text;
}

const passwd& serverUser() {
    const passwd* user = getpwnam(kServerUser);
    if (!user)
        throw std::runtime_error("no user postgres to run the server as");
    return *user;
}

void handOver(const std::filesystem::path& path) {
    const passwd& user = serverUser();
    if (chown(path.c_str(), user.pw_uid, user.pw_gid) != 0)
        throw std::runtime_error("cannot hand " + path.string() + " to postgres");
}

} // namespace

PostgresServer::PostgresServer() : port_(freeLoopbackPort()) {
    const std::filesystem::path& folder = folder_.path();
    run({MAKE_TEST_CERTIFICATES, (folder / "certs").string()});
    const bool root = geteuid() == 0;
    if (root) {
        handOver(folder);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            handOver(entry.path());
    }
    // The server refuses a key that others may read.
    std::filesystem::permissions(certificate("server.key"), std::filesystem::perms::owner_read);
    std::ofstream(folder / "password") << kPassword << "\n";
    if (root)
        handOver(folder / "password");
    runAsServerUser({std::string(kBin) + "initdb", "-D", (folder / "data").string(), "-U",
                     kAdmin, "--auth=scram-sha-256", "--pwfile=" + (folder / "password").string(),
                     "--encoding=UTF8", "--locale=C.UTF-8"});
    std::ofstream(folder / "data" / "postgresql.conf", std::ios::app)
        << "listen_addresses = '127.0.0.1'\n"
        << "port = " << port_ << "\n"
        << "unix_socket_directories = '" << folder.string() << "'\n"
        << "ssl = on\n"
        << "ssl_cert_file = '" << certificate("server.pem").string() << "'\n"
        << "ssl_key_file = '" << certificate("server.key").string() << "'\n"
        << "max_connections = 200\n"
        << "fsync = off\n";
    std::ofstream(folder / "data" / "pg_hba.conf")
        << "local all all scram-sha-256\n"
        << "hostssl all all 127.0.0.1/32 scram-sha-256\n";
    std::ofstream pgpass(folder / "pgpass");
    for (const char* user : {kAdmin, kOwner, kReader})
        pgpass << "*:*:*:" << user << ":" << kPassword << "\n";
    pgpass.close();
    std::filesystem::permissions(folder / "pgpass", std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_write);
    start();
    // The database the rest connects to does not exist yet; CREATE DATABASE
    // wants a command of its own.
    const std::string login = " LOGIN PASSWORD '" + kPassword + "'";
    run({"psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d",
         "host=127.0.0.1 port=" + std::to_string(port_) + " user=" + kAdmin +
             " dbname=postgres sslmode=require",
         "-c", std::string("CREATE ROLE ") + kOwner + login, "-c",
         std::string("CREATE ROLE ") + kReader + login, "-c",
         std::string("CREATE DATABASE ") + kDatabase + " OWNER " + kOwner},
        environmentWith({pgpassVariable()}));
}

PostgresServer::~PostgresServer() {
    if (running_) {
        try {
            stop();
        } catch (const std::exception&) {
            // The folder goes with the test; a server left over ends with its files.
        }
    }
}

void PostgresServer::runAsServerUser(const std::vector<std::string>& command) const {
    std::vector<std::string> asUser = command;
    if (geteuid() == 0) {
        asUser = {"setpriv", "--reuid=" + std::string(kServerUser),
                  "--regid=" + std::string(kServerUser), "--init-groups", "--"};
        asUser.insert(asUser.end(), command.begin(), command.end());
    }
    run(asUser);
}

void PostgresServer::start() {
    runAsServerUser({std::string(kBin) + "pg_ctl", "start", "-w", "-s", "-D",
                     (folder_.path() / "data").string(), "-l",
                     (folder_.path() / "server.log").string()});
    running_ = true;
}

void PostgresServer::stop() {
    running_ = false;
    runAsServerUser({std::string(kBin) + "pg_ctl", "stop", "-w", "-s", "-m", "fast", "-D",
                     (folder_.path() / "data").string()});
}

std::string PostgresServer::uri(const std::string& user) const {
    return "postgresql://" + user + "@127.0.0.1:" + std::to_string(port_) + "/" + kDatabase +
           "?sslmode=verify-full&sslrootcert=" + certificate("ca.pem").string();
}

std::filesystem::path PostgresServer::pgpassFile() const {
    return folder_.path() / "pgpass";
}

std::string PostgresServer::pgpassVariable() const {
    return "PGPASSFILE=" + pgpassFile().string();
}

std::filesystem::path PostgresServer::certificate(const std::string& name) const {
    return folder_.path() / "certs" / name;
}

std::vector<std::string> PostgresServer::psql(const std::string& sql,
                                              const std::string& user) const {
    const std::string text =
        run({"psql", "-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-d", uri(user), "-c", sql},
            environmentWith({pgpassVariable()}));
    std::vector<std::string> rows;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        if (end > start)
            rows.push_back(text.substr(start, end - start));
    return rows;
}

} // namespace pelvaro::test

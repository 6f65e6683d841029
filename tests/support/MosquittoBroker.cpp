#include "tests/support/MosquittoBroker.h"

#include "tests/support/LoopbackPort.h"
#include "tests/support/Polling.h"

#include <fstream>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>

namespace pelvaro::test {

namespace {

using namespace std::chrono_literals;

void run(const std::vector<std::string>& command) {
    ChildProcess process(command);
    if (process.waitForExit(kPatience) != 0)
        throw std::runtime_error(command.front() + " failed: " + process.errorOutput());
}

// mosquitto started by root changes to this user, which must own its folder.
constexpr char kBrokerUser[] = "mosquitto";

void handOverToBrokerUser(const std::filesystem::path& folder) {
    const passwd* user = getpwnam(kBrokerUser);
    if (!user)
        throw std::runtime_error("no user mosquitto to run the broker as");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (chown(entry.path().c_str(), user->pw_uid, user->pw_gid) != 0)
            throw std::runtime_error("cannot hand " + entry.path().string() + " to mosquitto");
    if (chown(folder.c_str(), user->pw_uid, user->pw_gid) != 0)
        throw std::runtime_error("cannot hand " + folder.string() + " to mosquitto");
}

} // namespace

MosquittoBroker::MosquittoBroker(Options options)
    : options_(options), port_(freeLoopbackPort()), tlsPort_(freeLoopbackPort()) {
    const std::filesystem::path& folder = folder_.path();
    run({MAKE_TEST_CERTIFICATES, folder.string()});
    run({"mosquitto_passwd", "-c", "-b", (folder / "passwd").string(), kUser, kPassword});
    const bool root = geteuid() == 0;
    std::ofstream config(folder / "mosquitto.conf");
    config << "per_listener_settings false\n"
           << "allow_anonymous false\n"
           << "password_file " << (folder / "passwd").string() << "\n"
           << "persistence true\n"
           << "persistence_location " << folder.string() << "/\n"
           << (options_.logEveryPacket ? "log_type all\n" : "") << "log_dest file "
           << (folder / "mosquitto.log").string()
           << "\n"
           // Nothing dropped for a subscriber that falls behind or is away.
           << "max_queued_messages 1000000\n"
           << "max_inflight_messages 20\n"
           << "set_tcp_nodelay " << (options_.tcpNoDelay ? "true" : "false") << "\n"
           << (root ? std::string("user ") + kBrokerUser + "\n" : "") << "listener " << port_
           << " 127.0.0.1\n"
           << "listener " << tlsPort_ << " 127.0.0.1\n"
           << "cafile " << certificate("ca.pem").string() << "\n"
           << "certfile " << certificate("server.pem").string() << "\n"
           << "keyfile " << certificate("server.key").string() << "\n"
           << "require_certificate " << (options_.requireClientCertificate ? "true" : "false")
           << "\n";
    config.close();
    if (root)
        handOverToBrokerUser(folder);
    start();
}

void MosquittoBroker::start() {
    process_.emplace(
        "mosquitto",
        std::vector<std::string>{"mosquitto", "-c", (folder_.path() / "mosquitto.conf").string()},
        std::nullopt, [this](ChildProcess& process) {
            waitFor([&] { return process.waitForExit(0ms) || loopbackPortAccepts(port_); });
            return loopbackPortAccepts(port_) && loopbackPortAccepts(tlsPort_);
        });
}

void MosquittoBroker::stop() {
    process_.reset();
}

std::string MosquittoBroker::url(const std::string& topic) const {
    return std::string("mqtt://") + kUser + "@127.0.0.1:" + std::to_string(port_) + "/" + topic;
}

std::string MosquittoBroker::tlsUrl(const std::string& topic) const {
    return std::string("mqtts://") + kUser + "@127.0.0.1:" + std::to_string(tlsPort_) + "/" + topic;
}

size_t MosquittoBroker::publishesFrom(const std::string& clientId) const {
    std::ifstream log(folder_.path() / "mosquitto.log");
    const std::string received = "Received PUBLISH from " + clientId + " (";
    size_t count = 0;
    for (std::string line; std::getline(log, line);)
        count += line.find(received) != std::string::npos;
    return count;
}

std::filesystem::path MosquittoBroker::certificate(const std::string& name) const {
    return folder_.path() / name;
}

} // namespace pelvaro::test

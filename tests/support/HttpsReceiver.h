#pragma once

#include "tests/support/ServerProcess.h"
#include "tests/support/TempDir.h"

#include <QJsonObject>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace pelvaro::test {

// A certificate authority of the test's own and what it signed (ca.pem,
// server.pem/key for the loopback, client.pem/key), and other-ca.pem, which
// signed nothing here; removed with the object.
class TestCertificates {
public:
    TestCertificates();
    const std::filesystem::path& folder() const { return folder_.path(); }
    std::filesystem::path operator/(const std::string& file) const { return folder() / file; }

private:
    TempDir folder_;
};

// How the receiver answers one request.
struct ReceiverAnswer {
    enum class Action {
        Reply,
        Hang, // reads the request and says nothing until the client goes
        Cut,  // reads the request and closes the connection
    };
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    Action action = Action::Reply;
};

// A request as the receiver saw it; a header that was not sent is empty.
struct ReceivedRequest {
    std::string method;
    std::string path;
    std::string idempotencyKey;
    std::string authorization;
    std::string contentType;
    std::string body;
    int clientPort = 0; // tells the connections apart
};

// The events a request carried: its body's one, or each of its batch.
std::vector<QJsonObject> eventsIn(const ReceivedRequest& request);

// A webhook receiver on 127.0.0.1 for the test: HTTPS with the test
// certificates' server certificate (or plain HTTP without certificates),
// HTTP/1.1 with keep-alive, answering 200 until told otherwise and keeping
// every request it read.
class HttpsReceiver {
public:
    explicit HttpsReceiver(const TestCertificates* certificates);
    ~HttpsReceiver();

    // Ends it as a crash would, connections and answers owed cut off, and
    // starts it again on the same port with the requests kept; it starts the
    // answers' script again.
    void stop();
    void start();

    int port() const { return port_; }
    // The receiver's process, for what it costs.
    pid_t pid() const { return server_->pid(); }
    // https://127.0.0.1:port/path (http:// without certificates).
    std::string url(const std::string& path = "/hook") const;
    // The authority that signed the receiver's certificate.
    std::filesystem::path caFile() const;

    // The script's answers for the next requests in turn, then always then.
    void answer(const std::vector<ReceiverAnswer>& script, const ReceiverAnswer& then = {});
    // Every request read so far, in the order read.
    std::vector<ReceivedRequest> requests() const;

private:
    TempDir files_;
    const TestCertificates* certificates_;
    int port_ = 0;
    int generation_ = 0;
    std::unique_ptr<ServerProcess> server_;
};

} // namespace pelvaro::test

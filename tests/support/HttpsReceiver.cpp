#include "tests/support/HttpsReceiver.h"

#include "tests/support/FileText.h"
#include "tests/support/LoopbackPort.h"
#include "tests/support/Polling.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace pelvaro::test {

namespace {

std::filesystem::path answersFile(const TempDir& files) {
    return files.path() / "answers.json";
}
std::filesystem::path logFile(const TempDir& files) {
    return files.path() / "requests.jsonl";
}

QJsonObject answerJson(const ReceiverAnswer& answer) {
    QJsonObject json;
    switch (answer.action) {
    case ReceiverAnswer::Action::Hang:
        json["action"] = "hang";
        return json;
    case ReceiverAnswer::Action::Cut:
        json["action"] = "cut";
        return json;
    case ReceiverAnswer::Action::Reply:
        break;
    }
    json["status"] = answer.status;
    json["body"] = QString::fromStdString(answer.body);
    QJsonObject headers;
    for (const auto& [name, value] : answer.headers)
        headers[QString::fromStdString(name)] = QString::fromStdString(value);
    json["headers"] = headers;
    return json;
}

std::string text(const QJsonObject& object, const char* key) {
    return object[key].toString().toStdString();
}

} // namespace

std::vector<QJsonObject> eventsIn(const ReceivedRequest& request) {
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(request.body));
    if (json.isObject())
        return {json.object()};
    std::vector<QJsonObject> events;
    for (const QJsonValue& event : json.array())
        events.push_back(event.toObject());
    return events;
}

TestCertificates::TestCertificates() {
    ChildProcess maker({"bash", MAKE_TEST_CERTIFICATES_SH, folder_.path().string()});
    if (maker.waitForExit(kPatience) != 0)
        throw std::runtime_error("the test certificates were not made: " + maker.errorOutput());
}

HttpsReceiver::HttpsReceiver(const TestCertificates* certificates)
    : certificates_(certificates), port_(freeLoopbackPort()) {
    answer({});
    start();
}

void HttpsReceiver::start() {
    std::vector<std::string> command{PYTHON3_EXE, HTTPS_RECEIVER_PY,
                                     "--log",     logFile(files_).string(),
                                     "--answers", answersFile(files_).string(),
                                     "--port",    std::to_string(port_)};
    if (certificates_)
        command.insert(command.end(), {"--cert", (*certificates_ / "server.pem").string(), "--key",
                                       (*certificates_ / "server.key").string()});
    server_ = std::make_unique<ServerProcess>("the HTTPS receiver", command, std::nullopt,
                                              [this](ChildProcess& process) {
                                                  const auto line = process.readLine(kPatience);
                                                  port_ = line ? std::atoi(line->c_str()) : 0;
                                                  return port_ > 0;
                                              });
}

void HttpsReceiver::stop() {
    server_.reset();
}

HttpsReceiver::~HttpsReceiver() = default;

std::string HttpsReceiver::url(const std::string& path) const {
    return std::string(certificates_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::filesystem::path HttpsReceiver::caFile() const {
    return certificates_ ? *certificates_ / "ca.pem" : std::filesystem::path();
}

void HttpsReceiver::answer(const std::vector<ReceiverAnswer>& script, const ReceiverAnswer& then) {
    QJsonArray answers;
    for (const auto& answer : script)
        answers.append(answerJson(answer));
    const QJsonObject plan{
        {"generation", ++generation_}, {"script", answers}, {"then", answerJson(then)}};
    // Renamed into place: the receiver never reads half a plan.
    const auto written = files_.path() / "answers.json.new";
    std::ofstream(written, std::ios::binary) << QJsonDocument(plan).toJson().toStdString();
    std::filesystem::rename(written, answersFile(files_));
}

std::vector<ReceivedRequest> HttpsReceiver::requests() const {
    std::vector<ReceivedRequest> requests;
    std::string log = fileText(logFile(files_));
    log.erase(log.find_last_of('\n') + 1); // a line still being written
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        requests.push_back({text(json, "method"), text(json, "path"), text(json, "idempotencyKey"),
                            text(json, "authorization"), text(json, "contentType"),
                            text(json, "body"), json["clientPort"].toInt()});
    }
    return requests;
}

} // namespace pelvaro::test

#include "bench/ReferenceSenders.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/HttpsReceiver.h"
#include "tests/support/MosquittoBroker.h"
#include "tests/support/MqttSubscriber.h"
#include "tests/support/TempDir.h"

#include <fstream>
#include <stdexcept>

namespace pelvaro::bench {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// In a curl config file: the text in double quotes, its quotes and
// backslashes escaped.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace

double rateUntilReceived(test::MqttSubscriber& subscriber, size_t count, Clock::time_point start) {
    if (subscriber.payloads(count, 120s).size() < count)
        throw std::runtime_error("not every event arrived");
    return static_cast<double>(count) / std::chrono::duration<double>(Clock::now() - start).count();
}

double mosquittoPubRate(const test::MosquittoBroker& broker, const std::vector<QueuedEvent>& events,
                        const std::string& topic) {
    test::TempDir folder;
    const auto lines = folder.path() / "events.jsonl";
    std::ofstream file(lines);
    for (const QueuedEvent& event : events)
        file << event.json << '\n';
    file.close();
    test::MqttSubscriber subscriber(broker, topic);
    const auto start = Clock::now();
    test::ChildProcess publisher(
        {"sh", "-c",
         "exec mosquitto_pub -h 127.0.0.1 -p " + std::to_string(broker.tlsPort()) + " --cafile '" +
             broker.certificate("ca.pem").string() + "' -u " + test::MosquittoBroker::kUser +
             " -P " + test::MosquittoBroker::kPassword + " -q 1 -t " + topic + " -l < '" +
             lines.string() + "'"});
    const double rate = rateUntilReceived(subscriber, events.size(), start);
    if (publisher.waitForExit(30s) != 0)
        throw std::runtime_error("mosquitto_pub failed: " + publisher.errorOutput());
    return rate;
}

size_t eventsReceivedSince(const test::HttpsReceiver& receiver, size_t first) {
    const auto requests = receiver.requests();
    size_t events = 0;
    for (size_t index = first; index < requests.size(); ++index)
        for (size_t at = requests[index].body.find("\"schema\""); at != std::string::npos;
             at = requests[index].body.find("\"schema\"", at + 1))
            ++events;
    return events;
}

double curlRate(const test::HttpsReceiver& receiver, const std::vector<QueuedEvent>& events) {
    test::TempDir folder;
    const auto config = folder.path() / "curl.config";
    {
        std::ofstream out(config);
        for (const auto& event : events)
            out << (&event == &events.front() ? "" : "next\n") << "url = " << quoted(receiver.url())
                << "\n"
                << "cacert = " << quoted(receiver.caFile().string()) << "\n"
                << "header = \"Content-Type: application/json\"\n"
                << "header = " << quoted("Idempotency-Key: " + event.id) << "\n"
                << "data-binary = " << quoted(event.json) << "\n"
                << "output = \"/dev/null\"\nfail\n";
    }
    const size_t before = receiver.requests().size();
    const auto start = Clock::now();
    test::ChildProcess curl({"curl", "--silent", "--show-error", "--config", config.string()});
    if (curl.waitForExit(std::chrono::minutes(10)) != 0)
        throw std::runtime_error("curl failed: " + curl.errorOutput());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (eventsReceivedSince(receiver, before) != events.size())
        throw std::runtime_error("curl did not deliver every event");
    return static_cast<double>(events.size()) / seconds;
}

} // namespace pelvaro::bench

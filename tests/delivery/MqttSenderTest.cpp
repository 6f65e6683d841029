#include "delivery/MqttSender.h"

#include "delivery/MqttAddress.h"
#include "tests/support/LoopbackPort.h"
#include "tests/support/MosquittoBroker.h"
#include "tests/support/MqttSubscriber.h"
#include "tests/support/Polling.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <thread>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using test::MosquittoBroker;
using test::MqttSubscriber;
using Kind = SendResult::Kind;

TEST(MqttAddressTest, ReadsUserHostPortAndTopic) {
    const auto plain = parseMqttAddress("mqtt://broker.example", "PC-7");
    ASSERT_TRUE(plain);
    EXPECT_FALSE(plain->tls);
    EXPECT_EQ(plain->host, "broker.example");
    EXPECT_EQ(plain->port, 1883);
    EXPECT_EQ(plain->user, "");
    EXPECT_EQ(plain->topic, "pelvaro/PC-7/reads");

    const auto full =
        parseMqttAddress("mqtts://kasse%40werk2@[::1]:9883/werk2/tor1/lesungen", "PC-7");
    ASSERT_TRUE(full);
    EXPECT_TRUE(full->tls);
    EXPECT_EQ(full->host, "::1");
    EXPECT_EQ(full->port, 9883);
    EXPECT_EQ(full->user, "kasse@werk2");
    EXPECT_EQ(full->topic, "werk2/tor1/lesungen");
    EXPECT_EQ(parseMqttAddress("mqtts://broker.example/", "PC-7")->port, 8883);
    EXPECT_EQ(parseMqttAddress("mqtts://broker.example/", "PC-7")->topic, "pelvaro/PC-7/reads");

    for (const char* bad :
         {"http://broker.example", "mqtt://", "mqtt://user@", "mqtt://broker.example:0",
          "mqtt://broker.example:65536", "mqtt://broker.example:", "mqtt://broker.example:18x3",
          "mqtt://[::1", "mqtt://broker.example/lesungen/#", "mqtt://broker.example/+/reads",
          "mqtt://broker.example/%4", "mqtt://@broker.example", "mqtt://a%00b@broker.example"})
        EXPECT_FALSE(parseMqttAddress(bad, "PC-7")) << bad;
}

// What the outbox would hand over: events with ids in their order.
std::vector<QueuedEvent> events(int first, int count) {
    std::vector<QueuedEvent> made;
    for (int seq = first; seq < first + count; ++seq) {
        const std::string id = "0190a5c4-0000-7000-8000-" + std::to_string(1000000000000 + seq);
        made.push_back({seq, id,
                        R"({"schema":"pelvaro.read/1","id":")" + id +
                            R"(","code":"123456789A","output":"Türöffner ß"})"});
    }
    return made;
}

std::vector<std::string> jsonOf(const std::vector<QueuedEvent>& sent) {
    std::vector<std::string> json;
    for (const QueuedEvent& event : sent)
        json.push_back(event.json);
    return json;
}

SenderSettings tlsTarget(const MosquittoBroker& broker, const std::string& topic) {
    SenderSettings settings;
    settings.url = broker.tlsUrl(topic);
    settings.secret = MosquittoBroker::kPassword;
    settings.caFile = broker.certificate("ca.pem");
    settings.host = "PC-7";
    settings.clientId = "pelvaro-test-" + topic;
    return settings;
}

TEST(MqttSenderTest, DeliversEventsExactlyAsSentInOrderOverTlsWithAPassword) {
    MosquittoBroker broker;
    MqttSubscriber subscriber(broker, "reads");
    const auto sender = makeMqttSender(tlsTarget(broker, "reads"));
    const std::vector<QueuedEvent> sent = events(1, 300);

    EXPECT_EQ(sender->check().kind, Kind::Delivered);
    // Two sends over the connection kept in between.
    const SendResult first = sender->send(std::span(sent).first(250));
    EXPECT_EQ(first.kind, Kind::Delivered) << first.reason;
    EXPECT_EQ(first.taken, 250u);
    const SendResult second = sender->send(std::span(sent).subspan(250));
    EXPECT_EQ(second.kind, Kind::Delivered) << second.reason;

    EXPECT_EQ(subscriber.payloads(sent.size()), jsonOf(sent));
}

TEST(MqttSenderTest, RefusesAWrongPasswordAndABrokerItCannotTrust) {
    MosquittoBroker broker;
    MqttSubscriber subscriber(broker, "reads");
    const std::vector<QueuedEvent> sent = events(1, 3);

    SenderSettings wrongPassword = tlsTarget(broker, "reads");
    wrongPassword.secret = "falsch";
    const SendResult refused = makeMqttSender(wrongPassword)->send(sent);
    EXPECT_EQ(refused.kind, Kind::Misconfigured);
    EXPECT_EQ(refused.taken, 0u);
    EXPECT_NE(refused.reason.find("Passwort"), std::string::npos) << refused.reason;
    EXPECT_EQ(makeMqttSender(wrongPassword)->check().kind, Kind::Misconfigured);

    // A server certificate that another authority signed; the system's store,
    // which does not know the test's authority; the right certificate under a
    // name it was not made for (127.1 is the loopback too).
    SenderSettings otherAuthority = tlsTarget(broker, "reads");
    otherAuthority.caFile = broker.certificate("other-ca.pem");
    SenderSettings systemStore = tlsTarget(broker, "reads");
    systemStore.caFile.clear();
    SenderSettings otherName = tlsTarget(broker, "reads");
    otherName.url = std::string("mqtts://") + MosquittoBroker::kUser +
                    "@127.1:" + std::to_string(broker.tlsPort()) + "/reads";
    // The handshake fails early or late in the connection as the broker's
    // answer comes: each is tried several times, by a send and by a check.
    for (const SenderSettings& untrusting : {otherAuthority, systemStore, otherName}) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            for (const SendResult& untrusted : {makeMqttSender(untrusting)->send(sent),
                                                makeMqttSender(untrusting)->check()}) {
                EXPECT_EQ(untrusted.kind, Kind::Misconfigured) << untrusted.reason;
                EXPECT_NE(untrusted.reason.find("TLS"), std::string::npos) << untrusted.reason;
            }
        }
    }
    // The system's store is where OpenSSL looks by default, which the test points at its CA.
    setenv("SSL_CERT_FILE", broker.certificate("ca.pem").c_str(), 1);
    const SendResult trusted = makeMqttSender(systemStore)->send(sent);
    unsetenv("SSL_CERT_FILE");
    EXPECT_EQ(trusted.kind, Kind::Delivered) << trusted.reason;

    EXPECT_EQ(subscriber.payloads(sent.size()), jsonOf(sent));
}

TEST(MqttSenderTest, SendsWithTheClientCertificateTheBrokerRequires) {
    MosquittoBroker broker({.requireClientCertificate = true});
    MqttSubscriber subscriber(broker, "reads");
    const std::vector<QueuedEvent> sent = events(1, 5);

    SenderSettings settings = tlsTarget(broker, "reads");
    EXPECT_NE(makeMqttSender(settings)->send(sent).kind, Kind::Delivered);
    settings.clientCertificate = broker.certificate("client.pem");
    settings.clientKey = broker.certificate("client.key");
    const SendResult given = makeMqttSender(settings)->send(sent);
    EXPECT_EQ(given.kind, Kind::Delivered) << given.reason;

    EXPECT_EQ(subscriber.payloads(sent.size()), jsonOf(sent));
}

TEST(MqttSenderTest, AHangingBrokerEndsTheSendAtTheTimeOutOrAtAnInterrupt) {
    test::SilentLoopbackServer silent;
    SenderSettings settings;
    settings.url = "mqtt://127.0.0.1:" + std::to_string(silent.port());
    settings.clientId = "pelvaro-test-hang";
    settings.timeout = 500ms;
    const std::vector<QueuedEvent> sent = events(1, 1);

    auto started = std::chrono::steady_clock::now();
    const SendResult timedOut = makeMqttSender(settings)->send(sent);
    EXPECT_EQ(timedOut.kind, Kind::Retry) << timedOut.reason;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);

    settings.timeout = 60s;
    const auto sender = makeMqttSender(settings);
    std::thread interrupter([&] {
        std::this_thread::sleep_for(300ms);
        sender->interrupt();
    });
    started = std::chrono::steady_clock::now();
    const SendResult interrupted = sender->send(sent);
    interrupter.join();
    EXPECT_EQ(interrupted.kind, Kind::Retry);
    EXPECT_EQ(interrupted.taken, 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

// Sends as the delivery thread does: what was not taken goes again after a
// pause, until everything is taken (counted in taken). The number of attempts
// that failed.
int sendUntilTaken(Sender& sender, const std::vector<QueuedEvent>& all, size_t batch,
                   std::atomic<size_t>& taken) {
    int failures = 0;
    const auto deadline = std::chrono::steady_clock::now() + 90s;
    while (taken < all.size() && std::chrono::steady_clock::now() < deadline) {
        const SendResult result =
            sender.send(std::span(all).subspan(taken, std::min(batch, all.size() - taken)));
        taken += result.taken;
        if (result.kind != Kind::Delivered) {
            ++failures;
            std::this_thread::sleep_for(200ms);
        }
    }
    return failures;
}

// Each event arrived, in the order sent (repeats aside); the number of repeats.
size_t expectEachArrivedInOrder(const std::vector<std::string>& received,
                                const std::vector<QueuedEvent>& sent) {
    std::map<std::string, size_t> position;
    for (size_t i = 0; i < sent.size(); ++i)
        position[sent[i].json] = i;
    size_t expected = 0;
    size_t repeats = 0;
    for (const std::string& payload : received) {
        const auto found = position.find(payload);
        EXPECT_NE(found, position.end()) << payload;
        if (found == position.end())
            continue;
        if (found->second == expected)
            ++expected;
        else
            ++repeats;
        EXPECT_LE(found->second, expected) << "an event arrived before an earlier one";
    }
    EXPECT_EQ(expected, sent.size());
    return repeats;
}

TEST(MqttSenderTest, LosesNothingWhileTheBrokerIsDownOrRestarts) {
    MosquittoBroker broker;
    MqttSubscriber subscriber(broker, "reads");
    SenderSettings settings = tlsTarget(broker, "reads");
    settings.url = broker.url("reads");
    const auto sender = makeMqttSender(settings);
    const std::vector<QueuedEvent> sent = events(1, 2000);

    // Down: nothing taken, said at once rather than at the time-out.
    broker.stop();
    const auto started = std::chrono::steady_clock::now();
    const SendResult down = sender->send(std::span(sent).first(100));
    EXPECT_EQ(down.kind, Kind::Retry);
    EXPECT_EQ(down.taken, 0u);
    EXPECT_FALSE(down.reason.empty());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    broker.start();

    // Restarted while a stream of reads goes out.
    int failures = 0;
    std::atomic<size_t> taken = 0;
    std::thread delivery([&] { failures = sendUntilTaken(*sender, sent, 200, taken); });
    test::waitFor([&] { return taken >= sent.size() / 10; });
    broker.stop();
    std::this_thread::sleep_for(300ms);
    broker.start();
    delivery.join();
    EXPECT_GE(failures, 1) << "the restart came after the stream";

    // Each event arrived; the broker resends what the subscriber had not
    // acknowledged when it went. The sender repeats at most what it had in
    // flight (100) when a connection broke.
    const std::vector<std::string> received = subscriber.payloads(sent.size());
    const size_t repeats = expectEachArrivedInOrder(received, sent);
    const size_t published = broker.publishesFrom(settings.clientId);
    EXPECT_GE(published, sent.size());
    EXPECT_LE(published - sent.size(), static_cast<size_t>(failures) * 100);
    std::cout << failures << " failed sends, " << published - sent.size()
              << " events published again, " << repeats << " received again\n";
}

} // namespace
} // namespace pelvaro

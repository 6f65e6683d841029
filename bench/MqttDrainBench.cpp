// A backlog of 10,000 events drained into Debian's mosquitto on the loopback
// over TLS with a password, each counted by a subscriber: the MQTT sender
// against mosquitto_pub publishing the same events (one a line, QoS 1) in the
// same run, the better of three rounds each, taken in turns, since the
// machine's other load varies. Once with the broker's default, which holds a
// small packet until the one before is acknowledged (without the sender's
// acknowledgements at once, the end of every send would wait for the delayed
// ACK, where mosquitto_pub's one stream meets it once), and once with the
// broker sending small packets at once (set_tcp_nodelay).

#include "bench/ReferenceSenders.h"
#include "delivery/MqttSender.h"
#include "tests/support/MosquittoBroker.h"
#include "tests/support/MqttSubscriber.h"

#include <benchmark/benchmark.h>
#include <stdexcept>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kEvents = 10000;
constexpr int kRounds = 3;
// Events handed to one send, as the delivery thread takes them from the outbox.
constexpr size_t kBatch = 500;

std::vector<QueuedEvent> backlog() {
    std::vector<QueuedEvent> events;
    for (int seq = 1; seq <= kEvents; ++seq) {
        const std::string id = "0190a5c4-0000-7000-8000-" + std::to_string(1000000000000 + seq);
        events.push_back(
            {seq, id,
             R"({"schema":"pelvaro.read/1","id":")" + id +
                 R"(","time":"2026-12-09T11:20:31.123+01:00","host":"PC-7","reader":"Com3",)"
                 R"("mode":"redirect","code":"123456789A","dec":"78187493530",)"
                 R"("personnel":"4711","output":"4711","typed":true,"label":null})"});
    }
    return events;
}

struct SenderRates {
    double acknowledged = 0; // until the broker acknowledged the last event
    double received = 0;     // until the subscriber had the last event
};

SenderRates senderRates(const test::MosquittoBroker& broker, const std::vector<QueuedEvent>& events,
                        const std::string& topic) {
    test::MqttSubscriber subscriber(broker, topic);
    SenderSettings settings;
    settings.url = broker.tlsUrl(topic);
    settings.secret = test::MosquittoBroker::kPassword;
    settings.caFile = broker.certificate("ca.pem");
    settings.clientId = "pelvaro-bench";
    const auto sender = makeMqttSender(settings);
    const auto start = Clock::now();
    for (size_t next = 0; next < events.size();) {
        const SendResult result =
            sender->send(std::span(events).subspan(next, std::min(kBatch, events.size() - next)));
        if (result.kind != SendResult::Kind::Delivered)
            throw std::runtime_error("the sender failed: " + result.reason);
        next += result.taken;
    }
    SenderRates rates;
    rates.acknowledged = kEvents / std::chrono::duration<double>(Clock::now() - start).count();
    rates.received = bench::rateUntilReceived(subscriber, events.size(), start);
    return rates;
}

void DrainTenThousandEventsIntoMosquitto(benchmark::State& state) try {
    for (auto _ : state) {
        test::MosquittoBroker broker({.logEveryPacket = false, .tcpNoDelay = state.range(0) == 1});
        const std::vector<QueuedEvent> events = backlog();
        SenderRates sender;
        double mosquittoPub = 0;
        for (int round = 0; round < kRounds; ++round) {
            const std::string suffix = std::to_string(round);
            const SenderRates rates = senderRates(broker, events, "drain-sender-" + suffix);
            sender.acknowledged = std::max(sender.acknowledged, rates.acknowledged);
            sender.received = std::max(sender.received, rates.received);
            mosquittoPub = std::max(mosquittoPub,
                                    bench::mosquittoPubRate(broker, events, "drain-pub-" + suffix));
        }
        state.counters["sender_acknowledged_per_s"] = sender.acknowledged;
        state.counters["sender_events_per_s"] = sender.received;
        state.counters["mosquitto_pub_events_per_s"] = mosquittoPub;
        state.counters["sender_x_mosquitto_pub"] = sender.received / mosquittoPub;
    }
} catch (const std::exception& error) {
    state.SkipWithError(error.what());
}
BENCHMARK(DrainTenThousandEventsIntoMosquitto)
    ->ArgName("broker_tcp_nodelay")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
} // namespace pelvaro

BENCHMARK_MAIN();

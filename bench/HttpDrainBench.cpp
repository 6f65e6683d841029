// A backlog of ten thousand events drained through the webhook sender over
// HTTPS with keep-alive into the tests' receiver on the loopback, one event and
// a hundred a send, as a ratio to one curl process posting the same events one
// a request over one kept-alive connection, in the same run.

#include "bench/ReferenceSenders.h"
#include "delivery/HttpSender.h"
#include "tests/support/HttpsReceiver.h"

#include <benchmark/benchmark.h>
#include <stdexcept>

namespace pelvaro {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kEvents = 10000;

std::vector<QueuedEvent> backlog() {
    std::vector<QueuedEvent> events;
    for (int number = 0; number < kEvents; ++number) {
        char id[37];
        std::snprintf(id, sizeof id, "019b0000-0000-7000-8000-%012d", number);
        events.push_back(
            {number, id,
             std::string(R"({"schema":"pelvaro.read/1","id":")") + id +
                 R"(","time":"2026-12-09T11:20:31.123+01:00","host":"KASSE-07","reader":"Com3",)"
                 R"("mode":"redirect","code":"123456789A","dec":"78187493530","personnel":"4711",)"
                 R"("output":"4711","typed":true,"label":null})"});
    }
    return events;
}

struct Setup {
    Setup();
    test::TestCertificates certificates;
    test::HttpsReceiver receiver{&certificates};
    std::vector<QueuedEvent> events = backlog();
    double curlEventsPerSecond = 0;
};

Setup::Setup() : curlEventsPerSecond(bench::curlRate(receiver, events)) {}

Setup& setup() {
    static Setup made;
    return made;
}

void DrainThroughTheSender(benchmark::State& state) try {
    Setup& run = setup();
    SenderSettings target;
    target.url = run.receiver.url();
    target.caFile = run.receiver.caFile();
    const auto batch = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        const auto sender = makeHttpSender(target);
        const size_t before = run.receiver.requests().size();
        const auto start = Clock::now();
        for (size_t first = 0; first < run.events.size(); first += batch) {
            const std::span<const QueuedEvent> events(run.events.data() + first,
                                                      std::min(batch, run.events.size() - first));
            const SendResult sent = sender->send(events);
            if (sent.kind != SendResult::Kind::Delivered)
                throw std::runtime_error("not delivered: " + sent.reason);
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (bench::eventsReceivedSince(run.receiver, before) != kEvents)
            throw std::runtime_error("the receiver did not get every event");
        state.counters["events_per_s"] = kEvents / seconds;
        state.counters["curl_events_per_s"] = run.curlEventsPerSecond;
        state.counters["x_curl"] = kEvents / seconds / run.curlEventsPerSecond;
    }
} catch (const std::exception& error) {
    state.SkipWithError(error.what());
}
BENCHMARK(DrainThroughTheSender)->Arg(1)->Arg(100)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace pelvaro

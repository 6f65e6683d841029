// A backlog of ten thousand events drained through the webhook sender over
// HTTPS with keep-alive into the tests' receiver on the loopback, one event a
// request and a hundred, as a ratio to one curl process posting the same
// events one a request over one kept-alive connection, in the same run.

#include "delivery/HttpSender.h"
#include "tests/support/HttpsReceiver.h"

#include <benchmark/benchmark.h>
#include <fstream>
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

struct Setup {
    Setup();
    test::TestCertificates certificates;
    test::HttpsReceiver receiver{&certificates};
    std::vector<QueuedEvent> events = backlog();
    double curlEventsPerSecond = 0;
};

double curlRate(Setup& setup) {
    const auto config = setup.certificates / "curl.config";
    {
        std::ofstream out(config);
        for (const auto& event : setup.events)
            out << (&event == &setup.events.front() ? "" : "next\n")
                << "url = " << quoted(setup.receiver.url()) << "\n"
                << "cacert = " << quoted(setup.receiver.caFile().string()) << "\n"
                << "header = \"Content-Type: application/json\"\n"
                << "header = " << quoted("Idempotency-Key: " + event.id) << "\n"
                << "data-binary = " << quoted(event.json) << "\n"
                << "output = \"/dev/null\"\nfail\n";
    }
    const size_t before = setup.receiver.requests().size();
    const auto start = Clock::now();
    test::ChildProcess curl({"curl", "--silent", "--show-error", "--config", config.string()});
    if (curl.waitForExit(std::chrono::minutes(10)) != 0)
        throw std::runtime_error("curl failed: " + curl.errorOutput());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (setup.receiver.requests().size() != before + kEvents)
        throw std::runtime_error("curl did not deliver every event");
    return kEvents / seconds;
}

Setup::Setup() : curlEventsPerSecond(curlRate(*this)) {}

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
        if (run.receiver.requests().size() != before + (kEvents + batch - 1) / batch)
            throw std::runtime_error("the receiver did not get every request");
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

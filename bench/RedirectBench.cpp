// Redirect mode on the real main window (offscreen) with a simulated reader:
// from the simulator writing the last byte of a card frame to the first key
// event of its code, as a ratio to the frame's time on the wire at 9600 baud;
// then the same with every read stored in the outbox and delivered to the
// tests' HTTPS receiver and mosquitto over TLS, as a ratio to the first.

#include "app/ProgramWindows.h"
#include "bench/LatencyReport.h"
#include "delivery/SecretStore.h"
#include "forms/ui_MainDLG.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/FileText.h"
#include "tests/support/HttpsReceiver.h"
#include "tests/support/MosquittoBroker.h"
#include "tests/support/MqttSubscriber.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"
#include "tools/simulator/ReaderSimulator.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <random>
#include <thread>

namespace pelvaro {
namespace {

using Clock = std::chrono::steady_clock;

// Notes when the first key of each code arrives.
class TimingInjector final : public KeystrokeInjector {
public:
    TypingResult typeText(std::u32string_view, bool) override {
        if (!firstKey)
            firstKey = Clock::now();
        return {};
    }

    std::optional<Clock::time_point> firstKey;
};

constexpr int kCards = 1000;
constexpr char kTopic[] = "kasse/lesungen";

// A webhook and a broker taking every read, as a company's would: over TLS
// with their secrets in the user's store and one CA file for both.
struct LiveTargets {
    explicit LiveTargets(const std::filesystem::path& programDirectory) {
        const auto configuration = programDirectory / "config";
        ::setenv("XDG_CONFIG_HOME", configuration.c_str(), 1);
        std::optional<SecretStore> secrets = SecretStore::forUser();
        if (!secrets || secrets->keep(webhook.url(), "Bearer bench") ||
            secrets->keep(broker.tlsUrl(kTopic), test::MosquittoBroker::kPassword))
            throw std::runtime_error("the secrets were not kept");
        const auto authorities = programDirectory / "firmen-ca.pem";
        std::ofstream(authorities)
            << test::fileText(webhook.caFile()) << test::fileText(broker.certificate("ca.pem"));
        settings = "[Delivery]\nTarget1=" + webhook.url() + "\nTarget2=" + broker.tlsUrl(kTopic) +
                   "\nCaFile=" + authorities.string() + "\n";
    }
    ~LiveTargets() { ::unsetenv("XDG_CONFIG_HOME"); }

    // Whether both took every card.
    bool tookAll() {
        const auto posted = [&] {
            size_t events = 0;
            for (const test::ReceivedRequest& request : webhook.requests())
                events += test::eventsIn(request).size();
            return events;
        };
        return subscriber.payloads(kCards).size() >= kCards &&
               test::waitUntil([&] { return posted() >= kCards; });
    }

    test::TestCertificates certificates;
    test::HttpsReceiver webhook{&certificates};
    test::MosquittoBroker broker{{.logEveryPacket = false, .tcpNoDelay = true}};
    test::MqttSubscriber subscriber{broker, kTopic};
    std::string settings;
};

// The median and 99th percentile without delivery, for the ratios.
std::optional<std::pair<double, double>> withoutDelivery;

void CardToKeystroke(benchmark::State& state) {
    const bool delivering = state.range(0) != 0;
    test::TempDir dir;
    // SQLite beside the program either way, as the outbox needs it: only
    // delivery differs between the two runs.
    std::filesystem::copy_file(std::filesystem::read_symlink("/proc/self/exe").parent_path() /
                                   "libsqlite3.so.0",
                               dir.path() / "libsqlite3.so.0");
    std::optional<LiveTargets> targets;
    if (delivering)
        targets.emplace(dir.path());
    sim::ReaderSimulator reader;
    std::ofstream(dir.path() / "Pelvaro.ini") << "[Ports]\nDefaults=0\n[Serial]\nPort=1\n"
                                              << (targets ? targets->settings : "");
    reader.mapAsPort(dir.path() / "Pelvaro.ini", 1);
    test::ScriptedDialogs dialogs;
    ProgramWindows windows(dialogs, locateFiles(dir.path()));
    auto injector = std::make_unique<TimingInjector>();
    TimingInjector& timing = *injector;
    windows.mainForm.setKeyboard(std::move(injector), {});
    windows.mainForm.show();
    windows.mainForm.controls().SpeedButtonStart->click();

    std::mt19937 random(7);
    std::uniform_int_distribution<int> pauseMs(0, 30);
    std::vector<double> latenciesMs;
    for (auto _ : state) {
        for (int card = 0; card < kCards; ++card) {
            timing.firstKey.reset();
            test::serveEventsFor(std::chrono::milliseconds(pauseMs(random)));
            auto sending = std::async(std::launch::async, [&] {
                reader.sendCard(std::vector<uint8_t>{0x12, 0x34, static_cast<uint8_t>(card >> 8),
                                                     0x78, static_cast<uint8_t>(card)});
            });
            if (!test::waitUntil([&] { return timing.firstKey.has_value(); })) {
                state.SkipWithError("a card was not typed");
                return;
            }
            sending.get();
            latenciesMs.push_back(
                std::chrono::duration<double, std::milli>(*timing.firstKey - reader.lastWriteTime())
                    .count());
        }
    }
    windows.mainForm.controls().SpeedButtonStopp->click();
    if (!dialogs.shown.empty())
        state.SkipWithError(
            ("the program said: " + dialogs.shown.front().text.toStdString()).c_str());
    else if (targets && !targets->tookAll())
        state.SkipWithError("not every read was delivered");
    bench::reportLatencies(state, latenciesMs);
    const double median = bench::percentile(latenciesMs, 50);
    const double p99 = bench::percentile(latenciesMs, 99);
    if (!delivering) {
        withoutDelivery.emplace(median, p99);
    } else if (withoutDelivery) {
        state.counters["median_x_off"] = median / withoutDelivery->first;
        state.counters["p99_x_off"] = p99 / withoutDelivery->second;
    }
}
// Off first: the ratios of the second run are to it.
BENCHMARK(CardToKeystroke)
    ->ArgName("delivery")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace
} // namespace pelvaro

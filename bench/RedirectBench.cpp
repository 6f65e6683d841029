// Redirect mode on the real main window (offscreen) with a simulated reader:
// from the simulator writing the last byte of a card frame to the first key
// event of its code, as a ratio to the frame's time on the wire at 9600 baud.

#include "app/ProgramWindows.h"
#include "bench/LatencyReport.h"
#include "forms/ui_MainDLG.h"
#include "tests/support/EventLoopWait.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"
#include "tools/simulator/ReaderSimulator.h"

#include <benchmark/benchmark.h>
#include <chrono>
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

void CardToKeystroke(benchmark::State& state) {
    constexpr int kCards = 1000;
    test::TempDir dir;
    sim::ReaderSimulator reader;
    std::ofstream(dir.path() / "Pelvaro.ini") << "[Ports]\nDefaults=0\n[Serial]\nPort=1\n";
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
                reader.sendCard(
                    std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78, static_cast<uint8_t>(card)});
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
    bench::reportLatencies(state, std::move(latenciesMs));
}
BENCHMARK(CardToKeystroke)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace pelvaro

// Throughput of the link protocol and the latency of the command-line reader,
// each as a ratio to what the serial line itself needs for the same bytes.

#include "bench/LatencyReport.h"
#include "reader/ReaderProtocol.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScriptedLink.h"
#include "tools/simulator/ReaderSimulator.h"
#include "tools/simulator/SimulatorFrames.h"

#include <benchmark/benchmark.h>
#include <random>
#include <thread>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;

// 9600 baud with 8N1: ten bits per byte.
constexpr double kLineBytesPerSecond = 960.0;

void FeedAndDecode(benchmark::State& state) {
    std::vector<uint8_t> stream;
    for (int card = 0; card < 1000; ++card) {
        const auto frame = sim::readerFrame(sim::cardContent(
            1, {0x12, static_cast<uint8_t>(card), 0x10, static_cast<uint8_t>(card >> 8), 0x9A}));
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    test::ScriptedLink link;
    test::RecordingBinding binding;
    ReaderProtocol engine(link, binding);
    for (auto _ : state) {
        link.queue(stream);
        binding.codes.clear();
        while (!link.incoming.empty()) {
            engine.receivePass();
            engine.reset();
        }
        benchmark::DoNotOptimize(binding.codes.data());
        link.written.clear();
    }
    const double bytes =
        static_cast<double>(stream.size()) * static_cast<double>(state.iterations());
    state.counters["bytes_per_s"] = benchmark::Counter(bytes, benchmark::Counter::kIsRate);
    state.counters["x_line_rate"] =
        benchmark::Counter(bytes / kLineBytesPerSecond, benchmark::Counter::kIsRate);
}
BENCHMARK(FeedAndDecode)->Unit(benchmark::kMillisecond);

// From the simulator writing the last byte of a card frame to the tool
// printing its code, over a pseudo-terminal; with random gaps of up to
// range(0) ms between the cards (0: back to back).
void CardToPrintedCode(benchmark::State& state) {
    constexpr int kCards = 1000;
    sim::ReaderSimulator reader;
    test::ChildProcess tool({READ_TOOL_EXE, "--device", reader.devicePath()});
    while (!reader.sendCard(std::vector<uint8_t>{0xFF}).acknowledged) {
    }
    tool.readLine(1s);

    std::mt19937 random(42);
    std::uniform_int_distribution<int> pauseMs(0, static_cast<int>(state.range(0)));
    std::vector<double> latenciesMs;
    for (auto _ : state) {
        latenciesMs.clear();
        for (int card = 0; card < kCards; ++card) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
            reader.sendCard(
                std::vector<uint8_t>{0x12, 0x34, 0x56, 0x78, static_cast<uint8_t>(card)});
            if (!tool.readLine(1s)) {
                state.SkipWithError("a card was not printed");
                return;
            }
            const auto latency = std::chrono::steady_clock::now() - reader.lastWriteTime();
            latenciesMs.push_back(std::chrono::duration<double, std::milli>(latency).count());
        }
    }
    bench::reportLatencies(state, std::move(latenciesMs));
}
BENCHMARK(CardToPrintedCode)->Arg(0)->Arg(20)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace pelvaro

BENCHMARK_MAIN();

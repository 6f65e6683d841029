// The program under an X server of its own for half a minute: its CPU time as
// a share of one core and its resident memory in redirect mode with a silent
// reader, as ratios to the same program idle on its list page.

#include "bench/ProcessUsage.h"
#include "tests/e2e/DesktopProgram.h"
#include "tests/support/Polling.h"
#include "tools/simulator/ReaderSimulator.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <csignal>
#include <stdexcept>
#include <thread>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using bench::cpuTicks;
using bench::statusKiB;
using Clock = std::chrono::steady_clock;

constexpr auto kMeasured = 30s;
// Before the measured time, so start-up work does not count.
constexpr auto kSettle = 2s;

struct Usage {
    double cpuTicks = 0; // utime + stime over the measured time
    double wallSeconds = 0;
    double rssKiB = 0;
    double hwmKiB = 0;

    // Of one core. An idle program may use less than one tick in the whole
    // time: at least one counts, so ratios to it stay finite (lower bounds).
    double cpuShare(double leastTicks = 0) const {
        return bench::ticksToSeconds(std::max(cpuTicks, leastTicks)) / wallSeconds;
    }
};

// Runs a copy of the program with its reader mapped as Com1; in redirect mode
// it opens the port at start, otherwise it stays on its list page.
Usage measure(bool redirect) {
    test::VirtualDisplay display(1024, 768);
    test::DesktopProgram program(display);
    program.addSqliteLibrary();
    program.writeSettings(std::string("[Global]\nAutostart=") + (redirect ? "1" : "0") +
                          "\nSysTray=0\nLineFeed=1\n[Serial]\nPort=1\n[Ports]\nDefaults=0\n");
    sim::ReaderSimulator reader;
    reader.mapAsPort(program.settingsFile(), 1);
    if (!program.start())
        throw std::runtime_error("the program showed no window");
    if (redirect && !reader.waitForProgram(test::kPatience))
        throw std::runtime_error("the program did not open its port");
    std::this_thread::sleep_for(kSettle);
    const pid_t pid = program.process().pid();

    const double ticksBefore = cpuTicks(pid);
    const auto start = Clock::now();
    std::this_thread::sleep_for(kMeasured);
    const double ticks = cpuTicks(pid) - ticksBefore;
    const std::chrono::duration<double> wall = Clock::now() - start;
    const Usage usage{ticks, wall.count(), statusKiB(pid, "VmRSS"), statusKiB(pid, "VmHWM")};

    program.process().signal(SIGTERM);
    program.process().waitForExit(5s);
    return usage;
}

// Measured once a run, first by whichever benchmark asks.
const Usage& baseline() {
    static const Usage usage = measure(false);
    return usage;
}

void report(benchmark::State& state, const Usage& usage) {
    state.counters["cpu_ticks"] = usage.cpuTicks;
    state.counters["cpu_share"] = usage.cpuShare();
    state.counters["rss_MiB"] = usage.rssKiB / 1024;
    state.counters["hwm_MiB"] = usage.hwmKiB / 1024;
}

void ListPageIdle(benchmark::State& state) try {
    for (auto _ : state)
        report(state, baseline());
} catch (const std::exception& error) {
    state.SkipWithError(error.what());
}
BENCHMARK(ListPageIdle)->Iterations(1)->Unit(benchmark::kSecond);

void RedirectSilentReader(benchmark::State& state) try {
    const Usage& idle = baseline();
    for (auto _ : state) {
        const Usage usage = measure(true);
        report(state, usage);
        state.counters["cpu_x_baseline"] = usage.cpuShare() / idle.cpuShare(1);
        state.counters["rss_x_baseline"] = usage.rssKiB / idle.rssKiB;
        state.counters["hwm_x_baseline"] = usage.hwmKiB / idle.hwmKiB;
    }
} catch (const std::exception& error) {
    state.SkipWithError(error.what());
}
BENCHMARK(RedirectSilentReader)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace pelvaro

BENCHMARK_MAIN();

// The keyboard wedge end to end under an X server of its own: from the
// reader's last byte to the ENTER after the code in a real X client, with the
// program in redirect mode, as a ratio to the frame's wire time and to
// `xdotool type` typing the same text at its default delay in the same run;
// and how long typing a long text holds the caller (the GUI thread) at most;
// the same on Wayland through sway's virtual keyboard and KDE's portal.

#include "bench/LatencyReport.h"
#include "keyboard/ei/EiTyping.h"
#include "keyboard/x11/XTestInjector.h"
#include "tests/e2e/DesktopProgram.h"
#include "tests/keyboard/KeystrokeReceiver.h"
#include "tests/support/DesktopReadTool.h"
#include "tests/support/Polling.h"
#include "tests/support/WaylandSession.h"
#include "tools/simulator/ReaderSimulator.h"

#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kCards = 1000;
constexpr int kBaselineRuns = 100;
constexpr char kCodeText[] = "0A1B2C3D4E";

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(const std::vector<double>& values) {
    return bench::percentile(values, 50);
}

// xdotool typing the code and then Return into the receiver (at its default
// delay of 12 ms between keys), from its start to the Return's arrival.
std::vector<double> xdotoolLatencies(const test::VirtualDisplay& display,
                                     test::KeystrokeReceiverProcess& receiver) {
    std::vector<double> latencies;
    for (int run = 0; run < kBaselineRuns; ++run) {
        const auto start = Clock::now();
        // Its type command takes the rest of the line as text: Return apart.
        if (!display.run({"xdotool", "type", kCodeText}) ||
            !display.run({"xdotool", "key", "Return"}) ||
            !receiver.receiveLine(test::kPatience).complete)
            throw std::runtime_error("xdotool typed nothing");
        latencies.push_back(millisecondsSince(start));
    }
    return latencies;
}

// Holds the card of kCodeText again and again with random gaps; arrived tells
// whether its code and Return came. From the reader's last byte to that.
template <typename Arrived>
std::vector<double> cardLatencies(sim::ReaderSimulator& reader, Arrived arrived) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pauseMs(0, 30);
    std::vector<double> latencies;
    for (int card = 0; card < kCards; ++card) {
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs(random)));
        if (!reader.sendCard(std::vector<uint8_t>{0x0A, 0x1B, 0x2C, 0x3D, 0x4E}).acknowledged)
            throw std::runtime_error("a card was not acknowledged");
        const auto lastByte = reader.lastWriteTime();
        if (!arrived())
            throw std::runtime_error("a code arrived wrong");
        latencies.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - lastByte).count());
    }
    return latencies;
}

// A way of typing measured once a run, and a peer tool typing the same text
// and Return in the same session.
struct TypingRun {
    std::vector<double> latencies;
    double peerMedian = 0;
};

void reportAgainstPeer(benchmark::State& state, const TypingRun& run, const std::string& peer) {
    bench::reportLatencies(state, run.latencies);
    state.counters[peer + "_median_ms"] = run.peerMedian;
    state.counters["median_x_" + peer] = median(run.latencies) / run.peerMedian;
}

// The program typing into an X client, and xdotool: the Wayland benchmarks
// are compared with it too.

TypingRun measureXClient() {
    test::VirtualDisplay display(1024, 768);
    test::DesktopProgram program(display);
    sim::ReaderSimulator reader;
    program.writeSettings("[Global]\nAutostart=1\nSysTray=1\nLineFeed=1\n"
                          "[Serial]\nPort=1\n[Ports]\nDefaults=0\n");
    reader.mapAsPort(program.settingsFile(), 1);
    if (!program.start() || !reader.waitForProgram(test::kPatience))
        throw std::runtime_error("the program did not start redirect mode");
    std::this_thread::sleep_for(1s); // until its start-up has settled
    test::KeystrokeReceiverProcess receiver(display);
    if (!receiver.waitUntilReady(test::kPatience))
        throw std::runtime_error("the receiver did not come up");

    TypingRun run;
    run.latencies = cardLatencies(reader, [&] {
        return receiver.receiveLine(test::kPatience).text == std::string(kCodeText) + "\n";
    });
    run.peerMedian = median(xdotoolLatencies(display, receiver));
    program.process().signal(SIGTERM);
    program.process().waitForExit(5s);
    return run;
}

const TypingRun& xClientRun() {
    static const TypingRun run = measureXClient();
    return run;
}

void CardToEnterInAnXClient(benchmark::State& state) try {
    for (auto _ : state)
        reportAgainstPeer(state, xClientRun(), "xdotool");
} catch (const std::exception& error) {
    state.SkipWithError(error.what());
}
BENCHMARK(CardToEnterInAnXClient)->Iterations(1)->Unit(benchmark::kSecond);

// The same on Wayland: the program on a headless sway typing into foot
// through sway's virtual keyboard, and wtype.
TypingRun measureSway() {
    if (!test::WaylandSession::possible())
        throw std::runtime_error("a Wayland session needs root");
    test::WaylandSession session;
    test::WaylandSession::Terminal terminal(session);
    sim::ReaderSimulator reader;
    test::DesktopProgram program(session.environment());
    program.writeSettings("[Global]\nAutostart=1\nSysTray=1\nLineFeed=1\n[Serial]\nPort=1\n"
                          "[Ports]\nDefaults=0\n");
    reader.mapAsPort(program.settingsFile(), 1);
    program.launch();
    // Shown (no notification area to hide in): the focus back to foot.
    if (!reader.waitForProgram(test::kPatience) ||
        !test::waitFor([&] { return session.hasWindow("pelvaro"); }) || !terminal.focus() ||
        !test::waitFor([&] { return terminal.hasFocus(); }))
        throw std::runtime_error("the program did not start redirect mode");

    TypingRun run;
    run.latencies = cardLatencies(reader, [&] {
        return terminal.receiveUntil("\r", test::kPatience) == std::string(kCodeText) + "\r";
    });
    program.process().signal(SIGTERM);
    program.process().waitForExit(5s);

    std::vector<double> wtype;
    for (int baseline = 0; baseline < kBaselineRuns; ++baseline) {
        const auto start = Clock::now();
        test::ChildProcess typing(session.asUser({"wtype", kCodeText, "-k", "Return"}),
                                  session.environment());
        if (terminal.receiveUntil("\r", test::kPatience).empty())
            throw std::runtime_error("wtype typed nothing");
        wtype.push_back(millisecondsSince(start));
        typing.waitForExit(test::kPatience);
    }
    run.peerMedian = median(wtype);
    return run;
}

const TypingRun& swayRun() {
    static const TypingRun run = measureSway();
    return run;
}

// Ratios of a run's latencies to the program typing into an X client.
void compareWithX11(benchmark::State& state, const std::vector<double>& latencies) {
    const std::vector<double>& x11 = xClientRun().latencies;
    state.counters["median_x_x11"] = median(latencies) / median(x11);
    state.counters["p99_x_x11"] = bench::percentile(latencies, 99) / bench::percentile(x11, 99);
}

void CardToEnterInFootUnderSway(benchmark::State& state) try {
    for (auto _ : state) {
        reportAgainstPeer(state, swayRun(), "wtype");
        compareWithX11(state, swayRun().latencies);
    }
} catch (const std::exception& error) {
    state.SkipWithError(error.what());
}
BENCHMARK(CardToEnterInFootUnderSway)->Iterations(1)->Unit(benchmark::kSecond);

// Through KDE's desktop portal: the command-line reader on a headless KWin,
// its remote control allowed up front, typing into a terminal: through libei
// where the portal lends it (Plasma 6, Debian 13), else by the portal's keysym
// calls (Plasma 5.27, Debian 12). libei_used tells which.
void CardToEnterThroughKdesPortal(benchmark::State& state) try {
    using test::WaylandSession;
    if (!WaylandSession::possible() ||
        !WaylandSession::desktopInstalled(WaylandSession::Compositor::Kwin))
        throw std::runtime_error("needs root, kwin_wayland and KDE's desktop portal");
    for (auto _ : state) {
        test::DesktopReadTool kde(READ_TOOL_EXE, WaylandSession::Compositor::Kwin,
                                  {"--backend", "portal"});
        if (!kde.typesOnceReady())
            throw std::runtime_error("the portal typed nothing");
        const std::vector<double> latencies = cardLatencies(kde.reader, [&] {
            return kde.terminal.receiveUntil("\r", test::kPatience) ==
                   std::string(kCodeText) + "\r";
        });
        const std::string told = kde.endAndTell();
        bench::reportLatencies(state, latencies);
        state.counters["libei_used"] = EiTyping::libraryVersion().empty() ? 0 : 1;
        state.counters["median_x_sway"] = median(latencies) / median(swayRun().latencies);
        compareWithX11(state, latencies);
        if (!told.empty())
            state.SetLabel(told);
    }
} catch (const std::exception& error) {
    state.SkipWithError(error.what());
}
BENCHMARK(CardToEnterThroughKdesPortal)->Iterations(1)->Unit(benchmark::kSecond);

// 149 characters, 20 of them letters a US layout lacks, typed again and again
// with the spare keys freed in between: the longest time one call (the text,
// or one of its later portions) held the caller.
void LongTextHoldsTheCaller(benchmark::State& state) try {
    test::VirtualDisplay display(640, 480);
    test::KeystrokeReceiverProcess receiver(display);
    if (!receiver.waitUntilReady(test::kPatience) || !display.run({"setxkbmap", "us"}))
        throw std::runtime_error("the receiver did not come up");
    // The pauses between portions wait on the caller's loop, as in the program.
    std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> later;
    auto injector = XTestInjector::open(display.name(), [&later](std::chrono::milliseconds delay,
                                                                 std::function<void()> work) {
                        later.emplace_back(delay, std::move(work));
                    }).injector;
    if (!injector)
        throw std::runtime_error("no XTest");
    std::u32string text;
    for (char32_t letter = U'\u03B1'; text.size() < 149; ++letter) {
        text += letter <= U'\u03C4' ? letter : U'7';
        for (int digit = 0; digit < 6 && text.size() < 149; ++digit)
            text += static_cast<char32_t>(U'0' + digit);
    }
    std::vector<double> held;
    for (auto _ : state) {
        const auto start = Clock::now();
        injector->typeText(text, true);
        held.push_back(millisecondsSince(start));
        state.PauseTiming();
        // The portions still to come, each a call of its own.
        for (size_t next = 0; next < later.size(); ++next) {
            if (later[next].first > 9s)
                continue; // the release of the spare keys, done below
            std::this_thread::sleep_for(later[next].first);
            const auto portion = Clock::now();
            later[next].second();
            held.push_back(millisecondsSince(portion));
        }
        later.clear();
        receiver.receiveLine(test::kPatience);
        injector->release();
        state.ResumeTiming();
    }
    state.counters["longest_ms"] = *std::max_element(held.begin(), held.end());
    state.counters["median_ms"] = median(held);
    // The read cycle may already hold the GUI thread this long.
    state.counters["longest_x_read_cycle"] = *std::max_element(held.begin(), held.end()) / 61.0;
} catch (const std::exception& error) {
    state.SkipWithError(error.what());
}
BENCHMARK(LongTextHoldsTheCaller)->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace pelvaro

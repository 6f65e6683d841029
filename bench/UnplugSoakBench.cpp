// A soak run of the keyboard wedge: ten thousand cards through redirect mode
// into a real X client, with the reader unplugged and plugged in again under
// another name every 500 cards. It counts the cards typed, lost and doubled,
// and reads the program's resident memory at the start and the end and its
// CPU share over the run. It takes some minutes: not part of the tests.

#include "bench/ProcessUsage.h"
#include "settings/PortSettings.h"
#include "tests/e2e/DesktopProgram.h"
#include "tests/e2e/DesktopRig.h"
#include "tests/e2e/NotificationArea.h"
#include "tests/keyboard/KeystrokeReceiver.h"
#include "tests/support/PluggableReader.h"
#include "tests/support/Polling.h"

#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>
#include <thread>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kCards = 10000;
constexpr int kCardsPerPlugging = 500;
// A card's line later than this counts as lost, unless it comes after all.
constexpr auto kLineWait = 2s;

std::string cardCode(int card) {
    char code[11];
    std::snprintf(code, sizeof code, "%010X", static_cast<unsigned>(card));
    return code;
}

struct Tally {
    std::set<std::string> acknowledged;
    std::map<std::string, int> typed; // each line received, without its ENTER
    int unacknowledged = 0;

    void take(const test::ReceivedLine& line) {
        if (line.complete)
            ++typed[line.text.substr(0, line.text.size() - 1)];
    }
    int lost() const {
        int count = 0;
        for (const std::string& code : acknowledged)
            count += typed.contains(code) ? 0 : 1;
        return count;
    }
    int doubled() const {
        int count = 0;
        for (const auto& [code, times] : typed)
            count += times - 1;
        return count;
    }
    int stray() const { // typed, but never sent or never acknowledged
        int count = 0;
        for (const auto& [code, times] : typed)
            count += acknowledged.contains(code) ? 0 : times;
        return count;
    }
};

void CardsThroughUnplugging(benchmark::State& state) try {
    for (auto _ : state) {
        test::VirtualDisplay display(640, 480);
        test::NotificationArea area(display.name());
        const auto panel = test::startPanel(display, area); // where the window hides itself
        if (!panel)
            throw std::runtime_error("no notification area");
        test::DesktopProgram program(display);
        test::PluggableReader plug(program.directory() / "reader");
        program.writeSettings("[Global]\nAutostart=1\nSysTray=1\nLineFeed=1\n"
                              "[Serial]\nPort=1\nCardLen=10\n[Ports]\nDefaults=0\n");
        writePortMapping(program.settingsFile(), 1, plug.link().string());
        if (!program.start() || !plug.reader().waitForProgram(test::kPatience))
            throw std::runtime_error("the program did not start redirect mode");
        std::this_thread::sleep_for(1s); // until it has hidden itself
        test::KeystrokeReceiverProcess receiver(display);
        if (!receiver.waitUntilReady(test::kPatience))
            throw std::runtime_error("the receiver did not come up");

        const pid_t pid = program.process().pid();
        const double rssStart = bench::statusKiB(pid, "VmRSS");
        const double ticksStart = bench::cpuTicks(pid);
        const auto start = Clock::now();
        Tally tally;
        for (int card = 1; card <= kCards; ++card) {
            if (card % kCardsPerPlugging == 0) {
                plug.unplug();
                plug.plugIn();
                if (!plug.reader().waitForProgram(test::kPatience))
                    throw std::runtime_error("the reader was not taken up again");
            }
            const std::string code = cardCode(card);
            if (plug.reader().sendCard(sim::bytesFromHex(code)).acknowledged)
                tally.acknowledged.insert(code);
            else
                ++tally.unacknowledged;
            tally.take(receiver.receiveLine(kLineWait));
        }
        for (test::ReceivedLine late; (late = receiver.receiveLine(1s)).complete;)
            tally.take(late);
        const std::chrono::duration<double> wall = Clock::now() - start;
        const double cpuSeconds = bench::ticksToSeconds(bench::cpuTicks(pid) - ticksStart);
        const double rssEnd = bench::statusKiB(pid, "VmRSS");

        state.counters["cards"] = kCards;
        state.counters["acknowledged"] = static_cast<double>(tally.acknowledged.size());
        state.counters["unacknowledged"] = tally.unacknowledged;
        state.counters["typed"] = static_cast<double>(tally.acknowledged.size() - tally.lost());
        state.counters["lost"] = tally.lost();
        state.counters["doubled"] = tally.doubled();
        state.counters["stray"] = tally.stray();
        state.counters["replugs"] = kCards / kCardsPerPlugging;
        state.counters["rss_start_MiB"] = rssStart / 1024;
        state.counters["rss_end_MiB"] = rssEnd / 1024;
        state.counters["rss_end_x_start"] = rssEnd / rssStart;
        state.counters["cpu_share"] = cpuSeconds / wall.count();
        state.counters["cards_per_s"] = kCards / wall.count();
        program.process().signal(SIGTERM);
        program.process().waitForExit(5s);
    }
} catch (const std::exception& error) {
    state.SkipWithError(error.what());
}
BENCHMARK(CardsThroughUnplugging)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace pelvaro

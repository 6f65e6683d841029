// Delivery by whole pelvaro-read processes into one mosquitto (TLS with a
// password) and one HTTPS receiver on the loopback, each tool with a
// simulated reader on a pseudo-terminal:
// - a fleet: 50 tools at once against one tool in the same run, 1,000 events
//   each, read from the reader as fast as it takes cards or left in the
//   outbox while the targets were down: the rate at each target until the
//   last event arrived, every id counted there (repeats too), and the share
//   of a core the broker, the receiver, the tools and the readers used. The
//   outboxes are in memory: on one disk the fleet's durable commits would
//   wait on each other, where 50 computers have a disk each (outbox_bench
//   measures the disk's cost);
// - a backlog of 10,000 events left in an outbox on disk while the targets
//   were down, drained by one tool started on it, against mosquitto_pub and
//   curl sending the same events (the senders alone: mqtt_drain_bench and
//   http_drain_bench).

#include "bench/ProcessUsage.h"
#include "bench/ReferenceSenders.h"
#include "delivery/Outbox.h"
#include "personnel/SqliteLibrary.h"
#include "tests/personnel/SqliteLibraryFiles.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/HttpsReceiver.h"
#include "tests/support/MosquittoBroker.h"
#include "tests/support/MqttSubscriber.h"
#include "tests/support/TempDir.h"
#include "tools/simulator/ReaderSimulator.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <csignal>
#include <fstream>
#include <future>
#include <stdexcept>
#include <thread>
#include <unistd.h>
#include <unordered_set>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kFleet = 50;
constexpr int kCardsEach = 1000;
constexpr int kBacklog = 10000;
constexpr int kRounds = 3;
// Reading and delivery of a phase end by then, whatever arrived.
constexpr auto kPhaseLimit = 90s;
const std::filesystem::path kMemory = "/dev/shm";

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The ids in the texts (events, or arrays of them), each once, and how many
// came more than once.
struct ArrivedIds {
    std::unordered_set<std::string> ids;
    size_t repeats = 0;

    void add(const std::string& text) {
        static const std::string key = "\"id\":\"";
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1))
            if (!ids.insert(text.substr(at + key.size(), 36)).second)
                ++repeats;
    }
};

ArrivedIds idsReceivedSince(const test::HttpsReceiver& receiver, size_t firstRequest) {
    ArrivedIds arrived;
    const auto requests = receiver.requests();
    for (size_t index = firstRequest; index < requests.size(); ++index)
        arrived.add(requests[index].body);
    return arrived;
}

ArrivedIds idsIn(const std::vector<std::string>& payloads) {
    ArrivedIds arrived;
    for (const std::string& payload : payloads)
        arrived.add(payload);
    return arrived;
}

// When the receiver had count different events in the requests from
// firstRequest on, or the deadline. Its log is read again only after three
// times as long as reading it took, so that counting takes little from the
// processes measured.
std::pair<ArrivedIds, Clock::time_point> receiverArrivals(const test::HttpsReceiver& receiver,
                                                          size_t firstRequest, size_t count,
                                                          Clock::time_point deadline) {
    for (;;) {
        const auto before = Clock::now();
        ArrivedIds arrived = idsReceivedSince(receiver, firstRequest);
        const auto after = Clock::now();
        if (arrived.ids.size() >= count || after > deadline)
            return {std::move(arrived), after};
        std::this_thread::sleep_for(std::max<Clock::duration>(10ms, 3 * (after - before)));
    }
}

// The broker and the receiver, and what every tool is given to reach them:
// one CA file with both authorities, the password as the secret, and a copy
// of the tool with its SQLite library in a folder of its own.
struct Targets {
    Targets();

    test::MosquittoBroker broker{{.logEveryPacket = false}};
    test::TestCertificates certificates;
    test::HttpsReceiver receiver{&certificates};
    test::TempDir files;
    std::filesystem::path tool = files.path() / "pelvaro-read";

    std::string mqttUrl(const std::string& topic) const { return broker.tlsUrl(topic); }
    std::string httpsUrl() const { return receiver.url(); }

    // The tool reading the device and delivering to the targets through the outbox.
    std::unique_ptr<test::ChildProcess> startTool(const std::string& device,
                                                  const std::filesystem::path& outbox,
                                                  const std::vector<std::string>& targets) const;
};

Targets::Targets() {
    std::ofstream authorities(files.path() / "ca.pem");
    authorities << std::ifstream(broker.certificate("ca.pem")).rdbuf()
                << std::ifstream(receiver.caFile()).rdbuf();
    std::ofstream(files.path() / "secret") << test::MosquittoBroker::kPassword << '\n';
    std::filesystem::permissions(files.path() / "secret", std::filesystem::perms::owner_read |
                                                              std::filesystem::perms::owner_write);
    std::filesystem::copy_file(READ_TOOL_EXE, tool);
    test::placeSqliteLibrary(files.path());
}

std::unique_ptr<test::ChildProcess>
Targets::startTool(const std::string& device, const std::filesystem::path& outbox,
                   const std::vector<std::string>& targets) const {
    std::vector<std::string> command = {tool.string(),
                                        "--device",
                                        device,
                                        "--outbox",
                                        outbox.string(),
                                        "--secret-file",
                                        (files.path() / "secret").string(),
                                        "--ca-file",
                                        (files.path() / "ca.pem").string()};
    for (const std::string& target : targets) {
        command.push_back("--deliver");
        command.push_back(target);
    }
    return std::make_unique<test::ChildProcess>(command);
}

// Ends the tool as a service manager would; it must end well.
void stopTool(test::ChildProcess& tool) {
    tool.signal(SIGTERM);
    if (tool.waitForExit(30s) != 0)
        throw std::runtime_error("pelvaro-read did not end well: " + tool.errorOutput());
}

// The result of the work while the tool runs; when the work fails, the tool's
// own words go with the reason.
template <typename Work> auto whileRunning(test::ChildProcess& tool, Work&& work) {
    try {
        auto result = work();
        stopTool(tool);
        return result;
    } catch (const std::runtime_error& error) {
        tool.signal(SIGTERM);
        tool.waitForExit(30s);
        throw std::runtime_error(std::string(error.what()) +
                                 "; pelvaro-read said: " + tool.errorOutput());
    }
}

// An outbox as a tool leaves it while its targets are down: count reads
// stored and offered, in memory to spare the disk's commits, then copied to
// the outbox's place. The events as the outbox holds them for the first
// target, for the reference senders.
std::vector<QueuedEvent> leaveBacklog(const std::filesystem::path& outbox,
                                      const std::vector<std::string>& targets, int count) {
    test::TempDir memory(kMemory);
    std::vector<QueuedEvent> events;
    {
        auto opened = Outbox::open(
            BindSqliteLibrary(test::programsDirectory(), SqliteSource::ProgramDirectory).library,
            memory.path() / outbox.filename(), targets);
        if (auto* reason = std::get_if<std::string>(&opened))
            throw std::runtime_error(*reason);
        Outbox& filled = *std::get<std::unique_ptr<Outbox>>(opened);
        for (int number = 0; number < count; ++number) {
            char code[11];
            std::snprintf(code, sizeof code, "12%08X", number);
            ReadEvent event = newReadEvent("read", "/dev/pts/7", code);
            const auto stored = filled.store(event);
            if (auto* reason = std::get_if<std::string>(&stored))
                throw std::runtime_error(*reason);
            event.output = code;
            event.typed = false;
            if (const auto failure = filled.offer(std::get<int64_t>(stored), event))
                throw std::runtime_error(*failure);
        }
        events = filled.next(targets.front(), static_cast<size_t>(count));
    }
    for (const auto& entry : std::filesystem::directory_iterator(memory.path()))
        std::filesystem::copy_file(entry.path(), outbox.parent_path() / entry.path().filename());
    return events;
}

// A tool with its simulated reader, delivering to both targets.
struct FleetTool {
    FleetTool(const Targets& targets, const std::filesystem::path& outbox, const std::string& topic)
        : process(targets.startTool(reader.devicePath(), outbox,
                                    {targets.mqttUrl(topic), targets.httpsUrl()})) {}

    sim::ReaderSimulator reader;
    std::unique_ptr<test::ChildProcess> process;
    int acknowledged = 0;

    // A card frame sent before the tool flushed the line is lost, so the first
    // is sent again until one is taken. A tool that never opens its reader
    // reads nothing, which the phase's count shows.
    void presentCards(int number) {
        if (!reader.waitForProgram(60s))
            return;
        reader.setAcknowledgementTimeout(10s);
        for (int card = 0; card < kCardsEach; ++card) {
            const std::vector<uint8_t> code = {0x12, static_cast<uint8_t>(number),
                                               static_cast<uint8_t>(card >> 8),
                                               static_cast<uint8_t>(card), 0x9A};
            for (int attempt = 0; attempt < (card == 0 ? 5 : 1); ++attempt)
                if (reader.sendCard(code).acknowledged) {
                    ++acknowledged;
                    break;
                }
        }
    }
};

// What a phase showed at one target.
struct TargetFigures {
    double eventsPerSecond = 0; // from the phase's start until the last event arrived
    size_t arrived = 0;         // different events
    size_t repeats = 0;
    double lagSeconds = 0; // from the last card acknowledged until the last event arrived
    double coreShare = 0;  // the broker's or the receiver's CPU time over that time
};

struct PhaseFigures {
    size_t events = 0; // cards acknowledged by the tools, or left in their outboxes
    double readSeconds = 0;
    TargetFigures mqtt;
    TargetFigures https;
    size_t httpsRequests = 0;
    double toolsCoreShare = 0; // all the tools' CPU time over the phase's time
    // This program's: the simulated readers, the subscriber, the counting.
    double readersCoreShare = 0;
};

TargetFigures figures(const ArrivedIds& arrived, Clock::time_point last, Clock::time_point start,
                      Clock::time_point readingDone, double cpuTicks) {
    const double seconds = std::chrono::duration<double>(last - start).count();
    return {static_cast<double>(arrived.ids.size()) / seconds, arrived.ids.size(), arrived.repeats,
            std::chrono::duration<double>(last - readingDone).count(),
            bench::ticksToSeconds(cpuTicks) / seconds};
}

// Where a phase's events come from: read by the tools while it runs, or left
// in their outboxes (kCardsEach each) while the targets were down, the tools
// started on them when it begins.
enum class Events { Read, Backlog };

// tools processes at once, their outboxes in memory, until every event
// arrived at both targets or the phase's time is up.
PhaseFigures runPhase(Targets& targets, int tools, const std::string& phase, Events events) {
    test::TempDir outboxes(kMemory);
    test::MqttSubscriber subscriber(targets.broker, phase + "/+/reads");
    const size_t firstRequest = targets.receiver.requests().size();
    const auto outbox = [&](int number) {
        return outboxes.path() / ("outbox-" + std::to_string(number) + ".sqlite");
    };
    const auto topic = [&](int number) { return phase + "/" + std::to_string(number) + "/reads"; };
    std::vector<std::unique_ptr<FleetTool>> fleet;
    const auto startTools = [&] {
        for (int number = 0; number < tools; ++number)
            fleet.push_back(std::make_unique<FleetTool>(targets, outbox(number), topic(number)));
    };
    PhaseFigures result;
    if (events == Events::Read) {
        startTools();
    } else {
        for (int number = 0; number < tools; ++number)
            leaveBacklog(outbox(number), {targets.mqttUrl(topic(number)), targets.httpsUrl()},
                         kCardsEach);
        result.events = static_cast<size_t>(tools * kCardsEach);
    }
    std::vector<double> toolTicks;
    for (const auto& tool : fleet)
        toolTicks.push_back(bench::cpuTicks(tool->process->pid()));
    const double readerTicks = bench::cpuTicks(getpid());
    const double brokerTicks = bench::cpuTicks(targets.broker.pid());
    const double receiverTicks = bench::cpuTicks(targets.receiver.pid());

    const auto start = Clock::now();
    const auto deadline = start + kPhaseLimit;
    if (events == Events::Read) {
        {
            std::vector<std::jthread> readers;
            for (int number = 0; number < tools; ++number)
                readers.emplace_back(
                    [&tool = *fleet[number], number] { tool.presentCards(number); });
        }
        for (const auto& tool : fleet)
            result.events += static_cast<size_t>(tool->acknowledged);
    } else {
        startTools();
    }
    const auto readingDone = Clock::now();
    result.readSeconds = secondsSince(start);

    auto mqtt = std::async(std::launch::async, [&] {
        const auto payloads = subscriber.payloads(
            result.events,
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
        return std::pair(idsIn(payloads), Clock::now());
    });
    const auto [httpsIds, httpsLast] =
        receiverArrivals(targets.receiver, firstRequest, result.events, deadline);
    const double receiverUsed = bench::cpuTicks(targets.receiver.pid()) - receiverTicks;
    const auto [mqttIds, mqttLast] = mqtt.get();
    const double brokerUsed = bench::cpuTicks(targets.broker.pid()) - brokerTicks;
    const auto end = std::max(httpsLast, mqttLast);
    result.mqtt = figures(mqttIds, mqttLast, start, readingDone, brokerUsed);
    result.https = figures(httpsIds, httpsLast, start, readingDone, receiverUsed);
    result.httpsRequests = targets.receiver.requests().size() - firstRequest;
    const double phaseSeconds = std::chrono::duration<double>(end - start).count();
    double toolsUsed = 0;
    for (size_t index = 0; index < fleet.size(); ++index)
        toolsUsed += bench::cpuTicks(fleet[index]->process->pid()) -
                     (index < toolTicks.size() ? toolTicks[index] : 0);
    result.toolsCoreShare = bench::ticksToSeconds(toolsUsed) / phaseSeconds;
    result.readersCoreShare =
        bench::ticksToSeconds(bench::cpuTicks(getpid()) - readerTicks) / phaseSeconds;
    for (auto& tool : fleet)
        stopTool(*tool->process);
    return result;
}

// The round whose slower target was fastest.
const PhaseFigures& fastest(const std::vector<PhaseFigures>& rounds) {
    return *std::max_element(rounds.begin(), rounds.end(), [](const auto& one, const auto& other) {
        return std::min(one.mqtt.eventsPerSecond, one.https.eventsPerSecond) <
               std::min(other.mqtt.eventsPerSecond, other.https.eventsPerSecond);
    });
}

// A target's figures from the fleet's and the one tool's fastest rounds, and
// the events it missed and got again over all of the fleet's rounds.
void report(benchmark::State& state, const std::string& name, TargetFigures PhaseFigures::*target,
            const std::vector<PhaseFigures>& fleets, const std::vector<PhaseFigures>& singles,
            bool read) {
    const TargetFigures& fleet = fastest(fleets).*target;
    const TargetFigures& single = fastest(singles).*target;
    state.counters[name + "_events_per_s"] = fleet.eventsPerSecond;
    state.counters["one_tool_" + name + "_events_per_s"] = single.eventsPerSecond;
    state.counters[name + "_x_one_tool"] = fleet.eventsPerSecond / single.eventsPerSecond;
    state.counters[name + "_core_share"] = fleet.coreShare;
    if (read)
        state.counters[name + "_lag_s"] = fleet.lagSeconds;
    size_t missing = 0;
    size_t repeats = 0;
    for (const PhaseFigures& round : fleets) {
        missing += round.events - std::min(round.events, (round.*target).arrived);
        repeats += (round.*target).repeats;
    }
    state.counters[name + "_missing"] = static_cast<double>(missing);
    state.counters[name + "_repeats"] = static_cast<double>(repeats);
    if (missing > 0)
        state.SkipWithError((std::to_string(missing) + " events did not reach " + name).c_str());
}

// Fifty tools at once against one, each with kCardsEach events: read from
// its reader as fast as it takes them (argument 0), or left in its outbox
// while the targets were down (argument 1). The fastest of kRounds rounds
// each, taken in turns, since the machine's other load varies.
void FleetOfFiftyTools(benchmark::State& state) try {
    const Events events = state.range(0) == 0 ? Events::Read : Events::Backlog;
    for (auto _ : state) {
        Targets targets;
        std::vector<PhaseFigures> singles;
        std::vector<PhaseFigures> fleets;
        for (int round = 0; round < kRounds; ++round) {
            const std::string phase =
                (events == Events::Read ? "read" : "backlog") + std::to_string(round);
            singles.push_back(runPhase(targets, 1, phase + "-one", events));
            fleets.push_back(runPhase(targets, kFleet, phase + "-fleet", events));
            if (fleets.back().events != static_cast<size_t>(kFleet * kCardsEach))
                throw std::runtime_error("the fleet's readers gave " +
                                         std::to_string(fleets.back().events) + " cards");
        }
        const PhaseFigures& fleet = fastest(fleets);
        if (events == Events::Read) {
            const PhaseFigures& single = fastest(singles);
            state.counters["read_per_s"] = static_cast<double>(fleet.events) / fleet.readSeconds;
            state.counters["one_tool_read_per_s"] =
                static_cast<double>(single.events) / single.readSeconds;
        }
        state.counters["https_events_per_request"] =
            static_cast<double>(fleet.https.arrived + fleet.https.repeats) /
            static_cast<double>(fleet.httpsRequests);
        state.counters["tools_core_share"] = fleet.toolsCoreShare;
        state.counters["readers_core_share"] = fleet.readersCoreShare;
        report(state, "mqtt", &PhaseFigures::mqtt, fleets, singles, events == Events::Read);
        report(state, "https", &PhaseFigures::https, fleets, singles, events == Events::Read);
    }
} catch (const std::exception& error) {
    state.SkipWithError(error.what());
}
BENCHMARK(FleetOfFiftyTools)
    ->ArgName("backlog")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// Events a second from the tool's start on the outbox until the work (which
// waits for the last event at the target) is done.
template <typename Wait>
double toolDrainRate(const Targets& targets, const std::filesystem::path& outbox,
                     const std::string& target, Wait&& waitForAll) {
    sim::ReaderSimulator reader;
    const auto start = Clock::now();
    const auto tool = targets.startTool(reader.devicePath(), outbox, {target});
    return whileRunning(*tool, [&] {
        return kBacklog / std::chrono::duration<double>(waitForAll(start) - start).count();
    });
}

// The tool draining kBacklog events from an outbox on disk, against
// mosquitto_pub and curl sending the same; the best of kRounds rounds each,
// taken in turns.
void DrainABacklogThroughTheTool(benchmark::State& state) try {
    for (auto _ : state) {
        Targets targets;
        test::TempDir disk;
        double mqttTool = 0;
        double mosquittoPub = 0;
        double httpsTool = 0;
        double curl = 0;
        for (int round = 0; round < kRounds; ++round) {
            const std::string topic = "drain" + std::to_string(round) + "/reads";
            const auto mqttOutbox = disk.path() / ("mqtt-" + std::to_string(round) + ".sqlite");
            const auto mqttEvents = leaveBacklog(mqttOutbox, {targets.mqttUrl(topic)}, kBacklog);
            test::MqttSubscriber subscriber(targets.broker, topic);
            mqttTool = std::max(
                mqttTool,
                toolDrainRate(targets, mqttOutbox, targets.mqttUrl(topic), [&](Clock::time_point) {
                    if (subscriber.payloads(kBacklog, kPhaseLimit).size() < kBacklog)
                        throw std::runtime_error("not every event reached the broker");
                    return Clock::now();
                }));
            mosquittoPub = std::max(
                mosquittoPub, bench::mosquittoPubRate(targets.broker, mqttEvents, topic + "-pub"));

            const auto httpsOutbox = disk.path() / ("https-" + std::to_string(round) + ".sqlite");
            const auto httpsEvents = leaveBacklog(httpsOutbox, {targets.httpsUrl()}, kBacklog);
            const size_t firstRequest = targets.receiver.requests().size();
            httpsTool = std::max(
                httpsTool,
                toolDrainRate(
                    targets, httpsOutbox, targets.httpsUrl(), [&](Clock::time_point start) {
                        const auto [arrived, last] = receiverArrivals(
                            targets.receiver, firstRequest, kBacklog, start + kPhaseLimit);
                        if (arrived.ids.size() < kBacklog)
                            throw std::runtime_error("not every event reached the receiver");
                        return last;
                    }));
            curl = std::max(curl, bench::curlRate(targets.receiver, httpsEvents));
        }
        state.counters["mqtt_tool_events_per_s"] = mqttTool;
        state.counters["mosquitto_pub_events_per_s"] = mosquittoPub;
        state.counters["mqtt_tool_x_mosquitto_pub"] = mqttTool / mosquittoPub;
        state.counters["https_tool_events_per_s"] = httpsTool;
        state.counters["curl_events_per_s"] = curl;
        state.counters["https_tool_x_curl"] = httpsTool / curl;
    }
} catch (const std::exception& error) {
    state.SkipWithError(error.what());
}
BENCHMARK(DrainABacklogThroughTheTool)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
} // namespace pelvaro

BENCHMARK_MAIN();

// The server's personnel table kept in each PC's db_Personal.sqlite, on one
// PostgreSQL server on the loopback holding 10,000 cards, each figure with
// its baseline from the same run:
// - a lookup through the program's connection into a cache in WAL mode with
//   the sync running, against the same rows in a file of the PC's own;
// - the first fill of an empty cache, against psql copying the same rows
//   into a file (\copy);
// - the time from an UPDATE on the server to the cache holding it, against
//   the UPDATE alone;
// - a fleet: 50 pelvaro-read --database processes, each with a simulated
//   reader and a cache of its own; one change made with psql: the time until
//   the first and until the last cache holds it, the server's connections and
//   the CPU time its processes used meanwhile.

#include "bench/ProcessUsage.h"
#include "bench/SecondsFor.h"
#include "personnel/PersonnelDatabase.h"
#include "personnel/SqliteLibrary.h"
#include "personnel/server/PersonnelServer.h"
#include "personnel/server/PersonnelSync.h"
#include "personnel/server/PqLibrary.h"
#include "tests/personnel/SqliteTool.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Polling.h"
#include "tests/support/PostgresServer.h"
#include "tests/support/TempDir.h"
#include "tools/simulator/ReaderSimulator.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

namespace pelvaro {
namespace {

using namespace std::chrono_literals;
using bench::secondsFor;
using Clock = std::chrono::steady_clock;
using test::PostgresServer;

constexpr int kRows = 10'000;
constexpr int kLookupsPerIteration = 1000;
constexpr int kFleet = 50;

// The server with the table and its rows, card n as numberedCode(n) with the
// number n * 7, for every benchmark of the run.
PostgresServer& server() {
    static PostgresServer* shared = [] {
        auto* started = new PostgresServer;
        setenv("PGPASSFILE", started->pgpassFile().c_str(), 1);
        started->psql(serverSchemaSql(), PostgresServer::kOwner);
        started->psql("INSERT INTO pelvaro_personnel(cardcode, persnum, changed_by) SELECT "
                      "upper(lpad(to_hex(i), 10, '0')), (i * 7)::text, 'bench' FROM "
                      "generate_series(1, " +
                      std::to_string(kRows) + ") AS i");
        return started;
    }();
    return *shared;
}

// A PC's program directory with the SQLite library, its cache kept by a sync.
class CachedPc {
public:
    CachedPc() {
        test::placeSqliteLibrary(dir_.path());
        sqlite_ = BindSqliteLibrary(dir_.path()).library;
    }
    // Seconds until the first fill is done.
    double startSync() {
        PersonnelSync::Settings settings{server().uri(), "bench",
                                         dir_.path() / kPersonnelDatabaseFile};
        return secondsFor([&] {
            sync_ = std::make_unique<PersonnelSync>(BindPqLibrary(dir_.path()).library, sqlite_,
                                                    std::move(settings));
            sync_->setListener([this](const PersonnelSyncState&) { ++changes; });
            sync_->start();
            if (!test::waitFor([&] { return sync_->state().connected; }, 30s))
                throw std::runtime_error("no fill: " + sync_->state().problem);
        });
    }
    std::unique_ptr<PersonnelDatabase> openLookups() const {
        auto database = std::make_unique<PersonnelDatabase>(sqlite_);
        if (!database->OpenPersonnelDatabase(dir_.path()).ok())
            throw std::runtime_error("cannot open the cache");
        return database;
    }
    const test::TempDir& dir() const { return dir_; }

    std::atomic<int> changes{0};

private:
    test::TempDir dir_;
    std::shared_ptr<const SqliteLibrary> sqlite_;
    std::unique_ptr<PersonnelSync> sync_;
};

// Ours and the baseline, each summed over the iterations, as the mean per
// iteration in the given unit (1e3: ms), and their ratio.
void reportRatio(benchmark::State& state, const std::string& name, double ours,
                 const std::string& baselineName, double baseline, double unit) {
    const double runs = static_cast<double>(state.iterations());
    state.counters[name] = ours * unit / runs;
    state.counters[baselineName] = baseline * unit / runs;
    state.counters["x_" + baselineName] = ours / baseline;
}

std::vector<std::string> randomCodes() {
    std::mt19937 random(11);
    std::uniform_int_distribution<int> card(1, kRows);
    std::vector<std::string> codes;
    for (int i = 0; i < kLookupsPerIteration; ++i)
        codes.push_back(test::numberedCode(card(random)));
    return codes;
}

double lookupSeconds(PersonnelDatabase& database, const std::vector<std::string>& codes) {
    bool found = true;
    const double seconds = secondsFor([&] {
        for (const std::string& code : codes)
            found = database.LookupPersonnelNumber(code).personnelNumber && found;
    });
    if (!found)
        throw std::runtime_error("a card was not found");
    return seconds;
}

void LookupWithServerConfigured(benchmark::State& state) {
    CachedPc pc;
    pc.startSync();
    auto cached = pc.openLookups();
    CachedPc own; // no sync: the PC's own table, as without a server
    auto plain = own.openLookups();
    test::runSqliteTool(
        own.dir().path() / kPersonnelDatabaseFile,
        {"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
         std::to_string(kRows) +
         ") INSERT INTO t_card_personal SELECT printf('%010X', i), i * 7 FROM n"});
    const std::vector<std::string> codes = randomCodes();
    double withServer = 0;
    double without = 0;
    for (auto _ : state) {
        const double seconds = lookupSeconds(*cached, codes);
        without += lookupSeconds(*plain, codes);
        withServer += seconds;
        state.SetIterationTime(seconds);
    }
    reportRatio(state, "us_per_lookup", withServer, "without_server_us", without,
                1e6 / kLookupsPerIteration);
}
BENCHMARK(LookupWithServerConfigured)->UseManualTime()->Unit(benchmark::kMicrosecond);

void FirstFill(benchmark::State& state) {
    double fills = 0;
    double copies = 0;
    for (auto _ : state) {
        CachedPc pc;
        const double seconds = pc.startSync();
        if (pc.openLookups()->ReadPersonnelTable().entries.size() != kRows) {
            state.SkipWithError("the cache is not whole");
            return;
        }
        const auto copied = pc.dir().path() / "copy.csv";
        copies += secondsFor([&] {
            server().psql("\\copy pelvaro_personnel TO '" + copied.string() + "'",
                          PostgresServer::kOwner);
        });
        fills += seconds;
        state.SetIterationTime(seconds);
    }
    reportRatio(state, "fill_ms", fills, "psql_copy_ms", copies, 1e3);
}
BENCHMARK(FirstFill)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

// A writer of its own in this process, so that the time starts with the
// UPDATE and not with a program's start.
void UpdateToCache(benchmark::State& state) {
    CachedPc pc;
    pc.startSync();
    auto lookups = pc.openLookups();
    PersonnelServer writer(BindPqLibrary(pc.dir().path()).library, server().uri(), "bench");
    if (!writer.connect().ok()) {
        state.SkipWithError("the writer cannot connect");
        return;
    }
    const std::string card = test::numberedCode(1);
    double updates = 0;
    double arrivals = 0;
    int round = 0;
    for (auto _ : state) {
        ServerResult result;
        const auto row = writer.find(card, result);
        const std::string number = "u" + std::to_string(++round);
        const int before = pc.changes;
        const auto start = Clock::now();
        const double updating =
            secondsFor([&] { result = writer.update(card, number, row->changedAt); });
        while (pc.changes == before && Clock::now() - start < 5s)
            std::this_thread::sleep_for(50us);
        const double arrived = std::chrono::duration<double>(Clock::now() - start).count();
        if (!result.ok() || lookups->LookupPersonnelNumber(card).personnelNumber != number) {
            state.SkipWithError("the change did not arrive");
            return;
        }
        updates += updating;
        arrivals += arrived;
        state.SetIterationTime(arrived);
    }
    reportRatio(state, "ms_to_cache", arrivals, "update_ms", updates, 1e3);
}
BENCHMARK(UpdateToCache)->Iterations(50)->UseManualTime()->Unit(benchmark::kMillisecond);

// The server's processes' CPU time so far, in clock ticks.
double serverTicks(const std::vector<std::string>& pids) {
    double ticks = 0;
    for (const std::string& pid : pids)
        ticks += bench::cpuTicks(std::stoi(pid));
    return ticks;
}

void Fleet(benchmark::State& state) {
    // One copy of the tool and the library, linked into a program directory
    // per PC, each with a Pelvaro.ini so its cache is beside it.
    test::TempDir files;
    test::placeSqliteLibrary(files.path());
    std::vector<std::unique_ptr<sim::ReaderSimulator>> readers;
    std::vector<std::unique_ptr<test::ChildProcess>> tools;
    std::vector<std::unique_ptr<PersonnelDatabase>> caches;
    const auto sqlite = BindSqliteLibrary(files.path()).library;
    for (int pc = 0; pc < kFleet; ++pc) {
        const auto directory = files.path() / ("pc" + std::to_string(pc));
        std::filesystem::create_directory(directory);
        std::filesystem::create_hard_link(READ_TOOL_EXE, directory / "pelvaro-read");
        for (const auto& library : std::filesystem::directory_iterator(files.path()))
            if (library.is_regular_file())
                std::filesystem::create_hard_link(library.path(),
                                                  directory / library.path().filename());
        std::ofstream(directory / "Pelvaro.ini").flush();
        readers.push_back(std::make_unique<sim::ReaderSimulator>());
        tools.push_back(std::make_unique<test::ChildProcess>(
            std::vector<std::string>{(directory / "pelvaro-read").string(), "--device",
                                     readers.back()->devicePath(), "--database", server().uri()}));
        caches.push_back(std::make_unique<PersonnelDatabase>(sqlite));
        caches.back()->OpenPersonnelDatabase(directory);
    }
    const std::string card = test::numberedCode(2);
    const auto holds = [&](PersonnelDatabase& cache, const std::string& number) {
        return cache.LookupPersonnelNumber(card).personnelNumber == number;
    };
    const std::string initial = std::to_string(2 * 7);
    if (!test::waitFor(
            [&] {
                return std::all_of(caches.begin(), caches.end(),
                                   [&](auto& cache) { return holds(*cache, initial); });
            },
            60s)) {
        state.SkipWithError("the fleet's caches were not filled");
        return;
    }
    const std::vector<std::string> backends =
        server().psql("SELECT pid FROM pg_stat_activity WHERE usename = 'pelvaro'");
    // Its lasting processes: the backends of the fleet and the server's own.
    const std::vector<std::string> serverPids =
        server().psql("SELECT pid FROM pg_stat_activity WHERE pid <> pg_backend_pid()");

    double firsts = 0;
    double lasts = 0;
    double psqlSeconds = 0;
    double serverCpu = 0;
    int round = 0;
    for (auto _ : state) {
        const std::string number = "f" + std::to_string(++round);
        const double ticks = serverTicks(serverPids);
        const auto start = Clock::now();
        psqlSeconds += secondsFor([&] {
            server().psql("UPDATE pelvaro_personnel SET persnum = '" + number +
                          "' WHERE cardcode = '" + card + "'");
        });
        std::vector<bool> arrived(caches.size(), false);
        size_t count = 0;
        double first = 0;
        while (count < caches.size() && Clock::now() - start < 30s) {
            for (size_t pc = 0; pc < caches.size(); ++pc)
                if (!arrived[pc] && holds(*caches[pc], number)) {
                    arrived[pc] = true;
                    if (++count == 1)
                        first = std::chrono::duration<double>(Clock::now() - start).count();
                }
            std::this_thread::sleep_for(1ms);
        }
        const double last = std::chrono::duration<double>(Clock::now() - start).count();
        if (count < caches.size()) {
            state.SkipWithError("a cache missed the change");
            return;
        }
        serverCpu += bench::ticksToSeconds(serverTicks(serverPids) - ticks);
        firsts += first;
        lasts += last;
        state.SetIterationTime(last);
    }
    const double runs = static_cast<double>(state.iterations());
    reportRatio(state, "all_caches_ms", lasts, "first_cache_ms", firsts, 1e3);
    state.counters["connections"] = static_cast<double>(backends.size());
    state.counters["psql_ms"] = psqlSeconds * 1e3 / runs;
    state.counters["server_cpu_ms"] = serverCpu * 1e3 / runs;
    state.counters["server_cpu_share"] = serverCpu / lasts;
    for (auto& tool : tools)
        tool->signal(SIGTERM);
    for (auto& tool : tools)
        tool->waitForExit(10s);
}
BENCHMARK(Fleet)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace pelvaro

BENCHMARK_MAIN();

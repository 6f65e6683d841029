// The outbox's cost per read (stored before the typing, offered after it, one
// target) as a ratio to a bare SQLite insert of the same event text with the
// same durability (WAL, synchronous=FULL, each insert its own transaction),
// both measured in the same iteration on the same disk.

#include "bench/SecondsFor.h"
#include "delivery/Outbox.h"
#include "delivery/OutboxSqlite.h"
#include "fileio/FileLocations.h"
#include "personnel/SqliteLibrary.h"
#include "tests/personnel/SqliteLibraryFiles.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>
#include <stdexcept>

namespace pelvaro {
namespace {

constexpr int kReadsPerIteration = 200;

using bench::secondsFor;

// A table of event texts, one autocommitted insert per event.
class BareTable {
public:
    BareTable(const SqliteLibrary& library, const std::filesystem::path& file)
        : sql_(OutboxSqlite::resolve(library).value()) {
        if (sql_.open(file.string().c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK ||
            sql_.exec(
                db_,
                "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL; CREATE TABLE events(seq "
                "INTEGER PRIMARY KEY, json TEXT NOT NULL)",
                nullptr, nullptr, nullptr) != SQLITE_OK ||
            sql_.prepare(db_, "INSERT INTO events(json) VALUES(?)", -1, &insert_, nullptr) !=
                SQLITE_OK)
            throw std::runtime_error("cannot make the bare table");
    }
    ~BareTable() {
        sql_.finalize(insert_);
        sql_.close(db_);
    }

    void insert(const std::string& json) {
        sql_.bindText(insert_, 1, json.data(), static_cast<int>(json.size()), SQLITE_STATIC);
        if (sql_.step(insert_) != SQLITE_DONE)
            throw std::runtime_error("bare insert failed");
        sql_.reset(insert_);
    }

private:
    OutboxSqlite sql_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
};

void StoreAndOffer(benchmark::State& state) {
    const auto library = BindSqliteLibrary(test::programsDirectory()).library;
    test::TempDir dir;
    auto opened =
        Outbox::open(library, dir.path() / kOutboxFile, {"https://receiver.example/reads"});
    if (!std::holds_alternative<std::unique_ptr<Outbox>>(opened))
        throw std::runtime_error(std::get<std::string>(opened));
    Outbox& outbox = *std::get<std::unique_ptr<Outbox>>(opened);
    BareTable bare(*library, dir.path() / "bare.sqlite");

    ReadEvent event = newReadEvent("redirect", "Com3", "123456789A");
    event.output = event.code;
    event.typed = true;
    const std::string json = readEventJson(event);
    double ours = 0;
    double theirs = 0;
    for (auto _ : state) {
        const double iteration = secondsFor([&] {
            for (int i = 0; i < kReadsPerIteration; ++i) {
                const auto seq = outbox.store(event);
                if (!std::holds_alternative<int64_t>(seq) ||
                    outbox.offer(std::get<int64_t>(seq), event))
                    throw std::runtime_error("the outbox failed");
            }
        });
        ours += iteration;
        theirs += secondsFor([&] {
            for (int i = 0; i < kReadsPerIteration; ++i)
                bare.insert(json);
        });
        state.SetIterationTime(iteration);
    }
    const double reads = static_cast<double>(state.iterations()) * kReadsPerIteration;
    state.counters["us_per_read"] = ours * 1e6 / reads;
    state.counters["bare_insert_us"] = theirs * 1e6 / reads;
    state.counters["x_bare_insert"] = ours / theirs;
}
BENCHMARK(StoreAndOffer)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace pelvaro

BENCHMARK_MAIN();

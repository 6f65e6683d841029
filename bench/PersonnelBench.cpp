// The personnel table's queries as the program runs them, each as a ratio to
// the same query run by the sqlite3 tool in the same iteration. The tool's
// fixed cost (process start, opening the file, reading the schema, preparing
// a query that returns no row) is measured in every iteration as well and
// subtracted; the ratio including it is reported beside.

#include "bench/SecondsFor.h"
#include "personnel/PersonnelDatabase.h"
#include "personnel/SqliteLibrary.h"
#include "tests/personnel/SqliteTool.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pelvaro {
namespace {

constexpr int kLookupsPerIteration = 1000;

using bench::secondsFor;

// A program directory with the library and a table of numbered cards, the
// rows written by the tool as another program would.
class FilledDatabase {
public:
    explicit FilledDatabase(int rows) {
        test::placeSqliteLibrary(dir_.path());
        database_ = std::make_unique<PersonnelDatabase>(BindSqliteLibrary(dir_.path()).library);
        if (!database_->OpenPersonnelDatabase(dir_.path()).ok())
            throw std::runtime_error("cannot open the database");
        test::runSqliteTool(file(),
                            {"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                             "WHERE i < " +
                             std::to_string(rows) +
                             ") INSERT INTO t_card_personal SELECT printf('%010X', i), i * 7 "
                             "FROM n"});
    }

    std::filesystem::path file() const { return dir_.path() / kPersonnelDatabaseFile; }
    PersonnelDatabase& database() { return *database_; }

    // Seconds the tool takes from start to exit for an SQL text or a dot
    // command, its output going to /dev/null.
    double toolSeconds(const std::string& sql) const {
        const std::string path = file().string();
        const char* argv[] = {"sqlite3", "-batch", path.c_str(), sql.c_str(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        int status = -1;
        const double seconds = secondsFor([&] {
            pid_t pid;
            if (posix_spawnp(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ) ==
                0)
                waitpid(pid, &status, 0);
        });
        posix_spawn_file_actions_destroy(&actions);
        if (status != 0)
            throw std::runtime_error("sqlite3 failed");
        return seconds;
    }

    // The tool's fixed cost: everything but stepping rows.
    double toolStartSeconds() const { return toolSeconds("SELECT * FROM t_card_personal WHERE 0"); }

private:
    test::TempDir dir_;
    std::unique_ptr<PersonnelDatabase> database_;
};

struct Timings {
    double ours = 0;
    double tool = 0;
    double toolStart = 0;
};

void reportRatios(benchmark::State& state, const Timings& timings, double queriesPerIteration) {
    const double queries = queriesPerIteration * static_cast<double>(state.iterations());
    const double toolQuery = timings.tool - timings.toolStart;
    state.counters["us_per_query"] = timings.ours * 1e6 / queries;
    state.counters["tool_us_per_query"] = toolQuery * 1e6 / queries;
    state.counters["tool_start_ms"] =
        timings.toolStart * 1e3 / static_cast<double>(state.iterations());
    state.counters["x_sqlite3_tool"] = timings.ours / toolQuery;
    state.counters["x_sqlite3_tool_with_start"] = timings.ours / timings.tool;
}

void FullTable(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    FilledDatabase filled(rows);
    Timings timings;
    for (auto _ : state) {
        PersonnelTable table;
        const double seconds = secondsFor([&] { table = filled.database().ReadPersonnelTable(); });
        if (!table.result.ok() || table.entries.size() != static_cast<size_t>(rows)) {
            state.SkipWithError("the table was not read whole");
            return;
        }
        state.SetIterationTime(seconds);
        timings.ours += seconds;
        timings.tool += filled.toolSeconds("SELECT * FROM t_card_personal");
        timings.toolStart += filled.toolStartSeconds();
    }
    reportRatios(state, timings, 1);
}
BENCHMARK(FullTable)->Arg(1'000)->Arg(50'000)->UseManualTime()->Unit(benchmark::kMillisecond);

// Lookups of cards picked at random; the tool runs the same statements as a
// script.
void LookupPersonnelNumber(benchmark::State& state) {
    constexpr int kRows = 50'000;
    FilledDatabase filled(kRows);
    std::mt19937 random(11);
    std::uniform_int_distribution<int> card(1, kRows);
    std::vector<std::string> codes;
    const std::string script = filled.file().string() + ".sql";
    {
        std::ofstream out(script);
        for (int i = 0; i < kLookupsPerIteration; ++i) {
            codes.push_back(test::numberedCode(card(random)));
            out << "SELECT PersNum FROM t_card_personal WHERE Cardcode = '" << codes.back()
                << "';\n";
        }
    }

    Timings timings;
    for (auto _ : state) {
        bool found = true;
        const double seconds = secondsFor([&] {
            for (const std::string& code : codes)
                found = filled.database().LookupPersonnelNumber(code).personnelNumber && found;
        });
        if (!found) {
            state.SkipWithError("a card was not found");
            return;
        }
        state.SetIterationTime(seconds);
        timings.ours += seconds;
        timings.tool += filled.toolSeconds(".read " + script);
        timings.toolStart += filled.toolStartSeconds();
    }
    reportRatios(state, timings, kLookupsPerIteration);
}
BENCHMARK(LookupPersonnelNumber)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace pelvaro

BENCHMARK_MAIN();

// Writing the card list file, per row and as a ratio to writing the same bytes
// with plain fwrite, both measured in every iteration of the same run.

#include "bench/SecondsFor.h"
#include "list/CardListFile.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <random>
#include <unistd.h>

namespace pelvaro {
namespace {

// Numbered labels and 10-digit codes, as list mode collects them.
std::vector<CardListRow> numberedRows(int count) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> nibble(0, 15);
    std::vector<CardListRow> rows(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        char label[16];
        std::snprintf(label, sizeof label, "%04d", i + 1);
        std::string code(10, '0');
        for (char& digit : code)
            digit = "0123456789ABCDEF"[nibble(random)];
        rows[static_cast<size_t>(i)] = {label, std::move(code)};
    }
    return rows;
}

using bench::secondsFor;

bool fwriteFile(const std::filesystem::path& path, const std::string& content, bool sync) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    if (sync)
        written = written && std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
    return std::fclose(file) == 0 && written;
}

void ExportCardList(benchmark::State& state) {
    const auto rows = numberedRows(static_cast<int>(state.range(0)));
    const std::string content = cardListFileContent(rows);
    test::TempDir dir;
    const auto exportFile = dir.path() / "Karten.txt";
    const auto baselineFile = dir.path() / "fwrite.txt";

    double exportSeconds = 0;
    double buildSeconds = 0;
    double fwriteSeconds = 0;
    double fwriteSyncSeconds = 0;
    bool ok = true;
    for (auto _ : state) {
        const double seconds = secondsFor([&] { ok = writeCardListFile(exportFile, rows) && ok; });
        state.SetIterationTime(seconds);
        exportSeconds += seconds;
        buildSeconds += secondsFor([&] { benchmark::DoNotOptimize(cardListFileContent(rows)); });
        // A fresh file each time: truncating one makes ext4 flush it on close.
        std::filesystem::remove(baselineFile);
        fwriteSeconds += secondsFor([&] { ok = fwriteFile(baselineFile, content, false) && ok; });
        std::filesystem::remove(baselineFile);
        fwriteSyncSeconds +=
            secondsFor([&] { ok = fwriteFile(baselineFile, content, true) && ok; });
    }
    if (!ok) {
        state.SkipWithError("a file could not be written");
        return;
    }

    const double rowsWritten = static_cast<double>(rows.size() * state.iterations());
    state.counters["ns_per_row"] = exportSeconds * 1e9 / rowsWritten;
    state.counters["build_ns_per_row"] = buildSeconds * 1e9 / rowsWritten;
    state.counters["fwrite_ns_per_row"] = fwriteSeconds * 1e9 / rowsWritten;
    state.counters["x_fwrite"] = exportSeconds / fwriteSeconds;
    state.counters["x_fwrite_fsync"] = exportSeconds / fwriteSyncSeconds;
}
BENCHMARK(ExportCardList)
    ->Arg(10'000)
    ->Arg(100'000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace pelvaro

BENCHMARK_MAIN();

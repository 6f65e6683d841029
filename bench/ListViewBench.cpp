// Adding rows to the card list as list mode does, with automatic numbering,
// on the real main window (offscreen). Reported per row, and as a ratio to
// appending the same rows to a plain std::vector in the same run.

#include "app/ProgramWindows.h"
#include "forms/ui_MainDLG.h"
#include "list/CardList.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

namespace pelvaro {
namespace {

void AddRowsToTheList(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    test::TempDir dir;
    test::ScriptedDialogs dialogs;
    ProgramWindows windows(dialogs, locateFiles(dir.path()));
    windows.mainForm.show();
    windows.mainForm.controls().CheckBoxAutoNum->setChecked(true);
    CardList& cards = windows.mainForm.cardList();
    for (auto _ : state) {
        for (int row = 0; row < rows; ++row)
            cards.AddListEntry(QString::asprintf("%010X", row));
        QCoreApplication::processEvents(); // the list repaints once it is full
        state.PauseTiming();
        cards.clearEntries();
        state.ResumeTiming();
    }
    state.counters["us_per_row"] = benchmark::Counter(
        static_cast<double>(rows) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert, benchmark::Counter::kIs1000);
}
BENCHMARK(AddRowsToTheList)->Arg(10000)->Unit(benchmark::kMillisecond);

void AppendRowsToAVector(benchmark::State& state) {
    const int rows = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<std::pair<QString, QString>> list;
        for (int row = 0; row < rows; ++row)
            list.emplace_back(QString::asprintf("%04d", row), QString::asprintf("%010X", row));
        benchmark::DoNotOptimize(list.data());
    }
}
BENCHMARK(AppendRowsToAVector)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace pelvaro

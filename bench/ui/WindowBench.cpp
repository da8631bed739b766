// The window's main-thread cost of one recorded reading, with a table of 1 M and 10 M
// records behind it: the record appended, the grid's rows inserted and its newest row made
// current, and the repaint that follows. Counter `grid_MB`: how far the process's resident
// memory rose when the window took the loaded table (the grid's share; the table itself was
// built before).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QTest>
#include <fstream>

#include "bench/BenchTable.h"
#include "record/ReadingsTable.h"
#include "ui/AppState.h"
#include "ui/TFrmTest.h"

namespace {

std::size_t residentBytes() {
  long pages = 0;
  long resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return static_cast<std::size_t>(resident) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// The window as the program shows it, with `records` loaded (as "Open Data" does: one swap).
void BM_RecordOneReading(benchmark::State& state) {
  const int records = static_cast<int>(state.range(0));
  ostrel::AppState appState;
  ostrel::TFrmTest window(appState);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) state.SkipWithError("window not shown");
  std::size_t beforeSwap = 0;
  {
    ostrel::ReadingsTable loaded;
    ostrel::bench::fillTable(loaded, records, 0);
    beforeSwap = residentBytes();
    window.table().swapRecords(loaded);
  }
  QApplication::processEvents();
  const std::size_t afterSwap = residentBytes();
  std::int32_t no = records;
  for ([[maybe_unused]] auto _ : state) {
    ++no;
    window.table().append({no, (no % 86'400) * 1000, std::string("824.6"), std::string("M\xA6\xB8"),
                           std::string("IR:500V 20G\xA6\xB8"), std::string("Continuous")});
    QApplication::processEvents();  // the repaint the record asked for
  }
  state.counters["rows"] = static_cast<double>(window.table().recordCount());
  state.counters["grid_MB"] =
      (static_cast<double>(afterSwap) - static_cast<double>(beforeSwap)) / 1e6;
}
BENCHMARK(BM_RecordOneReading)
    ->ArgName("records")
    ->Arg(1'000'000)
    ->Arg(10'000'000)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200);

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

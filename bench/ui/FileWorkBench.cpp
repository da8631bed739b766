// The longest time the main thread does not turn its event loop while "Save Data" of 1 M
// records (packet), "Open Data" of that packet and the PDF of a 100,000-row report run on the
// worker thread: the window as the program wires it (grid, chart, report), the longest gap
// between two runs of a 0-ms timer. Counter `longest_block_ms`; goal at most 50 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <memory>

#include "bench/BenchTable.h"
#include "record/ReadingsTable.h"
#include "tests/ui/StubDialogs.h"
#include "ui/AppState.h"
#include "ui/ReportAndChart.h"
#include "ui/TFrmTest.h"
#include "ui/report/ReadingsTableDataSet.h"
#include "ui/report/ReportLayout.h"
#include "ui/report/ReportPreview.h"
#include "ui/report/TestDataReport.h"

namespace {

using Clock = std::chrono::steady_clock;

// Measures the gaps between turns of the event loop while it lives.
class LoopWatch {
 public:
  LoopWatch() {
    m_timer.setInterval(0);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
      const Clock::time_point now = Clock::now();
      m_longest = std::max(m_longest, now - m_last);
      m_last = now;
    });
    m_last = Clock::now();
    m_timer.start();
  }
  [[nodiscard]] double longestMs() {
    m_longest = std::max(m_longest, Clock::now() - m_last);
    return std::chrono::duration<double, std::milli>(m_longest).count();
  }

 private:
  QTimer m_timer;
  Clock::time_point m_last;
  Clock::duration m_longest{};
};

struct Window {
  Window()
      : window(state, std::make_unique<ostrel::test::StubDialogs>(dialogs)),
        reportAndChart(window, state) {
    ostrel::ReadingsTable loaded;
    ostrel::bench::fillTable(loaded, 1'000'000, 0);
    window.table().swapRecords(loaded);
    window.show();
    QApplication::processEvents();
  }
  ostrel::AppState state;
  ostrel::test::DialogLog dialogs;
  ostrel::TFrmTest window;
  ostrel::ReportAndChart reportAndChart;
};

const QString packetPath() {
  return QDir::temp().filePath(QStringLiteral("ostrel-filework-bench.xml"));
}

// Runs `operation` once per iteration and reports the longest gap between two turns of the
// event loop meanwhile as `longest_block_ms`.
template <typename Operation>
void measureLongestBlock(benchmark::State& state, Operation operation) {
  double longest = 0;
  for ([[maybe_unused]] auto _ : state) {
    LoopWatch watch;
    operation();
    longest = std::max(longest, watch.longestMs());
  }
  state.counters["longest_block_ms"] = longest;
}

void BM_SavePacketBlock(benchmark::State& state) {
  Window w;
  w.dialogs.saveAnswer = packetPath();
  measureLongestBlock(state, [&] { w.window.Save_asClick(); });
}
BENCHMARK(BM_SavePacketBlock)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_LoadPacketBlock(benchmark::State& state) {
  Window w;
  w.dialogs.saveAnswer = packetPath();
  w.window.Save_asClick();
  w.dialogs.openAnswer = packetPath();
  measureLongestBlock(state, [&] { w.window.OpenClick(); });
  state.counters["records"] = static_cast<double>(w.window.table().recordCount());
  QFile::remove(packetPath());
}
BENCHMARK(BM_LoadPacketBlock)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BM_PdfReportBlock(benchmark::State& state) {
  Window w;
  ostrel::ReadingsTableDataSet rows(w.window.table());
  const ostrel::ReportLayout layout(rows, ostrel::reportTextsNow(QStringLiteral("2703")));
  ostrel::ReportPreviewDialogs dialogs = ostrel::ReportPreviewDialogs::standard();
  const QString pdf = QDir::temp().filePath(QStringLiteral("ostrel-filework-bench.pdf"));
  // NOLINTNEXTLINE(performance-no-automatic-move): a captured name, returned as a copy anyway
  dialogs.saveFileName = [&](QWidget*, const QString&, const QString&) { return pdf; };
  ostrel::ReportPreview preview(layout, &w.window, dialogs);
  // The report's first 100,000 rows: the snapshot takes as many as it is asked for.
  preview.setBackgroundWork(&w.window.fileWork(), [maker = w.reportAndChart.reportSnapshots()](
                                                      int) { return maker(100'000); });
  measureLongestBlock(state, [&] { preview.saveAs(ostrel::ReportFormat::Pdf); });
  QFile::remove(pdf);
}
BENCHMARK(BM_PdfReportBlock)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

// The window's views of a large table: the grid model's row fetch at a million records, and the
// test data report's page total and first page at 100,000 records.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "bench/BenchTable.h"
#include "record/ReadingsTable.h"
#include "ui/ReadingsGridModel.h"
#include "ui/report/ReadingsTableDataSet.h"
#include "ui/report/ReportLayout.h"
#include "ui/report/ReportPainter.h"
#include "ui/report/TestDataReport.h"

namespace {

using ostrel::ReadingsTable;

constexpr int million = 1'000'000;
constexpr int reportRecords = 100'000;
constexpr int visibleRows = 20;  // the grid's rows on screen at the window's size

// Built once per size and kept: filling a million records takes a third of a second.
ReadingsTable& tableOf(int records) {
  static ReadingsTable large;
  static ReadingsTable report;
  ReadingsTable& table = records == million ? large : report;
  if (table.recordCount() == 0) ostrel::bench::fillTable(table, records, 0);
  return table;
}

// What the grid asks for when it paints a screenful: every visible cell's display text, at
// the top (arg 0), the middle (1) or the end (2) of a million records.
void BM_GridRowFetch(benchmark::State& state) {
  ostrel::ReadingsGridModel model(tableOf(million));
  const int rows = model.rowCount();
  const int first = state.range(0) == 0 ? 0 : state.range(0) == 1 ? rows / 2 : rows - visibleRows;
  for ([[maybe_unused]] auto _ : state) {
    for (int row = first; row < first + visibleRows; ++row) {
      for (int column = 0; column < model.columnCount(); ++column) {
        benchmark::DoNotOptimize(model.data(model.index(row, column), Qt::DisplayRole));
      }
    }
  }
  state.counters["rows"] = rows;
  state.SetItemsProcessed(state.iterations() * visibleRows);
}
BENCHMARK(BM_GridRowFetch)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Print Data up to the preview: ReportPageTotal from the record count, the Allpage caption,
// and the report laid out on demand (its page count known).
void BM_ReportPageTotal(benchmark::State& state) {
  ostrel::ReadingsTableDataSet cds1(tableOf(reportRecords));
  std::int32_t ReportPageTotal = 0;
  ostrel::TestDataReport report(cds1, ReportPageTotal);
  int pages = 0;
  for ([[maybe_unused]] auto _ : state) {
    // NOLINTNEXTLINE(clang-analyzer-deadcode.DeadStores): the report reads it by reference
    ReportPageTotal = ostrel::TestDataReport::pageTotalFor(cds1.rowCount());
    const ostrel::ReportLayout layout = report.generate();
    pages = layout.pageCount();
    benchmark::DoNotOptimize(pages);
  }
  state.counters["pages"] = pages;
}
BENCHMARK(BM_ReportPageTotal)->Unit(benchmark::kMicrosecond);

// The first page as the preview shows it: laid out and painted on an A4 image at the
// screen's 96 dpi.
void BM_ReportFirstPage(benchmark::State& state) {
  ostrel::ReadingsTableDataSet cds1(tableOf(reportRecords));
  std::int32_t ReportPageTotal = ostrel::TestDataReport::pageTotalFor(cds1.rowCount());
  ostrel::TestDataReport report(cds1, ReportPageTotal);
  const ostrel::ReportLayout layout = report.generate();
  constexpr double dotsPerMm = 96.0 / 25.4;
  QImage image(static_cast<int>(210 * dotsPerMm), static_cast<int>(297 * dotsPerMm),
               QImage::Format_RGB32);
  for ([[maybe_unused]] auto _ : state) {
    const std::vector<ostrel::ReportElement> page = layout.page(1);
    image.fill(Qt::white);
    QPainter painter(&image);
    ostrel::paintReportPage(painter, page, dotsPerMm);
  }
}
BENCHMARK(BM_ReportFirstPage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);  // fonts for the report's painting
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

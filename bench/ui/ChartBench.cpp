// The trend chart at the scale the record limit "Limitless" allows: showing one page (what
// paging, or typing a points-per-page number, costs the window) and recording one reading,
// at one and ten million records, with 100 points per page and with 0 (one page).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <memory>
#include <string>

#include "ui/chart/ChartGeometry.h"
#include "ui/chart/ChartPlotView.h"
#include "ui/chart/Chtshow.h"

namespace {

using ostrel::Chtshow;

constexpr int million = 1'000'000;
const char* const megohm = "M\xA6\xB8";

// A chart that recorded `records` readings: resistance creeping up with noise, an overload
// every 97th and a voltage reading every 1000th. Built once per size and kept.
Chtshow& chartOf(int records) {
  static ostrel::ChartGeometry saved;
  static std::unique_ptr<Chtshow> one;
  static std::unique_ptr<Chtshow> ten;
  std::unique_ptr<Chtshow>& chart = records == million ? one : ten;
  if (!chart) {
    chart = std::make_unique<Chtshow>(saved, ".");
    chart->resize(361, 209);
    for (int i = 0; i < records; ++i) {
      if (i % 97 == 0) {
        chart->plotReading("OL", megohm);
      } else if (i % 1000 == 0) {
        chart->plotReading("512", "V");
      } else {
        const std::string value =
            std::to_string(100 + (i / 1000) % 800) + "." + std::to_string((i * 7919) % 10);
        chart->plotReading(value, megohm);
      }
    }
  }
  return *chart;
}

void setPointsPerPage(Chtshow& chart, int pointsPerPage) {
  chart.findChild<QLineEdit*>(QStringLiteral("Maxrecord"))->setText(QString::number(pointsPerPage));
}

// Paints the plot as the window does when it shows it.
void paintPlot(Chtshow& chart, QImage& image) {
  QPainter painter(&image);
  chart.plotView()->render(&painter);
}

// Showing a page: the page is chosen (the middle one, then the last, in turn) and the plot
// painted. Args: records, points per page.
void BM_ChartShowPage(benchmark::State& state) {
  Chtshow& chart = chartOf(static_cast<int>(state.range(0)));
  const int pointsPerPage = static_cast<int>(state.range(1));
  setPointsPerPage(chart, pointsPerPage);
  const std::int32_t last = chart.model().pageCount();
  QImage image(chart.plotView()->size(), QImage::Format_RGB32);
  bool middle = true;
  for ([[maybe_unused]] auto _ : state) {
    chart.showPageNumber(middle ? (last + 1) / 2 : last);
    middle = !middle;
    paintPlot(chart, image);
  }
  state.counters["pages"] = last;
}
BENCHMARK(BM_ChartShowPage)
    ->Args({million, 100})
    ->Args({million, 0})
    ->Args({std::int64_t{10} * million, 100})
    ->Args({std::int64_t{10} * million, 0})
    ->Unit(benchmark::kMillisecond);

// Recording one reading while the chart shows the last page, and painting it. Args:
// records, points per page.
void BM_ChartRecordReading(benchmark::State& state) {
  Chtshow& chart = chartOf(static_cast<int>(state.range(0)));
  setPointsPerPage(chart, static_cast<int>(state.range(1)));
  chart.BTlastClick();
  QImage image(chart.plotView()->size(), QImage::Format_RGB32);
  for ([[maybe_unused]] auto _ : state) {
    chart.plotReading("824.6", megohm);
    paintPlot(chart, image);
  }
}
BENCHMARK(BM_ChartRecordReading)
    ->Args({million, 100})
    ->Args({million, 0})
    ->Args({std::int64_t{10} * million, 100})
    ->Args({std::int64_t{10} * million, 0})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);  // fonts for the chart's painting
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

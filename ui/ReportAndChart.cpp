#include "ReportAndChart.h"

#include <algorithm>
#include <memory>

#include "record/GbkText.h"
#include "record/TableFiles.h"
#include "record/chart/ChartReadings.h"
#include "ui/TFrmTest.h"
#include "ui/TestsWindow.h"
#include "ui/chart/ChartPlacement.h"
#include "ui/chart/Chtshow.h"
#include "ui/report/ReadingsTableDataSet.h"
#include "ui/report/ReportPreview.h"
#include "ui/work/BackgroundWork.h"

namespace ostrel {

namespace {

// A plotted reading's tool tip: its No and Time as the grid shows them, and its value.
QString describeReading(const ReadingsTable& cds1, std::size_t row) {
  if (row >= cds1.recordCount()) return {};
  GbkConverter gbk;
  return QStringLiteral("No %1\nTime %2\n%3 %4")
      .arg(readingsCellText(cds1, row, ReadingsTable::No, gbk),
           readingsCellText(cds1, row, ReadingsTable::Time, gbk),
           readingsCellText(cds1, row, ReadingsTable::Value, gbk),
           readingsCellText(cds1, row, ReadingsTable::Unit, gbk));
}

// The first records of cds1 copied for a report written on a worker thread: the copy is read
// through its own data set there, never cds1.
class TableSnapshot final : public ReportRowsSnapshot {
 public:
  TableSnapshot(const ReadingsTable& cds1, int rowCount)
      : m_source(cds1),
        m_count(std::min(cds1.recordCount(), static_cast<std::size_t>(std::max(rowCount, 0)))) {}

  bool copySlice() override {
    constexpr std::size_t slice = 16384;  // a few milliseconds of the main thread
    const std::size_t first = m_copy.recordCount();
    copyRecords(m_source, first, std::min(slice, m_count - first), m_copy);
    return m_copy.recordCount() >= m_count;
  }
  [[nodiscard]] const ReportRows& rows() const override { return m_rows; }

 private:
  const ReadingsTable& m_source;
  std::size_t m_count;
  ReadingsTable m_copy;
  ReadingsTableDataSet m_rows{m_copy};
};

}  // namespace

ReportAndChart::ReportAndChart(TFrmTest& window, AppState& state)
    : m_window(window),
      m_cds1(window.table()),
      m_reportData(m_cds1),
      QuickRep1(m_reportData, state.ReportPageTotal),
      m_chart(new Chtshow(state.savedChartGeometry, state.DecimalSeparatorText)) {
  m_window.setChart(m_chart);
  // Enlarging works in what the user sees of the scrolled content.
  m_chart->setPlacement(
      std::make_unique<WidgetChartPlacement>(*m_chart, m_window.clientViewport()));
  m_chart->setPointDescriber([this](std::size_t row) { return describeReading(m_cds1, row); });
  // The preview saves and prints on the window's worker, over a snapshot of cds1.
  QuickRep1.setPreviewRunner([this](const ReportLayout& layout, QWidget* parent) {
    ReportPreview preview(layout, parent);
    preview.setBackgroundWork(&m_window.fileWork(), reportSnapshots());
    preview.exec();
  });
  m_window.setPrintHandler([this] { QuickRep1.MajPrintClick(m_window); });
  // A loaded table is traced for the chart on the load's thread, beside the load: on the main
  // thread only the readings recorded meanwhile are added to the trace.
  m_window.setLoadedTablePreparer(
      [chart = m_chart, separator = state.DecimalSeparatorText](const ReadingsTable& loaded) {
        auto trace = std::make_shared<ChartTrace>();
        chartTraceOf(loaded, separator, *trace);
        return [chart, separator, trace](const ReadingsTable& final) {
          for (std::size_t row = trace->size(); row < final.recordCount(); ++row) {
            trace->append(chartQuantity(final.text(row, ReadingsTable::Value),
                                        final.text(row, ReadingsTable::Unit), separator));
          }
          chart->adoptTableTrace(std::move(*trace));
        };
      });
  QuickRep1.setSummarySource([this] {
    const TestsWindow* tests = m_window.testsWindow();
    return tests != nullptr ? tests->reportSummary() : std::nullopt;
  });
  m_cds1.addObserver(this);
}

ReportSnapshotMaker ReportAndChart::reportSnapshots() {
  return [this](int rowCount) -> std::unique_ptr<ReportRowsSnapshot> {
    return std::make_unique<TableSnapshot>(m_cds1, rowCount);
  };
}

ReportAndChart::~ReportAndChart() {
  m_cds1.removeObserver(this);
  m_window.setPrintHandler({});
  m_window.setLoadedTablePreparer({});
}

void ReportAndChart::recordsAppended(std::size_t first, std::size_t count) {
  for (std::size_t row = first; row < first + count; ++row) {
    m_chart->plotReading(m_cds1.text(row, ReadingsTable::Value),
                         m_cds1.text(row, ReadingsTable::Unit));
  }
}

void ReportAndChart::tableReset() { m_chart->plotTable(m_cds1); }

}  // namespace ostrel

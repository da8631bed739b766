#include "ReportAndChart.h"

#include <memory>

#include "record/GbkText.h"
#include "ui/TFrmTest.h"
#include "ui/TestsWindow.h"
#include "ui/chart/ChartPlacement.h"
#include "ui/chart/Chtshow.h"
#include "ui/report/ReadingsTableDataSet.h"

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
  m_window.setPrintHandler([this] { QuickRep1.MajPrintClick(m_window); });
  QuickRep1.setSummarySource([this] {
    const TestsWindow* tests = m_window.testsWindow();
    return tests != nullptr ? tests->reportSummary() : std::nullopt;
  });
  m_cds1.addObserver(this);
}

ReportAndChart::~ReportAndChart() {
  m_cds1.removeObserver(this);
  m_window.setPrintHandler({});
}

void ReportAndChart::recordsAppended(std::size_t first, std::size_t count) {
  for (std::size_t row = first; row < first + count; ++row) {
    m_chart->plotReading(m_cds1.text(row, ReadingsTable::Value),
                         m_cds1.text(row, ReadingsTable::Unit));
  }
}

void ReportAndChart::tableReset() { m_chart->plotTable(m_cds1); }

}  // namespace ostrel

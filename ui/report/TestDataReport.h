#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "ui/report/ReportDataSet.h"
#include "ui/report/ReportLayout.h"

class QWidget;

namespace ostrel {

// QuickRep1, the test data report of the main window, with the Print Data handlers.
// Owned by the main window and living as long as it; bound to the readings table and to
// the program-wide ReportPageTotal, both of which must outlive it. Main thread only.
class TestDataReport {
 public:
  // Shows the generated report and returns when the user has closed it. Runs a nested
  // event loop meanwhile, so the window and the meter link keep working.
  using PreviewRunner = std::function<void(const ReportLayout& layout, QWidget* parent)>;
  // Shows an error the preview let escape.
  using ErrorReporter = std::function<void(QWidget* parent, const QString& message)>;
  // The test summary to print after the readings, asked at each generation; none when the
  // user did not ask for one.
  using SummarySource = std::function<std::optional<TestSummary>()>;

  TestDataReport(ReportDataSet& cds1, std::int32_t& ReportPageTotal);

  // The Print Data click: ReportPageTotal := the page total of the table's records; the
  // grid is detached while the preview is open; then the whole window is repainted and
  // the grid re-attached (also when the preview fails). Returns when the preview closed.
  void MajPrintClick(QWidget& window);

  // Before each generation: the Allpage caption := ReportPageTotal in decimal. Leaves
  // printReport as it is (the report is always generated).
  void QuickRep1BeforePrint(bool& printReport);

  // Generates the report from the records the table holds now: calls
  // QuickRep1BeforePrint, takes today's date in the system's short date format and lays
  // the pages out on demand, followed by the summary source's test summary when it gives
  // one. The layout reads the table while it is used.
  [[nodiscard]] ReportLayout generate();

  [[nodiscard]] const QString& allpageCaption() const { return m_allpageCaption; }

  void setPreviewRunner(PreviewRunner runner) { m_previewRunner = std::move(runner); }
  void setErrorReporter(ErrorReporter reporter) { m_errorReporter = std::move(reporter); }
  void setSummarySource(SummarySource source) { m_summarySource = std::move(source); }

  // 1 for up to 37 records; otherwise n / 37, plus 1 when a remainder is left.
  [[nodiscard]] static std::int32_t pageTotalFor(std::int64_t recordCount);

 private:
  ReportDataSet& m_cds1;
  std::int32_t& m_reportPageTotal;
  QString m_allpageCaption = QStringLiteral("Allpage");
  PreviewRunner m_previewRunner;
  ErrorReporter m_errorReporter;
  SummarySource m_summarySource;
};

// The texts of one generation: today's date in the system's short date format, the
// given Allpage caption and the application's tooltip-text colour (black without one).
ReportTexts reportTextsNow(const QString& allpageCaption);

}  // namespace ostrel

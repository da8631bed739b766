#include "ui/report/TestDataReport.h"

#include <QDate>
#include <QGuiApplication>
#include <QLocale>
#include <QMessageBox>
#include <QPalette>
#include <QWidget>
#include <exception>

#include "ui/report/ReportGeometry.h"
#include "ui/report/ReportPreview.h"

namespace ostrel {

namespace {

// Detaches the data set's controls for its lifetime; re-attaches on every way out.
class ControlsDetached {
 public:
  explicit ControlsDetached(ReportDataSet& dataSet) : m_dataSet(dataSet) {
    m_dataSet.DisableControls();
  }
  ~ControlsDetached() { m_dataSet.EnableControls(); }
  ControlsDetached(const ControlsDetached&) = delete;
  ControlsDetached& operator=(const ControlsDetached&) = delete;

 private:
  ReportDataSet& m_dataSet;
};

void showPreview(const ReportLayout& layout, QWidget* parent) {
  ReportPreview preview(layout, parent);
  preview.exec();
}

void showError(QWidget* parent, const QString& message) {
  QMessageBox::critical(parent, QStringLiteral("Error"), message);
}

}  // namespace

ReportTexts reportTextsNow(const QString& allpageCaption) {
  ReportTexts texts;
  texts.printDate = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
  texts.allPageCaption = allpageCaption;
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    texts.toolTipTextColor = QGuiApplication::palette().color(QPalette::ToolTipText);
  }
  return texts;
}

TestDataReport::TestDataReport(ReportDataSet& cds1, std::int32_t& ReportPageTotal)
    : m_cds1(cds1),
      m_reportPageTotal(ReportPageTotal),
      m_previewRunner(showPreview),
      m_errorReporter(showError) {}

std::int32_t TestDataReport::pageTotalFor(std::int64_t recordCount) {
  if (recordCount <= report::rowsPerPage) return 1;
  const std::int64_t whole = recordCount / report::rowsPerPage;
  return static_cast<std::int32_t>(whole + (recordCount % report::rowsPerPage != 0 ? 1 : 0));
}

void TestDataReport::QuickRep1BeforePrint(bool& /*printReport*/) {
  m_allpageCaption = QString::number(m_reportPageTotal);
}

ReportLayout TestDataReport::generate() {
  bool printReport = true;
  QuickRep1BeforePrint(printReport);
  return ReportLayout(m_cds1, reportTextsNow(m_allpageCaption),
                      m_summarySource ? m_summarySource() : std::nullopt);
}

void TestDataReport::MajPrintClick(QWidget& window) {
  m_reportPageTotal = pageTotalFor(m_cds1.rowCount());
  {
    const ControlsDetached detached(m_cds1);
    try {
      const ReportLayout layout = generate();
      m_previewRunner(layout, &window);
    } catch (const std::exception& e) {
      m_errorReporter(&window, QString::fromLocal8Bit(e.what()));
    }
    window.update();
  }
}

}  // namespace ostrel

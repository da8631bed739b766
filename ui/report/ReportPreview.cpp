#include "ui/report/ReportPreview.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QPrinter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/report/ReportGeometry.h"
#include "ui/report/ReportLayout.h"
#include "ui/report/ReportPageView.h"
#include "ui/report/ReportPrinting.h"
#include "ui/work/BackgroundWork.h"

namespace ostrel {

namespace {

constexpr double zoomStep = 1.25;

struct FormatChoice {
  const char* caption;
  const char* filter;
  const char* extension;
};

FormatChoice formatChoice(ReportFormat format) {
  switch (format) {
    case ReportFormat::Pdf:
      return {"Save Report", "PDF report (*.pdf)", "pdf"};
    case ReportFormat::Html:
      return {"Export as HTML", "HTML document (*.html *.htm)", "html"};
    case ReportFormat::Text:
      return {"Export as Text", "Text file (*.txt)", "txt"};
    case ReportFormat::Csv:
      return {"Export as CSV", "Comma-separated text (*.csv)", "csv"};
  }
  return {"Save Report", "PDF report (*.pdf)", "pdf"};
}

}  // namespace

ReportPreview::ReportPreview(const ReportLayout& layout, QWidget* parent,
                             ReportPreviewDialogs dialogs)
    : QDialog(parent), m_layout(layout), m_dialogs(std::move(dialogs)) {
  setWindowTitle(QStringLiteral("Print Preview"));
  setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
  m_view = new ReportPageView(layout);
  m_scroll = new QScrollArea;
  m_scroll->setWidget(m_view);
  m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  m_scroll->setBackgroundRole(QPalette::Dark);

  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  buildToolBar();
  box->addWidget(m_scroll, 1);

  const QRect available = QGuiApplication::primaryScreen() != nullptr
                              ? QGuiApplication::primaryScreen()->availableGeometry()
                              : QRect(0, 0, 1024, 768);
  resize(std::min(available.width(), m_view->sizeHint().width() + 40),
         std::min(available.height() - 40, m_view->sizeHint().height() + 80));
  m_view->resize(m_view->sizeHint());
  pageShown();
}

void ReportPreview::buildToolBar() {
  auto* bar = new QToolBar(this);
  layout()->addWidget(bar);
  const auto add = [this, bar](const QString& text, const QKeySequence& key, auto slot) {
    QAction* action = bar->addAction(text, this, slot);
    if (!key.isEmpty()) action->setShortcut(key);
    return action;
  };
  add(QStringLiteral("First"), QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { showPage(1); });
  add(QStringLiteral("Prior"), QKeySequence(Qt::Key_PageUp),
      [this] { showPage(pageNumber() - 1); });
  m_pageBox = new QSpinBox(bar);
  m_pageBox->setRange(1, m_layout.pageCount());
  m_pageBox->setSuffix(QStringLiteral(" of %1").arg(m_layout.pageCount()));
  m_pageBox->setKeyboardTracking(false);
  connect(m_pageBox, &QSpinBox::valueChanged, this, &ReportPreview::showPage);
  bar->addWidget(m_pageBox);
  add(QStringLiteral("Next"), QKeySequence(Qt::Key_PageDown),
      [this] { showPage(pageNumber() + 1); });
  add(QStringLiteral("Last"), QKeySequence(Qt::CTRL | Qt::Key_End),
      [this] { showPage(m_layout.pageCount()); });
  bar->addSeparator();
  add(QStringLiteral("Zoom Out"), QKeySequence(QKeySequence::ZoomOut), [this] { zoomOut(); });
  m_zoomLabel = new QLabel(bar);
  m_zoomLabel->setMinimumWidth(
      m_zoomLabel->fontMetrics().horizontalAdvance(QStringLiteral("0000%")));
  m_zoomLabel->setAlignment(Qt::AlignCenter);
  bar->addWidget(m_zoomLabel);
  add(QStringLiteral("Zoom In"), QKeySequence(QKeySequence::ZoomIn), [this] { zoomIn(); });
  add(QStringLiteral("Page Width"), QKeySequence(), [this] { fitWidth(); });
  bar->addSeparator();
  add(QStringLiteral("Print..."), QKeySequence(QKeySequence::Print),
      [this] { printReportPages(); });
  add(QStringLiteral("Save..."), QKeySequence(QKeySequence::Save),
      [this] { saveAs(ReportFormat::Pdf); });
  auto* exportMenu = new QMenu(bar);
  exportMenu->addAction(QStringLiteral("HTML Document..."), this,
                        [this] { saveAs(ReportFormat::Html); });
  exportMenu->addAction(QStringLiteral("Text File..."), this,
                        [this] { saveAs(ReportFormat::Text); });
  exportMenu->addAction(QStringLiteral("Comma-Separated Text..."), this,
                        [this] { saveAs(ReportFormat::Csv); });
  auto* exportButton = new QToolButton(bar);
  exportButton->setText(QStringLiteral("Export"));
  exportButton->setMenu(exportMenu);
  exportButton->setPopupMode(QToolButton::InstantPopup);
  bar->addWidget(exportButton);
  bar->addSeparator();
  add(QStringLiteral("Close"), QKeySequence(), [this] { reject(); });
}

int ReportPreview::pageNumber() const { return m_view->pageNumber(); }

double ReportPreview::zoom() const { return m_view->zoom(); }

void ReportPreview::showPage(int number) {
  m_view->setPageNumber(number);
  pageShown();
  m_scroll->verticalScrollBar()->setValue(0);
}

void ReportPreview::setZoom(double zoom) {
  m_view->setZoom(zoom);
  pageShown();
}

void ReportPreview::zoomIn() { setZoom(zoom() * zoomStep); }

void ReportPreview::zoomOut() { setZoom(zoom() / zoomStep); }

void ReportPreview::fitWidth() {
  const double naturalWidth = report::pageWidthMm * m_view->logicalDpiX() / 25.4;
  const int available = m_scroll->viewport()->width() - 2 * 12;
  if (available > 0) setZoom(available / naturalWidth);
}

void ReportPreview::pageShown() {
  const QSignalBlocker blocker(m_pageBox);
  m_pageBox->setValue(pageNumber());
  m_zoomLabel->setText(QStringLiteral("%1%").arg(qRound(zoom() * 100)));
}

void ReportPreview::setBackgroundWork(BackgroundWork* work, ReportSnapshotMaker maker) {
  m_work = work;
  m_snapshotMaker = std::move(maker);
}

bool ReportPreview::runOnWorker(
    const QString& title, const QString& label,
    std::function<bool(const ReportLayout& layout, WorkProgress& progress)> write,
    std::function<void(bool ok, bool cancelled)> done) {
  if (!m_work || !m_snapshotMaker || m_work->busy()) return false;
  std::shared_ptr<ReportRowsSnapshot> snapshot = m_snapshotMaker(m_layout.rowCount());
  auto ok = std::make_shared<bool>(false);
  BackgroundWork::Job job;
  job.threadName = "ostrel-report";
  job.title = title;
  job.label = label;
  job.dialogParent = this;
  job.prepare = [snapshot] { return snapshot->copySlice(); };
  // The worker's layout is the preview's over the snapshot: the same texts and the same test
  // summary, so that the file and the paper hold every page the preview shows.
  job.run = [snapshot, ok, texts = m_layout.texts(), summary = m_layout.testSummary(),
             write = std::move(write)](WorkProgress& progress) {
    const ReportLayout layout(snapshot->rows(), texts, summary);
    *ok = write(layout, progress);
  };
  job.finished = [ok, done = std::move(done)](bool cancelled) { done(*ok, cancelled); };
  return m_work->runAndWait(std::move(job));
}

void ReportPreview::printReportPages() {
  auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
  prepareReportPrinter(*printer, m_layout.pageCount());
  if (!m_dialogs.setUpPrinter(*printer, m_layout.pageCount(), this)) return;
  const auto failed = [this] {
    m_dialogs.showError(this, QStringLiteral("The printer could not be started."));
  };
  // The printer is handed to the worker and used there only until the job ends.
  const bool started = runOnWorker(
      QStringLiteral("Print"), QStringLiteral("Printing %1 pages").arg(m_layout.pageCount()),
      [printer](const ReportLayout& layout, WorkProgress& progress) {
        return printReport(*printer, layout, [&progress](int page, int pages) {
          return progress.report(static_cast<std::uint64_t>(page),
                                 static_cast<std::uint64_t>(pages));
        });
      },
      [failed](bool ok, bool cancelled) {
        if (!ok && !cancelled) failed();
      });
  if (!started && !printReport(*printer, m_layout)) failed();
}

void ReportPreview::saveAs(ReportFormat format) {
  const FormatChoice choice = formatChoice(format);
  QString fileName = m_dialogs.saveFileName(this, QString::fromLatin1(choice.caption),
                                            QString::fromLatin1(choice.filter));
  if (fileName.isEmpty()) return;
  if (QFileInfo(fileName).suffix().isEmpty())
    fileName += QLatin1Char('.') + QLatin1String(choice.extension);
  auto result = std::make_shared<Result<>>();
  const bool started = runOnWorker(
      QString::fromLatin1(choice.caption),
      QStringLiteral("Writing %1 (%2 pages)")
          .arg(QFileInfo(fileName).fileName())
          .arg(m_layout.pageCount()),
      [result, format, fileName](const ReportLayout& layout, WorkProgress& progress) {
        *result = exportReport(layout, format, fileName, [&progress](int page, int pages) {
          return progress.report(static_cast<std::uint64_t>(page - 1),
                                 static_cast<std::uint64_t>(pages));
        });
        return result->ok();
      },
      [](bool, bool) {});
  if (!started) *result = exportReport(m_layout, format, fileName);
  if (!result->ok() && !result->cancelled()) {
    m_dialogs.showError(
        this, fileName + QStringLiteral(": ") + QString::fromLocal8Bit(result->message()));
  }
}

}  // namespace ostrel

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <stdexcept>

#include "FakeDataSet.h"
#include "record/ReadingsTable.h"
#include "ui/report/ReportExport.h"
#include "ui/report/ReportGeometry.h"
#include "ui/report/ReportPageView.h"
#include "ui/report/ReportPreview.h"
#include "ui/report/TestDataReport.h"
#include "ui/work/BackgroundWork.h"

namespace ostrel {
namespace {

QString footerTotal(const ReportLayout& layout, int page) {
  for (const ReportElement& e : layout.page(page)) {
    if (e.name == QLatin1String("Allpage")) return e.text;
  }
  return {};
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  int paints = 0;
};

// A data set that counts how many cells are read.
class CountingDataSet : public test::FakeDataSet {
 public:
  using FakeDataSet::FakeDataSet;
  [[nodiscard]] QString cell(int row, int column) const override {
    ++reads;
    return FakeDataSet::cell(row, column);
  }
  mutable int reads = 0;
};

TEST(MajPrintClick, EachRequestShowsTheTotalOfItsOwnTable) {
  test::FakeDataSet data(38);
  std::int32_t ReportPageTotal = 1;
  TestDataReport QuickRep1(data, ReportPageTotal);
  std::vector<std::pair<int, QString>> shown;
  QuickRep1.setPreviewRunner([&shown](const ReportLayout& layout, QWidget*) {
    shown.emplace_back(layout.pageCount(), footerTotal(layout, layout.pageCount()));
  });
  QWidget window;
  QuickRep1.MajPrintClick(window);
  EXPECT_EQ(ReportPageTotal, 2);
  for (int i = 0; i < 37; ++i) data.addRow({"x"});  // 75 records
  QuickRep1.MajPrintClick(window);
  EXPECT_EQ(ReportPageTotal, 3);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0], std::make_pair(2, QStringLiteral("2")));
  EXPECT_EQ(shown[1], std::make_pair(3, QStringLiteral("3")));
}

TEST(MajPrintClick, DetachesTheGridWhilePreviewingAndReattachesAfterFailure) {
  test::FakeDataSet data(5);
  std::int32_t ReportPageTotal = 1;
  TestDataReport QuickRep1(data, ReportPageTotal);
  QWidget window;
  bool detachedDuringPreview = false;
  QuickRep1.setPreviewRunner([&](const ReportLayout&, QWidget* parent) {
    detachedDuringPreview = data.disabled == 1 && data.enabled == 0 && parent == &window;
  });
  QuickRep1.MajPrintClick(window);
  EXPECT_TRUE(detachedDuringPreview);
  EXPECT_EQ(data.enabled, 1);

  QString error;
  QuickRep1.setPreviewRunner(
      [](const ReportLayout&, QWidget*) { throw std::runtime_error("no paper"); });
  QuickRep1.setErrorReporter([&error](QWidget*, const QString& message) { error = message; });
  QuickRep1.MajPrintClick(window);
  EXPECT_EQ(error, QStringLiteral("no paper"));
  EXPECT_EQ(data.disabled, 2);
  EXPECT_EQ(data.enabled, 2);
}

TEST(MajPrintClick, RepaintsTheWholeWindowAfterThePreview) {
  test::FakeDataSet data(1);
  std::int32_t ReportPageTotal = 1;
  TestDataReport QuickRep1(data, ReportPageTotal);
  QuickRep1.setPreviewRunner([](const ReportLayout&, QWidget*) {});
  QWidget window;
  window.resize(200, 100);
  window.show();
  QCoreApplication::processEvents();
  PaintCounter counter;
  window.installEventFilter(&counter);
  QuickRep1.MajPrintClick(window);
  QCoreApplication::processEvents();
  EXPECT_GE(counter.paints, 1);
}

TEST(QuickRep1BeforePrint, SetsAllpageToThePageTotalInDecimal) {
  test::FakeDataSet data(0);
  std::int32_t ReportPageTotal = 1;
  TestDataReport QuickRep1(data, ReportPageTotal);
  EXPECT_EQ(QuickRep1.allpageCaption(), QStringLiteral("Allpage"));
  ReportPageTotal = 2703;
  bool printReport = true;
  QuickRep1.QuickRep1BeforePrint(printReport);
  EXPECT_TRUE(printReport);
  EXPECT_EQ(QuickRep1.allpageCaption(), QStringLiteral("2703"));
  EXPECT_EQ(footerTotal(QuickRep1.generate(), 1), QStringLiteral("2703"));
}

TEST(ReportPreview, OpensAsModalWindowWhileTheEventLoopRuns) {
  test::FakeDataSet data(40);
  std::int32_t ReportPageTotal = 1;
  TestDataReport QuickRep1(data, ReportPageTotal);
  QWidget window;
  int ticks = 0;
  QTimer recorder;  // stands for the meter link: keeps running during the preview
  QObject::connect(&recorder, &QTimer::timeout, [&ticks] { ++ticks; });
  recorder.start(1);
  int pagesShown = 0;
  QTimer::singleShot(50, [&pagesShown] {
    auto* preview = qobject_cast<ReportPreview*>(QApplication::activeModalWidget());
    if (preview == nullptr) return;
    preview->showPage(2);
    pagesShown = preview->pageNumber();
    preview->reject();
  });
  QuickRep1.MajPrintClick(window);
  EXPECT_EQ(pagesShown, 2);
  EXPECT_GT(ticks, 0);
  EXPECT_EQ(data.enabled, 1);
}

class PreviewFixture : public ::testing::Test {
 protected:
  ReportPreviewDialogs stubDialogs() {
    ReportPreviewDialogs d;
    d.saveFileName = [this](QWidget*, const QString&, const QString&) { return nextFileName; };
    d.setUpPrinter = [this](QPrinter& printer, int pageCount, QWidget*) {
      offeredPages = pageCount;
      printer.setOutputFormat(QPrinter::PdfFormat);
      printer.setOutputFileName(dir.filePath(QStringLiteral("printed.pdf")));
      printer.setPrintRange(QPrinter::PageRange);
      printer.setFromTo(2, 3);
      return true;
    };
    d.showError = [this](QWidget*, const QString& message) { errors << message; };
    return d;
  }

  QTemporaryDir dir;
  QString nextFileName;
  QStringList errors;
  int offeredPages = 0;
};

TEST_F(PreviewFixture, PagesAndZoomsWithinBounds) {
  const test::FakeDataSet data(75);
  const ReportLayout layout(data, ReportTexts{});
  ReportPreview preview(layout, nullptr, stubDialogs());
  EXPECT_EQ(preview.pageNumber(), 1);
  preview.showPage(3);
  EXPECT_EQ(preview.pageNumber(), 3);
  preview.showPage(9);
  EXPECT_EQ(preview.pageNumber(), 3);
  preview.showPage(0);
  EXPECT_EQ(preview.pageNumber(), 1);
  const QSize natural = preview.pageView().sizeHint();
  preview.setZoom(2.0);
  EXPECT_GT(preview.pageView().sizeHint().width(), natural.width() * 3 / 2);
  preview.zoomOut();
  EXPECT_DOUBLE_EQ(preview.zoom(), 1.6);
  preview.setZoom(100);
  EXPECT_DOUBLE_EQ(preview.zoom(), 8.0);
}

TEST_F(PreviewFixture, SavesAndExportsInEveryFormatAndShowsWriteErrors) {
  const test::FakeDataSet data(3);
  const ReportLayout layout(data, ReportTexts{});
  ReportPreview preview(layout, nullptr, stubDialogs());
  const std::pair<ReportFormat, const char*> formats[] = {{ReportFormat::Pdf, "%PDF"},
                                                          {ReportFormat::Html, "<!DOCTYPE html>"},
                                                          {ReportFormat::Text, "  "},
                                                          {ReportFormat::Csv, "No,Time,Value"}};
  for (const auto& [format, start] : formats) {
    nextFileName = dir.filePath(QStringLiteral("out%1").arg(static_cast<int>(format)));
    preview.saveAs(format);
    const QString extension = QStringList{"pdf", "html", "txt", "csv"}.at(static_cast<int>(format));
    QFile file(nextFileName + QLatin1Char('.') + extension);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << extension.toStdString();
    EXPECT_TRUE(file.readAll().startsWith(start)) << extension.toStdString();
  }
  EXPECT_TRUE(errors.isEmpty());
  nextFileName = dir.filePath(QStringLiteral("missing/out.csv"));
  preview.saveAs(ReportFormat::Csv);
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors[0].startsWith(nextFileName + QStringLiteral(": ")));
  nextFileName.clear();  // cancelled
  preview.saveAs(ReportFormat::Csv);
  EXPECT_EQ(errors.size(), 1);
}

TEST_F(PreviewFixture, PrintsThePageRangeChosenInThePrintDialog) {
  const test::FakeDataSet data(111);
  const ReportLayout layout(data, ReportTexts{});
  ReportPreview preview(layout, nullptr, stubDialogs());
  preview.printReportPages();
  EXPECT_EQ(offeredPages, 3);
  QFile file(dir.filePath(QStringLiteral("printed.pdf")));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
  EXPECT_EQ(QString::fromLatin1(file.readAll()).count(page), 2);
}

TEST_F(PreviewFixture, LaysOutOnlyThePageShown) {
  const CountingDataSet data(100000);
  const ReportLayout layout(data, ReportTexts{});
  ReportPreview preview(layout, nullptr, stubDialogs());
  EXPECT_EQ(layout.pageCount(), 2703);
  EXPECT_EQ(data.reads, 37 * 6);
  preview.showPage(2703);
  EXPECT_EQ(data.reads, 37 * 6 + 26 * 6);  // the last page holds 100000 - 2702 * 37 records
}

// A summary of `count` ten-minute tests at 1000 V (R rising from 100 MΩ to 320 MΩ), with
// a filled test record.
TestSummary tenMinuteTests(int count) {
  ReadingsTable table;
  for (int test = 0; test < count; ++test) {
    for (int t = 0; t <= 600; t += 15) {
      const int mohm = t < 60 ? 100 + t : t < 600 ? 160 : 320;
      table.append({static_cast<int>(table.recordCount()) + 1, test * 700'000 + t * 1000,
                    std::to_string(mohm), "M\xA6\xB8", "IR:1000V 40G\xA6\xB8", "Timed", t});
    }
  }
  TestSummary summary;
  summary.judgement.windingTemperatureC = 20;
  summary.judgement.firstDay = dayFromIsoDate("2026-06-15");
  summary.record = {
      "M\xC3\xBChle AG",      "Works 2", "Pump 3",    "A. Smith", "SN-0042", "21,5", "20", "55",
      "dry day\nsecond line", "6,6",     "2026-06-15"};
  summary.tests = findInsulationTests(table, summary.judgement);
  return summary;
}

QStringList texts(const std::vector<ReportElement>& page) {
  QStringList out;
  for (const ReportElement& e : page) out << e.text;
  return out;
}

// Asked for, the summary follows the readings pages, which stay exactly as without it.
TEST(TestSummaryPage, FollowsTheReadingsPagesWhichStayAsTheyAre) {
  const test::FakeDataSet data(40);
  ReportTexts plainTexts;
  plainTexts.printDate = QStringLiteral("15/06/2024");
  plainTexts.allPageCaption = QStringLiteral("2");
  const ReportLayout plain(data, plainTexts);
  const ReportLayout withSummary(data, plainTexts, tenMinuteTests(2));
  ASSERT_EQ(plain.pageCount(), 2);
  ASSERT_EQ(withSummary.pageCount(), 3);
  EXPECT_EQ(withSummary.readingsPageCount(), 2);
  for (int number = 1; number <= 2; ++number) {
    const std::vector<ReportElement> a = plain.page(number);
    const std::vector<ReportElement> b = withSummary.page(number);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].name, b[i].name);
      EXPECT_EQ(a[i].text, b[i].text);
      EXPECT_EQ(a[i].paperRectMm(), b[i].paperRectMm());
    }
  }
  EXPECT_EQ(withSummary.rowsOnPage(3).count, 0);

  const std::vector<ReportElement> page = withSummary.page(3);
  const QStringList shown = texts(page);
  for (const char* expected : {" TEST DATA REPORT",
                               "Test summary",
                               "M\u00FChle AG",
                               "Pump 3",
                               "SN-0042",
                               "21,5 \u00B0C",
                               "20 \u00B0C",
                               "55 %",
                               "dry day",
                               "second line",
                               "from 20.0 \u00B0C",
                               "R(60 s) / R(30 s)",
                               "160.0 M\u03A9",
                               "40.00 M\u03A9",
                               "1.23",
                               "2.00",
                               "fail",
                               "6,6 kV",
                               "2026-06-15",
                               "2026-06-15 00:00:00",
                               "2 tests: 0 pass, 2 fail, 0 incomplete"}) {
    EXPECT_TRUE(shown.contains(QString::fromUtf8(expected))) << expected << "\n"
                                                             << shown.join('|').toStdString();
  }
  // Each test's reasons are printed below it; nothing runs into the footer or off the paper.
  EXPECT_GE(shown.filter(QStringLiteral("- R(1 min) at 40")).size(), 2);
  for (const ReportElement& e : page) {
    if (e.band == ReportBand::PageFooter) continue;
    EXPECT_LE(e.bandTopMm + e.boxMm.bottom(), report::pageFooterTopMm) << e.text.toStdString();
  }
  // For looking at: the report as a PDF in the build folder.
  EXPECT_TRUE(
      exportReport(withSummary, ReportFormat::Pdf, QStringLiteral("test-summary.pdf")).ok());
  // The CSV export holds the records only.
  QTemporaryDir dir;
  const QString csv = dir.filePath(QStringLiteral("r.csv"));
  ASSERT_TRUE(exportReport(withSummary, ReportFormat::Csv, csv).ok());
  QFile file(csv);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().count('\n'), 41);
}

// Many tests take further summary pages; every test is on one of them, once.
TEST(TestSummaryPage, ManyTestsContinueOnFurtherPages) {
  const test::FakeDataSet data(3);
  const ReportLayout layout(data, ReportTexts{}, tenMinuteTests(30));
  ASSERT_GT(layout.pageCount(), 2);
  int rows = 0;
  for (int number = 2; number <= layout.pageCount(); ++number) {
    const std::vector<ReportElement> page = layout.page(number);
    for (const ReportElement& e : page) {
      if (e.name == QLatin1String("SummaryCell") && e.text == QLatin1String("1000 V")) ++rows;
      if (e.band != ReportBand::PageFooter) {
        EXPECT_LE(e.bandTopMm + e.boxMm.bottom(), report::pageFooterTopMm);
      }
    }
    EXPECT_TRUE(texts(page).contains(
        QStringLiteral("Test summary, page %1 of %2").arg(number - 1).arg(layout.pageCount() - 1)));
  }
  EXPECT_EQ(rows, 30);
}

// A copy of a fake data set's rows, as the window's snapshot of its table is for a worker.
class FakeSnapshot final : public ReportRowsSnapshot {
 public:
  FakeSnapshot(const test::FakeDataSet& source, int rowCount) {
    for (int row = 0; row < rowCount; ++row) {
      QStringList cells;
      for (int column = 0; column < ReportRows::columnCount; ++column) {
        cells << source.cell(row, column);
      }
      m_copy.addRow(cells);
    }
  }
  bool copySlice() override { return true; }
  [[nodiscard]] const ReportRows& rows() const override { return m_copy; }

 private:
  test::FakeDataSet m_copy;
};

// The text pdftotext reads from a PDF; skips the test when the tool is missing.
QString pdfText(const QString& pdf) {
  const QString tool = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
  if (tool.isEmpty()) return {};
  QProcess process;
  process.start(tool, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return {};
  return QString::fromUtf8(process.readAllStandardOutput());
}

// With a summary in the preview, the PDF saved, the HTML and text exported and the pages
// printed from the worker's snapshot hold the summary pages the preview shows.
TEST_F(PreviewFixture, SavesExportsAndPrintsTheTestSummaryFromTheWorker) {
  if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
    GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
  }
  const test::FakeDataSet data(40);
  const ReportLayout layout(data, ReportTexts{}, tenMinuteTests(2));
  ASSERT_EQ(layout.pageCount(), 3);
  BackgroundWork work(nullptr);
  ReportPreview preview(layout, nullptr, stubDialogs());
  preview.setBackgroundWork(
      &work, [&data](int rowCount) { return std::make_unique<FakeSnapshot>(data, rowCount); });

  const auto fileText = [](const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
  };
  nextFileName = dir.filePath(QStringLiteral("report.pdf"));
  preview.saveAs(ReportFormat::Pdf);
  const QString pdf = pdfText(nextFileName);
  EXPECT_TRUE(pdf.contains(QStringLiteral("Test summary"))) << pdf.toStdString();
  EXPECT_TRUE(pdf.contains(QStringLiteral("SN-0042")));
  EXPECT_TRUE(pdf.contains(QStringLiteral("Pump 3")));
  EXPECT_EQ(pdf.count(u'\f'), 3) << "one form feed per page";
  for (const char* name : {"report.html", "report.txt"}) {
    SCOPED_TRACE(name);
    nextFileName = dir.filePath(QString::fromLatin1(name));
    preview.saveAs(nextFileName.endsWith(QStringLiteral(".html")) ? ReportFormat::Html
                                                                  : ReportFormat::Text);
    const QString text = fileText(nextFileName);
    EXPECT_TRUE(text.contains(QStringLiteral("Test summary")));
    EXPECT_TRUE(text.contains(QStringLiteral("SN-0042")));
  }

  // The print dialog of the fixture asks for pages 2 to 3: a readings page and the summary.
  preview.printReportPages();
  EXPECT_EQ(offeredPages, 3);
  const QString printed = pdfText(dir.filePath(QStringLiteral("printed.pdf")));
  EXPECT_TRUE(printed.contains(QStringLiteral("Test summary"))) << printed.toStdString();
  EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
}

// Print Data asks the summary source at each generation: none, none printed.
TEST(MajPrintClick, PrintsTheSummaryOnlyWhenTheSourceGivesOne) {
  test::FakeDataSet data(5);
  std::int32_t ReportPageTotal = 1;
  TestDataReport QuickRep1(data, ReportPageTotal);
  std::vector<int> pages;
  QuickRep1.setPreviewRunner(
      [&pages](const ReportLayout& layout, QWidget*) { pages.push_back(layout.pageCount()); });
  bool asked = false;
  QuickRep1.setSummarySource([&asked]() -> std::optional<TestSummary> {
    if (!asked) return std::nullopt;
    return tenMinuteTests(1);
  });
  QWidget window;
  QuickRep1.MajPrintClick(window);
  asked = true;
  QuickRep1.MajPrintClick(window);
  EXPECT_EQ(pages, (std::vector<int>{1, 2}));
  EXPECT_EQ(QuickRep1.allpageCaption(), QStringLiteral("1"));  // the readings pages only
}

}  // namespace
}  // namespace ostrel

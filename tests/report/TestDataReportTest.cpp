#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QPrinter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <stdexcept>

#include "FakeDataSet.h"
#include "ui/report/ReportPageView.h"
#include "ui/report/ReportPreview.h"
#include "ui/report/TestDataReport.h"

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

}  // namespace
}  // namespace ostrel

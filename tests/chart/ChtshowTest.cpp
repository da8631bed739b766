#include <sys/stat.h>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QImage>
#include <QImageReader>
#include <QLineEdit>
#include <QMenu>
#include <QRubberBand>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "record/ReadingsTable.h"
#include "record/TableFiles.h"
#include "tests/cli/ChildProcess.h"
#include "tests/support/FileSizeLimit.h"
#include "ui/ApplicationTitle.h"
#include "ui/ButtonPictures.h"
#include "ui/chart/ChartPainter.h"
#include "ui/chart/ChartPlotView.h"
#include "ui/chart/ChartToolStrip.h"
#include "ui/chart/Chtshow.h"

namespace ostrel {
namespace {

const QColor areaFillColor(255, 255, 128);
const QColor lineColor(128, 255, 0);
const char* const megohm = "M\xA6\xB8";

// Stands for the main window: a fixed outer size and the chart's bounds, recording what
// the chart asks of it.
class FakePlacement final : public ChartPlacement {
 public:
  QSize outer{700, 650};
  QRect bounds{18, 612, 361, 209};
  QList<int> heightsSet;

  QSize windowOuterSize() const override { return outer; }
  void setWindowOuterHeight(int height) override {
    heightsSet.append(height);
    outer.setHeight(height);
  }
  QRect chartBounds() const override { return bounds; }
  void setChartBounds(const QRect& b) override { bounds = b; }
};

// Pixels of `colour` in the image.
int pixelsOf(const QImage& image, const QColor& colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      n += image.pixelColor(x, y) == colour ? 1 : 0;
    }
  }
  return n;
}

}  // namespace

class ChtshowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void startsWithSamplePointsAndHints_data();
  void startsWithSamplePointsAndHints();
  void fillSwitchShowsOneSeries();
  void pagesThroughReadings();
  void followsTheNewestReadingOnlyFromTheLastPage();
  void pointsPerPageEditFiltersAndReportsConversionErrors();
  void zeroPointsPerPageMeansOnePage();
  void enlargeThenRestoreGivesTheSavedGeometryBack();
  void enlargeInsideARealWindow();
  void enlargeAndRestoreWhateverTheScrollPosition();
  void deleteGraphicAndDeleteDataLeaveAValidPage();
  void readingsThatAreNotNumbersAreGaps();
  void plotOfARisingTableSpansThePlotAndRises();
  void toolTipNamesTheReadingUnderTheMouse();
  void rowLabelsStayWholeAtTheRightEdge();
  void aFourDigitPageNumberStaysInsideItsLabel();
  void draggingZoomsIntoRowsAndBack();
  void savesTheChartAsABitmap();
  void savingWhereTheFolderCannotBeMadeShowsOnlyTheError();
  void savingReplacesAFileOnlyWithAWholePicture();
  void saveAndDeleteShowTheToolbarPictures();
  void messageBoxesCarryTheApplicationTitle();
  void cliDrawsWhatTheWindowsSaveDraws();

 private:
  template <typename W>
  W* control(const char* name) const {
    return m_chart->findChild<W*>(QString::fromLatin1(name));
  }
  QToolButton* button(const char* name) const { return control<QToolButton>(name); }
  QImage plotImage() const { return m_chart->plotView()->grab().toImage(); }
  std::size_t shownRows() const { return m_chart->model().pageRows().count; }
  void plotReadings(int count);
  QList<bool> navigationStates() const;

  ChartGeometry m_saved;
  std::unique_ptr<Chtshow> m_chart;
  QStringList m_errors;
  QStringList m_informations;
};

void ChtshowTest::init() {
  m_saved = {};
  m_errors.clear();
  m_informations.clear();
  m_chart = std::make_unique<Chtshow>(m_saved, ",");
  m_chart->setPrompts({[this](const QString& t) { m_errors.append(t); },
                       [this](const QString& t) { m_informations.append(t); }});
}

void ChtshowTest::cleanup() { m_chart.reset(); }

void ChtshowTest::plotReadings(int count) {
  for (int no = 1; no <= count; ++no) {
    const std::string value = std::to_string(no * 10) + ",5";
    m_chart->plotReading(value, megohm);
  }
}

QList<bool> ChtshowTest::navigationStates() const {
  return {button("BtFirst")->isEnabled(), button("BTPrevious")->isEnabled(),
          button("BtNext")->isEnabled(), button("BTlast")->isEnabled()};
}

void ChtshowTest::startsWithSamplePointsAndHints_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("hint");
  QTest::newRow("BtFill") << "BtFill"
                          << "Graphic Fill";
  QTest::newRow("BtSave") << "BtSave"
                          << "Save  Active Graphic";
  QTest::newRow("BtNew") << "BtNew"
                         << "Delete Graphic";
  QTest::newRow("BtFirst") << "BtFirst"
                           << "First";
  QTest::newRow("BTPrevious") << "BTPrevious"
                              << "Previous";
  QTest::newRow("Bt10") << "Bt10"
                        << "Page No.";
  QTest::newRow("BtNext") << "BtNext"
                          << "Next";
  QTest::newRow("BTlast") << "BTlast"
                          << "last";
  QTest::newRow("TbFd") << "TbFd"
                        << "Graphic Enlarge";
  QTest::newRow("TbSx") << "TbSx"
                        << "Graphic Restore";
}

void ChtshowTest::startsWithSamplePointsAndHints() {
  QFETCH(QString, name);
  QFETCH(QString, hint);
  auto* widget = m_chart->findChild<QWidget*>(name);
  QVERIFY(widget);
  QCOMPARE(widget->toolTip(), hint);

  QCOMPARE(m_chart->size(), QSize(361, 209));
  QCOMPARE(m_chart->model().activeSeries(), 0);
  QVERIFY(m_chart->model().holdsSamples());
  QCOMPARE(m_chart->model().pointCount(), std::size_t{1});
  QCOMPARE(m_chart->model().maxPointsPerPage(), 100);
  QCOMPARE(button("Bt10")->text(), QStringLiteral("1"));
  QCOMPARE(control<QLineEdit>("Maxrecord")->text(), QStringLiteral("100"));
  QCOMPARE(navigationStates(), (QList<bool>{true, true, true, true}));
  QVERIFY(!control<QWidget>("TbFd")->isHidden());
  QVERIFY(control<QWidget>("TbSx")->isHidden());
  // The plot lies clear of the tool strip and shows no reading yet.
  QVERIFY(chartPlotArea(m_chart->plotView()->rect()).top() + m_chart->plotView()->y() >= 28);
  QCOMPARE(pixelsOf(plotImage(), areaFillColor), 0);
}

void ChtshowTest::fillSwitchShowsOneSeries() {
  plotReadings(5);
  QVERIFY(pixelsOf(plotImage(), areaFillColor) > 100);
  auto* fill = control<QCheckBox>("BtFill");
  fill->click();
  QCOMPARE(m_chart->model().activeSeries(), 1);
  QImage line = plotImage();
  QCOMPARE(pixelsOf(line, areaFillColor), 0);
  QVERIFY(pixelsOf(line, lineColor) > 20);
  fill->setChecked(true);  // a change by code runs the same handler
  QCOMPARE(m_chart->model().activeSeries(), 0);
  QCOMPARE(pixelsOf(plotImage(), lineColor), 0);
}

void ChtshowTest::pagesThroughReadings() {
  plotReadings(250);
  QCOMPARE(m_chart->model().pageCount(), 3);
  QCOMPARE(button("Bt10")->text(), QStringLiteral("3"));  // it followed the readings
  button("BtFirst")->click();
  QCOMPARE(shownRows(), std::size_t{100});

  button("BTlast")->click();
  QCOMPARE(button("Bt10")->text(), QStringLiteral("3"));
  QCOMPARE(navigationStates(), (QList<bool>{true, true, false, false}));
  QCOMPARE(shownRows(), std::size_t{50});
  QCOMPARE(m_chart->model().pageRows().first, std::size_t{200});

  button("BTPrevious")->click();
  button("BTPrevious")->click();
  QCOMPARE(button("Bt10")->text(), QStringLiteral("1"));
  QCOMPARE(navigationStates(), (QList<bool>{true, true, true, true}));
  button("BTPrevious")->click();
  QCOMPARE(navigationStates(), (QList<bool>{false, false, true, true}));
}

void ChtshowTest::followsTheNewestReadingOnlyFromTheLastPage() {
  plotReadings(100);
  QCOMPARE(button("Bt10")->text(), QStringLiteral("1"));
  m_chart->plotReading("7", megohm);  // starts page 2 while page 1 is the last
  QCOMPARE(m_chart->model().page(), 2);
  QCOMPARE(button("Bt10")->text(), QStringLiteral("2"));
  plotReadings(99);
  QCOMPARE(m_chart->model().page(), 2);

  button("BtFirst")->click();  // paged back: the chart stays
  plotReadings(150);
  QCOMPARE(m_chart->model().page(), 1);
  QCOMPARE(button("Bt10")->text(), QStringLiteral("1"));
  QCOMPARE(m_chart->model().pageCount(), 4);
}

void ChtshowTest::pointsPerPageEditFiltersAndReportsConversionErrors() {
  auto* edit = control<QLineEdit>("Maxrecord");
  edit->setFocus();
  edit->end(false);
  QTest::keyClicks(edit, "a-5.");
  QCOMPARE(edit->text(), QStringLiteral("1005"));
  QCOMPARE(m_chart->model().maxPointsPerPage(), 1005);
  for (int i = 0; i < 4; ++i) {
    QTest::keyClick(edit, Qt::Key_Backspace);
  }
  QCOMPARE(edit->text(), QString());
  QCOMPARE(m_errors, QStringList{QStringLiteral("'' is not a valid integer value")});
  // The value before the empty text.

  QCOMPARE(m_chart->model().maxPointsPerPage(), 1);

  m_errors.clear();
  edit->setText(QStringLiteral("2147483648"));
  QCOMPARE(m_errors.size(), 1);
  QCOMPARE(m_chart->model().maxPointsPerPage(), 1);
  edit->setText(QStringLiteral("-5"));  // pasted: negative values are refused
  QCOMPARE(m_errors.size(), 2);
  QCOMPARE(m_chart->model().maxPointsPerPage(), 1);
  edit->setText(QStringLiteral("2147483647"));
  QCOMPARE(m_chart->model().maxPointsPerPage(), 2147483647);

  // Editing keys work as in any edit; a paste keeps only its digits.
  edit->setText(QStringLiteral("100"));
  QTest::keyClick(edit, Qt::Key_Home);
  QTest::keyClick(edit, Qt::Key_Delete);
  QCOMPARE(edit->text(), QStringLiteral("00"));
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(edit, "7");
  QCOMPARE(edit->text(), QStringLiteral("7"));
  QApplication::clipboard()->setText(QStringLiteral("x2-y"));
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(edit->text(), QStringLiteral("72"));
  QCOMPARE(m_chart->model().maxPointsPerPage(), 72);

  // The context menu's Paste is filtered the same way.
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(2, 2),
                              edit->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(edit, &menuEvent);
  QMenu* menu = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (auto* m = qobject_cast<QMenu*>(top); m && m->isVisible()) menu = m;
  }
  QVERIFY(menu);
  QAction* paste = nullptr;
  for (QAction* action : menu->actions()) {
    if (action->text().startsWith(QLineEdit::tr("&Paste"))) paste = action;
  }
  QVERIFY(paste);
  QApplication::clipboard()->setText(QStringLiteral("a5"));
  paste->trigger();
  menu->close();
  QCOMPARE(edit->text(), QStringLiteral("725"));
}

void ChtshowTest::zeroPointsPerPageMeansOnePage() {
  plotReadings(250);
  button("BTlast")->click();
  control<QLineEdit>("Maxrecord")->setText(QStringLiteral("0"));
  QCOMPARE(m_chart->model().pageCount(), 1);
  QCOMPARE(m_chart->model().page(), 1);
  // The label follows the lowered page.
  QCOMPARE(button("Bt10")->text(), QStringLiteral("1"));
  QCOMPARE(shownRows(), std::size_t{250});
  button("BtFirst")->click();
  button("BtNext")->click();
  QCOMPARE(button("Bt10")->text(), QStringLiteral("1"));
  QCOMPARE(navigationStates(), (QList<bool>{true, true, false, false}));
}

void ChtshowTest::enlargeThenRestoreGivesTheSavedGeometryBack() {
  auto placement = std::make_unique<FakePlacement>();
  FakePlacement& window = *placement;
  m_chart->setPlacement(std::move(placement));

  m_chart->TbSxClick();
  QCOMPARE(window.heightsSet, QList<int>{564});
  QCOMPARE(window.bounds, QRect(2, 30, 688, 474));
  QCOMPARE((std::array{m_saved.width, m_saved.height, m_saved.left, m_saved.top}),
           (std::array{361, 209, 18, 612}));
  QVERIFY(control<QWidget>("TbFd")->isHidden());
  QVERIFY(!control<QWidget>("TbSx")->isHidden());

  m_chart->TbSxClick();  // the second click on the shared switch restores
  QCOMPARE(window.bounds, QRect(18, 612, 361, 209));
  QVERIFY(!control<QWidget>("TbFd")->isHidden());
  QVERIFY(control<QWidget>("TbSx")->isHidden());
  // 564 is not above 600.

  QCOMPARE(window.heightsSet, QList<int>{564});
}
void ChtshowTest::enlargeInsideARealWindow() {
  QWidget window;
  window.resize(619, 526);
  m_chart->setParent(&window);
  m_chart->setGeometry(18, 212, 361, 209);
  window.show();
  const QSize outer = window.frameGeometry().size();

  QTest::mouseClick(control<QWidget>("TbFd"), Qt::LeftButton);
  QCOMPARE(m_chart->geometry(), QRect(2, 30, outer.width() - 12, outer.height() - 90));
  QTest::mouseClick(control<QWidget>("TbSx"), Qt::LeftButton);
  QCOMPARE(m_chart->geometry(), QRect(18, 212, 361, 209));
  m_chart->setParent(nullptr);
}

// Enlarging covers what is in view, to the scroll bars; scrolling afterwards must not turn the
// restore click into a second enlargement; restore returns to the place in the content and
// scrolls the whole chart into view.
void ChtshowTest::enlargeAndRestoreWhateverTheScrollPosition() {
  QScrollArea window;
  window.resize(619, 526);
  auto* content = new QWidget;
  content->resize(760, 830);
  m_chart->setParent(content);
  m_chart->setGeometry(18, 612, 361, 209);
  window.setWidget(content);
  window.show();
  QScrollBar* scroll = window.verticalScrollBar();
  scroll->setValue(scroll->maximum());
  QVERIFY(scroll->value() > 0);
  m_chart->setPlacement(std::make_unique<WidgetChartPlacement>(*m_chart, window.viewport()));
  const QSize client = window.viewport()->size();
  const auto inView = [&] {
    return QRect(m_chart->mapTo(window.viewport(), QPoint()), m_chart->size());
  };
  const QRect enlarged(2, 30, client.width() - 2, client.height() - 30);

  m_chart->TbSxClick();
  QCOMPARE(inView(), enlarged);
  QCOMPARE((std::array{m_saved.width, m_saved.height, m_saved.left, m_saved.top}),
           (std::array{361, 209, 18, 612}));
  scroll->setValue(0);
  m_chart->TbSxClick();
  QCOMPARE(m_chart->geometry(), QRect(18, 612, 361, 209));
  QVERIFY(window.viewport()->rect().contains(inView()));
  QVERIFY(!control<QWidget>("TbFd")->isHidden());
  QCOMPARE(m_saved.top, 612);

  scroll->setValue(0);
  m_chart->TbSxClick();  // enlarging again, now at the top of the content
  QCOMPARE(m_chart->geometry(), enlarged);
  scroll->setValue(scroll->maximum());
  m_chart->TbSxClick();
  QCOMPARE(m_chart->geometry(), QRect(18, 612, 361, 209));
  QVERIFY(window.viewport()->rect().contains(inView()));
  m_chart->setParent(nullptr);
}

void ChtshowTest::deleteGraphicAndDeleteDataLeaveAValidPage() {
  plotReadings(250);
  button("BTlast")->click();
  button("BtNew")->click();
  QCOMPARE(m_chart->model().page(), 1);
  QCOMPARE(button("Bt10")->text(), QStringLiteral("1"));
  QCOMPARE(m_chart->model().maxPointsPerPage(), 100);
  QVERIFY(m_chart->model().holdsSamples());
  m_chart->plotReading("3,25", megohm);
  QCOMPARE(m_chart->model().pointCount(), std::size_t{1});
  QCOMPARE(m_chart->plotView()->firstRowNumber(), std::size_t{251});  // its row in the table

  plotReadings(250);
  button("BTlast")->click();
  ReadingsTable emptied;
  m_chart->plotTable(emptied);  // "Delete Data"
  QCOMPARE(m_chart->model().page(), 1);
  QCOMPARE(button("Bt10")->text(), QStringLiteral("1"));
  QVERIFY(m_chart->model().holdsSamples());
}

void ChtshowTest::readingsThatAreNotNumbersAreGaps() {
  m_chart->plotReading("0L", megohm);
  m_chart->plotReading("----", "V");
  m_chart->plotReading("-", megohm);
  m_chart->plotReading("", megohm);
  m_chart->plotReading(std::nullopt, megohm);
  m_chart->plotReading("1,5", std::nullopt);
  m_chart->plotReading("1.5", megohm);  // not this locale's separator
  m_chart->plotReading("-0,56", "V");
  const ChartTrace& rows = m_chart->model().rows();
  QCOMPARE(rows.size(), std::size_t{8});         // X is the row: gaps keep their place
  QVERIFY(rows.at(0) && rows.at(0)->overRange);  // "OL": over range, marked at the top
  for (std::size_t r = 1; r < 7; ++r) {
    QVERIFY2(!rows.at(r), qPrintable(QString::number(r)));
  }
  QCOMPARE(rows.at(7)->quantity, ChartQuantity::Voltage);
  QCOMPARE(rows.at(7)->base, static_cast<double>(-0.56F));  // held as a float
}

// The program's own picture of a table that rises from 0.8 MOhm to 8 GOhm (one overload
// among them): the line fills most of the plot's height and goes up, column by column,
// wherever the resistance goes up.
void ChtshowTest::plotOfARisingTableSpansThePlotAndRises() {
  ReadingsTable table;
  QVERIFY(LoadTableFromFile(OSTREL_CHART_FIXTURES "/rising.xls", table, true).ok());
  QCOMPARE(table.recordCount(), std::size_t{11});
  Chtshow chart(m_saved, ".");
  chart.plotTable(table);
  chart.toolStrip().BtFill->setChecked(false);
  chart.toolStrip().Maxrecord->setText(QStringLiteral("0"));  // the whole table on one page
  const QImage image = chart.plotView()->grab().toImage();
  const QRect plot = chartPlotArea(chart.plotView()->rect());

  // The line's topmost pixel in each column of the plot that it crosses.
  QList<QPoint> top;
  for (int x = plot.left(); x <= plot.right(); ++x) {
    for (int y = plot.top(); y <= plot.bottom(); ++y) {
      if (image.pixelColor(x, y) == lineColor) {
        top.append(QPoint(x, y));
        break;
      }
    }
  }
  QVERIFY(top.size() > plot.width() / 3);
  int highest = plot.bottom();
  int lowest = plot.top();
  for (const QPoint& p : top) {
    highest = std::min(highest, p.y());
    lowest = std::max(lowest, p.y());
  }
  QVERIFY2(lowest - highest > plot.height() * 6 / 10,
           qPrintable(QStringLiteral("spans %1 of %2").arg(lowest - highest).arg(plot.height())));
  for (qsizetype i = 1; i < top.size(); ++i) {
    QVERIFY2(top[i].y() <= top[i - 1].y() + 1,
             qPrintable(QStringLiteral("falls at x %1").arg(top[i].x())));
  }
  QVERIFY(top.front().x() < top.back().x());
  QVERIFY(top.front().y() > top.back().y());

  // The overload (row 4 of 11) is marked at the top of the axis, over its own column.
  const QColor overMark(0xD0, 0x00, 0x00);
  QList<QPoint> marks;
  for (int x = plot.left(); x <= plot.right(); ++x) {
    for (int y = plot.top() - 2; y <= plot.bottom(); ++y) {
      if (image.pixelColor(x, y) == overMark) marks.append(QPoint(x, y));
    }
  }
  QVERIFY(!marks.isEmpty());
  const int column = plot.left() + plot.width() * 7 / 22;  // the centre of row 4
  for (const QPoint& p : marks) {
    QVERIFY2(std::abs(p.x() - column) <= 4 && p.y() <= plot.top() + 6,
             qPrintable(QStringLiteral("mark at %1,%2").arg(p.x()).arg(p.y())));
  }
}

void ChtshowTest::toolTipNamesTheReadingUnderTheMouse() {
  plotReadings(4);
  QList<std::size_t> asked;
  m_chart->setPointDescriber([&asked](std::size_t row) {
    asked.append(row);
    return QStringLiteral("No %1").arg(row + 1);
  });
  ChartPlotView* view = m_chart->plotView();
  const QRect plot = chartPlotArea(view->rect());
  // 4 readings on a page of 100: the third lies in the third hundredth of the plot.
  const QPoint at(plot.left() + plot.width() * 5 / 200, plot.center().y());
  QHelpEvent help(QEvent::ToolTip, at, view->mapToGlobal(at));
  QApplication::sendEvent(view, &help);
  QCOMPARE(asked, QList<std::size_t>{2});
  QCOMPARE(QToolTip::text(), QStringLiteral("No 3"));
  asked.clear();
  const QPoint beyond(plot.right() - 2, plot.center().y());
  QHelpEvent none(QEvent::ToolTip, beyond, view->mapToGlobal(beyond));
  QApplication::sendEvent(view, &none);
  QVERIFY(asked.isEmpty());  // no reading there
}

// Six-digit row numbers: the last label, under the plot's right edge, is drawn whole, with
// room to spare before the chart's edge.
void ChtshowTest::rowLabelsStayWholeAtTheRightEdge() {
  plotReadings(100);
  ChartPlotView* view = m_chart->plotView();
  view->setFirstRowNumber(100601);
  const QImage image = view->grab().toImage();
  const QRect plot = chartPlotArea(view->rect());
  int rightmostInk = -1;
  for (int y = plot.bottom() + 4; y < image.height(); ++y) {
    for (int x = plot.right() - 40; x < image.width(); ++x) {
      if (qGray(image.pixel(x, y)) < 100) rightmostInk = std::max(rightmostInk, x);
    }
  }
  QVERIFY(image.save(QStringLiteral("chart-row-labels.png")));
  QVERIFY2(rightmostInk > plot.right() - 40, "the last label is drawn");
  QVERIFY2(rightmostInk < image.width() - 2, qPrintable(QString::number(rightmostInk)));
}

// Page 1007: every digit of the page label is drawn inside the label, none cut by its edges.
void ChtshowTest::aFourDigitPageNumberStaysInsideItsLabel() {
  m_chart->toolStrip().Maxrecord->setText(QStringLiteral("1"));
  plotReadings(1007);
  button("BTlast")->click();
  QToolButton* label = button("Bt10");
  QCOMPARE(label->text(), QStringLiteral("1007"));
  const QImage image = label->grab().toImage();
  QVERIFY(image.save(QStringLiteral("chart-page-label.png")));
  // The digits are blue: the columns they cover must leave the label's edges free.
  int first = image.width();
  int last = -1;
  for (int x = 0; x < image.width(); ++x) {
    for (int y = 0; y < image.height(); ++y) {
      const QColor c = image.pixelColor(x, y);
      if (c.blue() > 120 && c.red() < 100 && c.green() < 100) {
        first = std::min(first, x);
        last = std::max(last, x);
      }
    }
  }
  QVERIFY2(last >= 0, "the page number is drawn");
  QVERIFY2(first >= 2 && last <= image.width() - 3,
           qPrintable(
               QStringLiteral("ink from %1 to %2 of %3").arg(first).arg(last).arg(image.width())));
  QVERIFY(last - first >= 8);  // four digits, not one
  button("BtFirst")->click();
  QCOMPARE(label->text(), QStringLiteral("1"));
}

void ChtshowTest::draggingZoomsIntoRowsAndBack() {
  plotReadings(40);
  ChartPlotView* view = m_chart->plotView();
  const QRect plot = chartPlotArea(view->rect());
  const auto drag = [view](int from, int to) {
    const int y = view->height() / 2;
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(from, y));
    QTest::mouseMove(view, QPoint(to, y));
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(to, y));
  };
  // In the middle of the slots of rows 25 and 50 of the page of 100.
  const int quarter = plot.left() + plot.width() * 255 / 1000;
  const int half = plot.left() + plot.width() * 505 / 1000;
  drag(quarter, half);
  QVERIFY(view->zoom());
  QCOMPARE(view->zoom()->first, std::size_t{25});
  QCOMPARE(view->zoom()->count, std::size_t{15});  // rows 25 to 39 are held
  QCOMPARE(chartRowAt(view->rect(), m_chart->model(), plot.left(), view->zoom()),
           std::optional<std::size_t>{25});
  plotReadings(5);  // new readings inside the zoomed span show up
  QCOMPARE(chartShownRows(m_chart->model(), view->zoom()).count, std::size_t{20});
  drag(half, quarter);  // leftwards: the whole page again
  QVERIFY(!view->zoom());
  drag(quarter, half);
  button("BtFirst")->click();
  QVERIFY(!view->zoom());
  drag(plot.right() - 2, plot.right() - 1);  // too short: a click
  QVERIFY(!view->zoom());

  // The band shows what the drag does: rows only, so it spans the plot's whole height
  // wherever the mouse is held.
  auto* band = view->findChild<QRubberBand*>();
  QVERIFY(band);
  QTest::mousePress(view, Qt::LeftButton, {}, QPoint(half, plot.top() + 30));
  QTest::mouseMove(view, QPoint(quarter, plot.top() + 50));
  QVERIFY(!band->isHidden());
  QCOMPARE(band->geometry(), QRect(QPoint(quarter, plot.top()), QPoint(half, plot.bottom())));
  QVERIFY(view->grab().save(QStringLiteral("chart-zoom-band.png")));
  QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(quarter, plot.top() + 50));
  QVERIFY(band->isHidden());
}

void ChtshowTest::savesTheChartAsABitmap() {
  QTemporaryDir home;
  QVERIFY(home.isValid());
  const QByteArray oldHome = qgetenv("HOME");
  qputenv("HOME", home.path().toLocal8Bit());
  m_chart->setClock([] { return QDateTime(QDate(2024, 6, 15), QTime(14, 30, 59)); });
  plotReadings(250);
  button("BTlast")->click();

  button("BtSave")->click();  // the folder is missing on a fresh system: it is made
  qputenv("HOME", oldHome);
  const QString path = home.path() + QStringLiteral("/TestGraph/2406151430page3.bmp");
  QCOMPARE(m_informations, QStringList{QStringLiteral("graphic has saved on ") + path});
  QVERIFY(m_errors.isEmpty());
  QImageReader reader(path);
  QCOMPARE(reader.format(), QByteArray("bmp"));
  const QImage image = reader.read();
  // The chart only: the plot's size, without the chart's frame or the band its tool strip
  // covers in the window; the plot area (white) reaches up to 10 px from the top.
  QCOMPARE(image.size(), m_chart->plotView()->size());
  for (const int y : {12, 20, 27}) {
    int white = 0;
    for (int x = 60; x < image.width() - 12; ++x) white += image.pixel(x, y) == qRgb(255, 255, 255);
    QVERIFY2(white > (image.width() - 72) * 9 / 10, qPrintable(QStringLiteral("row %1").arg(y)));
  }
  QCOMPARE(QDir(home.path() + QStringLiteral("/TestGraph")).entryList(QDir::Files),
           QStringList{QStringLiteral("2406151430page3.bmp")});
  QVERIFY(pixelsOf(image, areaFillColor) > 100);  // the area series is drawn

  const QString png = home.path() + QStringLiteral("/chart.png");
  QVERIFY(m_chart->saveBitmap(png).ok());
  QImageReader pngReader(png);
  QCOMPARE(pngReader.format(), QByteArray("png"));
  QCOMPARE(pngReader.read(), image.convertToFormat(QImage::Format_RGB32));
}

void ChtshowTest::savingWhereTheFolderCannotBeMadeShowsOnlyTheError() {
  QTemporaryDir home;
  QVERIFY(home.isValid());
  QFile blocker(home.path() + QStringLiteral("/TestGraph"));  // a file where the folder goes
  QVERIFY(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const QByteArray oldHome = qgetenv("HOME");
  qputenv("HOME", home.path().toLocal8Bit());
  m_chart->setClock([] { return QDateTime(QDate(2024, 6, 15), QTime(14, 30)); });
  button("BtSave")->click();
  qputenv("HOME", oldHome);

  QVERIFY(m_informations.isEmpty());
  QCOMPARE(m_errors.size(), 1);
  QVERIFY2(m_errors.front().startsWith(QStringLiteral("Cannot create file ") + home.path() +
                                       QStringLiteral("/TestGraph/2406151430page1.bmp")),
           qPrintable(m_errors.front()));
  QCOMPARE(QFileInfo(blocker).size(), 0);
}

void ChtshowTest::savingReplacesAFileOnlyWithAWholePicture() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  plotReadings(50);
  const auto contentOf = [](const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  };
  const QString old = dir.filePath(QStringLiteral("old.bmp"));
  QFile oldFile(old);
  QVERIFY(oldFile.open(QIODevice::WriteOnly) && oldFile.write("old picture") > 0);
  oldFile.close();

  {  // a write that fails half-way keeps the old picture
    const test::FileSizeLimit limit(1024);
    const Result<> saved = m_chart->saveBitmap(old);
    QVERIFY2(saved.message().starts_with("Cannot write file " + old.toStdString()),
             saved.message().c_str());
  }
  QCOMPARE(contentOf(old), QByteArray("old picture"));

  // a link is followed: the picture replaces the file it leads to and the link stays
  const QString link = dir.filePath(QStringLiteral("link.bmp"));
  QVERIFY(QFile::link(old, link));
  QVERIFY(m_chart->saveBitmap(link).ok());
  QVERIFY(QFileInfo(link).isSymLink());
  QCOMPARE(QImageReader(old).read().size(), m_chart->plotView()->size());

  // a FIFO is refused at once instead of waiting for a reader
  const QString fifo = dir.filePath(QStringLiteral("fifo.bmp"));
  QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const Result<> refused = m_chart->saveBitmap(fifo);
  QVERIFY2(refused.message().starts_with("Cannot create file " + fifo.toStdString()),
           refused.message().c_str());

  QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot),
           (QStringList{QStringLiteral("fifo.bmp"), QStringLiteral("link.bmp"),
                        QStringLiteral("old.bmp")}));
}

void ChtshowTest::saveAndDeleteShowTheToolbarPictures() {
  const auto image = [](const QIcon& icon) { return icon.pixmap(16, 16).toImage(); };
  QCOMPARE(image(button("BtSave")->icon()), image(savePicture()));
  QCOMPARE(image(button("BtNew")->icon()), image(deletePicture()));
}

// The default prompts are real message boxes; each is closed as soon as it shows.
void ChtshowTest::messageBoxesCarryTheApplicationTitle() {
  Chtshow chart(m_saved, ",");
  QStringList titles;
  QTimer closer;
  connect(&closer, &QTimer::timeout, [&titles] {
    if (QWidget* box = QApplication::activeModalWidget()) {
      titles.append(box->windowTitle());
      box->close();
    }
  });
  closer.start(10);
  chart.findChild<QLineEdit*>(QStringLiteral("Maxrecord"))->setText(QString());
  QCOMPARE(titles, QStringList{applicationTitle});
}

// ostrel-cli chart, run as a user would, against the window's chart saving the same table.
void ChtshowTest::cliDrawsWhatTheWindowsSaveDraws() {
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString fixture = QStringLiteral(OSTREL_CHART_FIXTURES "/rising.xls");
  const auto run = [](const QStringList& args) {
    std::vector<std::string> arguments{"chart"};
    for (const QString& arg : args) arguments.push_back(arg.toStdString());
    const test::ChildResult cli = test::runProgram(OSTREL_CLI, arguments);
    return std::make_pair(
        cli.exitCode,
        QString::fromLocal8Bit(cli.err.data(), static_cast<qsizetype>(cli.err.size())));
  };
  const QString drawn = dir.filePath(QStringLiteral("cli.png"));
  const auto [code, errors] =
      run({fixture, drawn, QStringLiteral("--per-page"), QStringLiteral("4"),
           QStringLiteral("--page"), QStringLiteral("2"), QStringLiteral("--line")});
  QCOMPARE(code, 0);

  ReadingsTable table;
  QVERIFY(LoadTableFromFile(fixture.toStdString(), table, true).ok());
  Chtshow chart(m_saved, ".");
  chart.plotTable(table);
  chart.toolStrip().BtFill->setChecked(false);
  chart.toolStrip().Maxrecord->setText(QStringLiteral("4"));
  chart.BtNextClick();
  const QString saved = dir.filePath(QStringLiteral("window.png"));
  QVERIFY(chart.saveBitmap(saved).ok());
  const QImage fromCli(drawn);
  QVERIFY(!fromCli.isNull());
  QCOMPARE(fromCli, QImage(saved));
  QVERIFY(pixelsOf(fromCli, lineColor) > 10);

  const auto beyond = run({fixture, dir.filePath(QStringLiteral("x.bmp")), QStringLiteral("--page"),
                           QStringLiteral("4"), QStringLiteral("--per-page"), QStringLiteral("4")});
  QCOMPARE(beyond.first, 1);
  QVERIFY2(beyond.second.contains(QStringLiteral("page 4")), qPrintable(beyond.second));
  QCOMPARE(run({dir.filePath(QStringLiteral("missing.xls")), drawn}).first, 1);
  QCOMPARE(run({fixture, dir.filePath(QStringLiteral("x.jpg"))}).first, 2);
  QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.bmp"))));
}

}  // namespace ostrel

QTEST_MAIN(ostrel::ChtshowTest)
#include "ChtshowTest.moc"

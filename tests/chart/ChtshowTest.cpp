#include <QAbstractSeries>
#include <QAreaSeries>
#include <QChart>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLineEdit>
#include <QLineSeries>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QValueAxis>
#include <QXYSeries>
#include <memory>

#include "ui/ApplicationTitle.h"
#include "ui/ButtonPictures.h"
#include "ui/chart/ChartToolStrip.h"
#include "ui/chart/Chtshow.h"

namespace ostrel {
namespace {

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
  void pointsPerPageEditFiltersAndReportsConversionErrors();
  void zeroPointsPerPageMeansOnePage();
  void enlargeThenRestoreGivesTheSavedGeometryBack();
  void enlargeInsideARealWindow();
  void enlargeInsideAScrolledWindowCoversWhatIsInView();
  void deleteGraphicKeepsThePageLabel();
  void nonNumericValuesAreLeftOut();
  void savesTheChartAsABitmap();
  void savingIntoAMissingFolderShowsOnlyTheError();
  void destroyingTheChartFreesEverySeries();
  void saveAndDeleteShowTheToolbarPictures();
  void messageBoxesCarryTheApplicationTitle();

 private:
  template <typename W>
  W* control(const char* name) const {
    return m_chart->findChild<W*>(QString::fromLatin1(name));
  }
  QToolButton* button(const char* name) const { return control<QToolButton>(name); }
  QAbstractSeries* series(int index) const { return m_chart->chart()->series().at(index); }
  int drawnPoints(int index) const;
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

int ChtshowTest::drawnPoints(int index) const {
  QAbstractSeries* shown = series(index);
  if (auto* area = qobject_cast<QAreaSeries*>(shown)) {
    return static_cast<int>(area->upperSeries()->count());
  }
  return static_cast<int>(static_cast<QXYSeries*>(shown)->count());
}

void ChtshowTest::plotReadings(int count) {
  for (int no = 1; no <= count; ++no) {
    const std::string value = std::to_string(no * 10) + ",5";
    m_chart->plotReading(no, value);
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
  QCOMPARE(series(0)->objectName(), QStringLiteral("Series2"));
  QCOMPARE(series(1)->objectName(), QStringLiteral("Series1"));
  QVERIFY(series(0)->isVisible());
  QVERIFY(!series(1)->isVisible());
  QCOMPARE(drawnPoints(0), 1);
  QCOMPARE(m_chart->model().points(1).size(), std::size_t{1});
  QCOMPARE(m_chart->model().maxPointsPerPage(), 100);
  QCOMPARE(button("Bt10")->text(), QStringLiteral("1"));
  QCOMPARE(control<QLineEdit>("Maxrecord")->text(), QStringLiteral("100"));
  QCOMPARE(navigationStates(), (QList<bool>{true, true, true, true}));
  QVERIFY(!control<QWidget>("TbFd")->isHidden());
  QVERIFY(control<QWidget>("TbSx")->isHidden());
  auto* left = qobject_cast<QValueAxis*>(m_chart->chart()->axes(Qt::Vertical).at(0));
  QCOMPARE(left->min(), -11000.0);
  QCOMPARE(left->max(), 11000.0);
  QCOMPARE(left->minorTickCount(), 4);
  QVERIFY(!m_chart->chart()->legend()->isVisible());
  m_chart->show();
  QVERIFY(m_chart->chart()->plotArea().top() >= 28);  // clear of the tool strip
}

void ChtshowTest::fillSwitchShowsOneSeries() {
  plotReadings(5);
  auto* fill = control<QCheckBox>("BtFill");
  fill->click();
  QVERIFY(!series(0)->isVisible());
  QVERIFY(series(1)->isVisible());
  QCOMPARE(m_chart->model().activeSeries(), 1);
  QCOMPARE(drawnPoints(1), 5);
  fill->setChecked(true);  // a change by code runs the same handler
  QVERIFY(series(0)->isVisible());
  QVERIFY(!series(1)->isVisible());
  QCOMPARE(drawnPoints(0), 5);
}

void ChtshowTest::pagesThroughReadings() {
  plotReadings(250);
  QCOMPARE(m_chart->model().pageCount(), 3);
  QCOMPARE(drawnPoints(0), 100);
  auto* bottom = qobject_cast<QValueAxis*>(m_chart->chart()->axes(Qt::Horizontal).at(0));

  button("BTlast")->click();
  QCOMPARE(button("Bt10")->text(), QStringLiteral("3"));
  QCOMPARE(navigationStates(), (QList<bool>{true, true, false, false}));
  QCOMPARE(drawnPoints(0), 50);
  QCOMPARE(bottom->min(), 201.0);
  QCOMPARE(bottom->max(), 300.0);

  button("BTPrevious")->click();
  button("BTPrevious")->click();
  QCOMPARE(button("Bt10")->text(), QStringLiteral("1"));
  QCOMPARE(navigationStates(), (QList<bool>{true, true, true, true}));
  QCOMPARE(bottom->min(), 1.0);
  QCOMPARE(bottom->max(), 100.0);
  button("BTPrevious")->click();
  QCOMPARE(navigationStates(), (QList<bool>{false, false, true, true}));

  m_chart->plotReading(251, "7");
  // A reading on a later page leaves page 1 as it is.

  QCOMPARE(drawnPoints(0), 100);
  button("BtNext")->click();
  QCOMPARE(button("Bt10")->text(), QStringLiteral("2"));
  QCOMPARE(navigationStates(), (QList<bool>{true, true, true, true}));
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
}

void ChtshowTest::zeroPointsPerPageMeansOnePage() {
  plotReadings(250);
  button("BTlast")->click();
  control<QLineEdit>("Maxrecord")->setText(QStringLiteral("0"));
  QCOMPARE(m_chart->model().pageCount(), 1);
  QCOMPARE(m_chart->model().page(), 1);
  // The label follows the lowered page.

  QCOMPARE(button("Bt10")->text(), QStringLiteral("1"));
  QCOMPARE(drawnPoints(0), 250);
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

void ChtshowTest::enlargeInsideAScrolledWindowCoversWhatIsInView() {
  QScrollArea window;
  window.resize(619, 526);
  auto* content = new QWidget;
  content->resize(760, 830);
  m_chart->setParent(content);
  m_chart->setGeometry(18, 612, 361, 209);
  window.setWidget(content);
  window.show();
  window.verticalScrollBar()->setValue(window.verticalScrollBar()->maximum());
  const int scrolled = -content->y();
  QVERIFY(scrolled > 0);
  m_chart->setPlacement(std::make_unique<WidgetChartPlacement>(*m_chart, window.viewport()));
  const QSize outer = window.frameGeometry().size();

  m_chart->TbSxClick();
  QCOMPARE(m_chart->geometry(), QRect(2, 30 + scrolled, outer.width() - 12, outer.height() - 90));
  QCOMPARE(m_saved.top, 612 - scrolled);
  m_chart->TbSxClick();
  QCOMPARE(m_chart->geometry(), QRect(18, 612, 361, 209));
  m_chart->setParent(nullptr);
}

void ChtshowTest::deleteGraphicKeepsThePageLabel() {
  plotReadings(250);
  button("BTlast")->click();
  button("BtNew")->click();
  QCOMPARE(button("Bt10")->text(), QStringLiteral("3"));
  QCOMPARE(m_chart->model().page(), 3);
  QCOMPARE(m_chart->model().maxPointsPerPage(), 100);
  for (int i = 0; i < TrendChartModel::seriesCount; ++i) {
    QCOMPARE(m_chart->model().points(i).size(), std::size_t{1});
    QVERIFY(m_chart->model().holdsSamples(i));
  }
  m_chart->plotReading(251, "3,25");
  QCOMPARE(m_chart->model().points(0).size(), std::size_t{1});
  QCOMPARE(m_chart->model().points(0).front().y, 3.25);
  button("BtFirst")->click();
  QCOMPARE(drawnPoints(0), 1);
}

void ChtshowTest::nonNumericValuesAreLeftOut() {
  m_chart->plotReading(1, "0L");
  m_chart->plotReading(2, "----");
  m_chart->plotReading(3, "-");
  m_chart->plotReading(4, "");
  m_chart->plotReading(5, std::nullopt);
  m_chart->plotReading(std::nullopt, "1,5");
  m_chart->plotReading(6, "1.5");  // not this locale's separator
  QVERIFY(m_chart->model().holdsSamples(0));
  m_chart->plotReading(7, "-0,56");
  QCOMPARE(m_chart->model().points(0).size(), std::size_t{1});
  QCOMPARE(m_chart->model().points(0).front().x, 7.0);
  QCOMPARE(m_chart->model().points(0).front().y, -0.56);
  QCOMPARE(drawnPoints(0), 1);
}

void ChtshowTest::savesTheChartAsABitmap() {
  QTemporaryDir home;
  QVERIFY(home.isValid());
  const QByteArray oldHome = qgetenv("HOME");
  qputenv("HOME", home.path().toLocal8Bit());
  QVERIFY(QDir(home.path()).mkdir(QStringLiteral("TestGraph")));
  m_chart->setClock([] { return QDateTime(QDate(2024, 6, 15), QTime(14, 30, 59)); });
  plotReadings(250);
  button("BTlast")->click();

  button("BtSave")->click();
  qputenv("HOME", oldHome);
  const QString path = home.path() + QStringLiteral("/TestGraph/2406151430page3.bmp");
  QCOMPARE(m_informations, QStringList{QStringLiteral("graphic has saved on ") + path});
  QVERIFY(m_errors.isEmpty());
  QImageReader reader(path);
  QCOMPARE(reader.format(), QByteArray("bmp"));
  const QImage image = reader.read();
  QCOMPARE(image.size(), m_chart->size());
  QCOMPARE(QDir(home.path() + QStringLiteral("/TestGraph")).entryList(QDir::Files),
           QStringList{QStringLiteral("2406151430page3.bmp")});
  const QPoint inArea(m_chart->width() / 2, m_chart->height() - 25);
  // The area series is drawn.

  QCOMPARE(image.pixelColor(inArea), QColor(255, 255, 128));
}

void ChtshowTest::savingIntoAMissingFolderShowsOnlyTheError() {
  QTemporaryDir home;
  QVERIFY(home.isValid());
  const QByteArray oldHome = qgetenv("HOME");
  qputenv("HOME", home.path().toLocal8Bit());
  m_chart->setClock([] { return QDateTime(QDate(2024, 6, 15), QTime(14, 30)); });
  button("BtSave")->click();
  qputenv("HOME", oldHome);

  QVERIFY(m_informations.isEmpty());
  QCOMPARE(m_errors.size(), 1);
  QVERIFY2(
      m_errors.front().contains(home.path() + QStringLiteral("/TestGraph/2406151430page1.bmp")),
      qPrintable(m_errors.front()));
  QVERIFY(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

// The area series does not own its upper line; the chart must free it too.
void ChtshowTest::destroyingTheChartFreesEverySeries() {
  const QPointer<QLineSeries> upper = qobject_cast<QAreaSeries*>(series(0))->upperSeries();
  const QPointer<QAbstractSeries> line = series(1);
  QVERIFY(upper && line);
  m_chart.reset();
  QVERIFY(upper.isNull());
  QVERIFY(line.isNull());
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

}  // namespace ostrel

QTEST_MAIN(ostrel::ChtshowTest)
#include "ChtshowTest.moc"

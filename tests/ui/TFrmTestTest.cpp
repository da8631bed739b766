// The main window: start state, layout, mirror painting, menu, help key.
#include <sys/stat.h>

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPushButton>
#include <QRegion>
#include <QScopeGuard>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <memory>
#include <vector>

#include "StubDialogs.h"
#include "sim/frames/FrameBuilder.h"
#include "tests/support/TestLocales.h"
#include "ui/AppState.h"
#include "ui/HelpManual.h"
#include "ui/MirrorLayout.h"
#include "ui/QtDialogs.h"
#include "ui/ReportAndChart.h"
#include "ui/TFrmTest.h"
#include "ui/TestsWindow.h"
#include "ui/chart/Chtshow.h"

namespace ostrel::test {

namespace {

// The mirror's client area as painted, bevels excluded.
QImage mirrorImage(TFrmTest& window) {
  auto* mirror = window.findChild<QWidget*>(QStringLiteral("Panel4"));
  return mirror->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Bounding box of the pixels inside the bevels that are not white.
QRect inkBounds(const QImage& image) {
  QRect bounds;
  for (int y = 3; y < image.height() - 3; ++y) {
    for (int x = 3; x < image.width() - 3; ++x) {
      if (image.pixel(x, y) != qRgb(255, 255, 255)) bounds |= QRect(x, y, 1, 1);
    }
  }
  return bounds;
}

QTableView* grid(TFrmTest& window) {
  return window.findChild<QTableView*>(QStringLiteral("DBGrid1"));
}

QString cell(TFrmTest& window, int row, int column) {
  QAbstractItemModel* model = grid(window)->model();
  return model->data(model->index(row, column)).toString();
}

void appendRecords(TFrmTest& window, int count) {
  for (int i = 0; i < count; ++i) {
    window.table().append({i + 1, 1000 * i, std::string("1.5"), std::string("M\xA6\xB8"),
                           std::string("IR:500V 20G\xA6\xB8"), std::string("Continuous")});
  }
}

QRect elementBox(const MirrorRow& row) {
  const MirrorPanelRow& panel = mirrorPanel(row.parent);
  const QRect parent(panel.left, panel.top, panel.width, panel.height);
  return QRect(parent.left() + row.left, parent.top() + row.top, row.width, row.height)
      .intersected(parent);
}

// Collects the regions of a widget's paint events.
class PaintRegions : public QObject {
 public:
  explicit PaintRegions(QWidget* widget) : QObject(widget) { widget->installEventFilter(this); }
  QRegion painted;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
    return false;
  }
};

}  // namespace

class TFrmTestTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_log = DialogLog{};
    m_state = std::make_unique<AppState>();
    m_window = std::make_unique<TFrmTest>(*m_state, std::make_unique<StubDialogs>(m_log));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
  }
  void cleanup() {
    m_window.reset();
    m_state.reset();
  }

  void startState() {
    TFrmTest& w = *m_window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Ostrel 1.00"));
    QCOMPARE(QString::fromStdString(m_state->AppDirectory),
             QCoreApplication::applicationDirPath() + u'/');
    QVERIFY(w.findChild<QCheckBox*>(QStringLiteral("RepeatSet"))->isChecked());
    QVERIFY(!w.findChild<QCheckBox*>(QStringLiteral("RecordSI"))->isChecked());
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("RecordSITime"))->text(), QStringLiteral("10"));
    QCOMPARE(w.connectCaption(), QStringLiteral("Connect"));

    for (std::size_t i = 0; i < displayElementCount; ++i) {
      const auto e = static_cast<DisplayElement>(i);
      QCOMPARE(w.display().isVisible(e), e != DisplayElement::CONok);
    }

    auto* area = w.findChild<QScrollArea*>(QStringLiteral("ClientArea"));
    QCOMPARE(area->size(), QSize(619, 526));
    QVERIFY(area->horizontalScrollBar()->isVisible());
    QVERIFY(area->verticalScrollBar()->isVisible());
    QCOMPARE(w.scrollContent()->size(), QSize(757, 821));
    QVERIFY(!w.isMaximized());
    QCOMPARE(w.minimumSize(), w.maximumSize());

    QVERIFY(w.grab().save(QStringLiteral("window-start.png")));
    const QImage mirror = mirrorImage(w);
    QVERIFY(mirror.scaled(mirror.size() * 2).save(QStringLiteral("mirror-start-2x.png")));
  }

  void controlPlaces_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("place");
    QTest::newRow("Panel2") << "Panel2" << QRect(414, 2, 119, 27);
    QTest::newRow("Panel3") << "Panel3" << QRect(536, 2, 81, 27);
    QTest::newRow("Panel4") << "Panel4" << QRect(2, 30, 615, 289);
    QTest::newRow("Panel7") << "Panel7" << QRect(2, 320, 615, 33);
    QTest::newRow("DBGrid1") << "DBGrid1" << QRect(0, 348, 617, 177);
    QTest::newRow("Chtshow") << "Chtshow" << QRect(18, 612, 361, 209);
    QTest::newRow("SetFeature") << "SetFeature" << QRect(698, 694, 59, 33);
    QTest::newRow("RepeatSet") << "RepeatSet" << QRect(5, 5, 54, 20);
    QTest::newRow("RecordSI") << "RecordSI" << QRect(60, 4, 167, 19);
    QTest::newRow("RecordSITime") << "RecordSITime" << QRect(166, 0, 29, 22);
    QTest::newRow("SpeedButton2") << "SpeedButton2" << QRect(501, 4, 25, 21);
    QTest::newRow("SpeedButton1") << "SpeedButton1" << QRect(528, 4, 25, 21);
    QTest::newRow("SpeedButton3") << "SpeedButton3" << QRect(555, 4, 25, 21);
    QTest::newRow("MajPrint") << "MajPrint" << QRect(582, 4, 29, 21);
  }
  void controlPlaces() {
    QFETCH(QString, name);
    QFETCH(QRect, place);
    auto* control = m_window->findChild<QWidget*>(name);
    QVERIFY(control);
    QCOMPARE(control->geometry(), place);
    QVERIFY(control->isVisible());
  }

  // The caption is drawn in the box's contents rectangle and cut off at its edge.
  void checkBoxCaptionsFitTheirBoxes() {
    for (const char* name : {"RepeatSet", "RecordSI"}) {
      auto* box = m_window->findChild<QCheckBox*>(QString::fromLatin1(name));
      QStyleOptionButton option;
      option.initFrom(box);
      option.text = box->text();
      const QRect contents =
          box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
      const int needed = box->fontMetrics().horizontalAdvance(box->text());
      QVERIFY2(
          contents.width() >= needed,
          qPrintable(
              QStringLiteral("%1: %2 of %3 pixels").arg(name).arg(contents.width()).arg(needed)));
    }
  }

  void gridLiesOverToolbar() {
    auto* content = m_window->scrollContent();
    QWidget* atOverlap = content->childAt(300, 350);
    QVERIFY(atOverlap);
    QVERIFY(atOverlap == m_window->findChild<QWidget*>(QStringLiteral("DBGrid1")) ||
            m_window->findChild<QWidget*>(QStringLiteral("DBGrid1"))->isAncestorOf(atOverlap));
    // The interval edit covers the blanks of RecordSI's caption.
    QWidget* overCaption =
        m_window->findChild<QWidget*>(QStringLiteral("Panel7"))->childAt(180, 10);
    QCOMPARE(overCaption, m_window->findChild<QWidget*>(QStringLiteral("RecordSITime")));
  }

  void hintsOnlyOnTheFourSpeedButtons() {
    const QMap<QString, QString> hints = {{"SpeedButton2", "Delete Data"},
                                          {"SpeedButton1", "Save Data"},
                                          {"SpeedButton3", "Open Data"},
                                          {"MajPrint", "Print Data"}};
    for (QWidget* widget : m_window->findChildren<QWidget*>()) {
      QCOMPARE(widget->toolTip(), hints.value(widget->objectName()));
    }
  }

  // The Tests menu opens the Tests window over cds1: a timed 1000 V test recorded with the
  // meter's timer is listed with its figures and verdict.
  void testsWindowListsTheTestsOfTheTable() {
    for (int t = 0; t <= 60; t += 5) {
      m_window->table().append({t / 5 + 1, 36'000'000 + t * 1000, t == 60 ? "200.0" : "150.0",
                                "M\xA6\xB8", "IR:1000V 40G\xA6\xB8", "Timed", t});
    }
    m_window->findChild<QAction*>(QStringLiteral("Tests"))->trigger();
    TestsWindow* tests = m_window->testsWindow();
    QVERIFY(tests != nullptr);
    QVERIFY(tests->isVisible());
    auto* list = tests->findChild<QTableWidget*>(QStringLiteral("TestList"));
    QTRY_VERIFY(!tests->analysing());  // the tests are found on a worker
    QCOMPARE(list->rowCount(), 1);
    QCOMPARE(list->item(0, 1)->text(), QStringLiteral("1000 V"));
    QCOMPARE(list->item(0, 3)->text(), QStringLiteral("60 s"));
    QCOMPARE(list->item(0, 7)->text(), QStringLiteral("200.0 M\u03A9"));
    QCOMPARE(list->item(0, 14)->text(), QStringLiteral("pass"));
    // The winding temperature entered in the test record corrects R(1 min): 20 °C gives a
    // quarter, 50 MΩ, below 100 MΩ.
    auto* winding = tests->findChild<QLineEdit*>(QStringLiteral("WindingC"));
    winding->setText(QStringLiteral("20"));
    tests->refresh();
    QTRY_VERIFY(!tests->analysing());
    QCOMPARE(list->item(0, 9)->text(), QStringLiteral("50.00 M\u03A9"));
    QCOMPARE(list->item(0, 14)->text(), QStringLiteral("fail"));
    // What is entered and chosen goes to the workbook, and to the report when asked for.
    tests->findChild<QLineEdit*>(QStringLiteral("Customer"))->setText(QStringLiteral("M\u00FChle"));
    tests->findChild<QComboBox*>(QStringLiteral("Dar"))->setCurrentIndex(1);
    const WorkbookTests saved = tests->workbookTests();
    QCOMPARE(saved.record.customer, std::string("M\xC3\xBChle"));
    QCOMPARE(saved.record.windingC, std::string("20"));
    QCOMPARE(saved.judgement.windingTemperatureC, std::optional<double>(20));
    QVERIFY(saved.judgement.dar == DarMarks::R60R15);
    QVERIFY(!tests->reportSummary());
    tests->findChild<QCheckBox*>(QStringLiteral("PrintSummary"))->setChecked(true);
    const std::optional<TestSummary> summary = tests->reportSummary();
    QVERIFY(summary);
    QCOMPARE(summary->tests.size(), std::size_t{1});
    QCOMPARE(summary->tests.front().verdict, std::string("fail"));
    QCOMPARE(summary->record.customer, std::string("M\xC3\xBChle"));
    tests->close();
  }

  void recordLimitMenu() {
    QMenu* recordSet = m_window->findChild<QMenu*>(QStringLiteral("RecordSet"));
    QCOMPARE(recordSet->title(), QStringLiteral(" RecordSet"));
    QStringList captions;
    for (QAction* item : recordSet->actions()) {
      captions << item->text();
      QVERIFY(item->shortcut().isEmpty());
    }
    QCOMPARE(captions, QStringList({"1000", "5000", "10000", "50000", "100000", "Limitless"}));
    QCOMPARE(m_window->menuBar()->actions().size(), 2);
    QCOMPARE(m_window->menuBar()->actions().front()->text(), QStringLiteral("Record"));
    QCOMPARE(m_window->menuBar()->actions().back()->text(), QStringLiteral("Tests"));

    auto checkedItems = [&] {
      QStringList checked;
      for (QAction* item : recordSet->actions()) {
        if (item->isChecked()) checked << item->objectName();
      }
      return checked;
    };
    QCOMPARE(checkedItems(), QStringList{"set10k"});
    QCOMPARE(m_state->recording.RecordLimit, 10000);
    const std::pair<const char*, int> entries[] = {{"set1k", 1000},        {"set5k", 5000},
                                                   {"set50k", 50000},      {"set100k", 100000},
                                                   {"setlimit", 10000000}, {"set10k", 10000}};
    for (const auto& [name, limit] : entries) {
      m_window->findChild<QAction*>(QString::fromLatin1(name))->trigger();
      QCOMPARE(checkedItems(), QStringList{QString::fromLatin1(name)});
      QCOMPARE(m_state->recording.RecordLimit, limit);
    }
  }

  void mirrorLayoutHasEveryElementOnce() {
    std::array<int, displayElementCount> seen{};
    for (const MirrorRow& row : mirrorRows()) {
      ++seen[static_cast<std::size_t>(row.element)];
      if (DisplayModel::isDigit(row.element)) QCOMPARE(row.kind, MirrorKind::Glyphs);
    }
    for (std::size_t i = 0; i < displayElementCount; ++i) {
      QCOMPARE(seen[i], static_cast<DisplayElement>(i) == DisplayElement::KD ? 0 : 1);
    }
  }

  // Each element alone paints ink, and only inside its own box cut by its sub-panel.
  void eachElementPaintsInsideItsBox() {
    DisplayModel& model = m_window->display();
    for (const MirrorRow& row : mirrorRows()) {
      for (std::size_t i = 0; i < displayElementCount; ++i) {
        model.setVisible(static_cast<DisplayElement>(i), false);
      }
      model.setVisible(DisplayElement::KD, true);
      model.setVisible(row.element, true);
      const QRect ink = inkBounds(mirrorImage(*m_window));
      const QByteArray name(displayElementName(row.element).data(),
                            static_cast<qsizetype>(displayElementName(row.element).size()));
      QVERIFY2(!ink.isEmpty(), name.constData());
      QVERIFY2(elementBox(row).contains(ink), name.constData());
    }
  }

  void hiddenPanelKDHidesTheBarGraph() {
    DisplayModel& model = m_window->display();
    model.DispInit(0);
    for (DisplayElement e :
         {DisplayElement::LabelA, DisplayElement::LabelB, DisplayElement::LabelC,
          DisplayElement::LabelD, DisplayElement::Label3, DisplayElement::Label7,
          DisplayElement::Label10, DisplayElement::Label9, DisplayElement::H_Time1,
          DisplayElement::H_Time2, DisplayElement::M_Time1, DisplayElement::M_Time2,
          DisplayElement::stor2, DisplayElement::CONokN, DisplayElement::rsUSB}) {
      model.setVisible(e, false);
    }
    const QImage withScale = mirrorImage(*m_window);
    QVERIFY(!inkBounds(withScale).isEmpty());  // the scale stays
    model.setVisible(DisplayElement::KD, false);
    QVERIFY(inkBounds(mirrorImage(*m_window)).isEmpty());
  }

  void digitCaptionChangesThePicture() {
    DisplayModel& model = m_window->display();
    const QImage eight = mirrorImage(*m_window);
    model.setCaption(DisplayElement::LabelA, '1');
    const QImage one = mirrorImage(*m_window);
    QVERIFY(eight != one);
    model.setCaption(DisplayElement::LabelA, '8');
    QCOMPARE(mirrorImage(*m_window), eight);
  }

  // A frame that changes one digit repaints that digit's box, not the whole mirror.
  void mirrorRepaintsOnlyWhatChanged() {
    QApplication::processEvents();
    auto* mirror = m_window->findChild<QWidget*>(QStringLiteral("Panel4"));
    auto* regions = new PaintRegions(mirror);
    m_window->display().setCaption(DisplayElement::LabelB, '1');
    m_window->refreshMirror();
    QTRY_VERIFY(!regions->painted.isEmpty());
    QRect digit;
    for (const MirrorRow& row : mirrorRows()) {
      if (row.element == DisplayElement::LabelB) digit |= elementBox(row);
    }
    QVERIFY(!digit.isEmpty());
    QCOMPARE(regions->painted.boundingRect(), digit);
    regions->painted = QRegion();
    m_window->refreshMirror();  // nothing changed since
    QApplication::processEvents();
    QVERIFY(regions->painted.isEmpty());
  }

  void gridColumns() {
    QTableView* view = grid(*m_window);
    QAbstractItemModel* model = view->model();
    const QStringList titles = {"Measurement No.", "Time", "Value", "Unit", "Function", "Remark"};
    const int widths[] = {106, 92, 72, 78, 109, 132};
    QCOMPARE(model->columnCount(), 6);
    for (int c = 0; c < 6; ++c) {
      QCOMPARE(model->headerData(c, Qt::Horizontal).toString(), titles[c]);
      QCOMPARE(view->columnWidth(c), widths[c]);
    }
    QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
    QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(view->verticalHeader()->isVisible());
  }

  // Wherever the window is scrolled (its scroll bars lie over the grid's right and bottom
  // edges at the start), each new record's row is wholly in sight and so is the grid's own
  // scroll bar; the grid keeps its place and size.
  void newestRowAndGridScrollBarInSight_data() {
    QTest::addColumn<int>("scrollX");
    QTest::addColumn<int>("scrollY");
    QTest::newRow("start") << 0 << 0;
    QTest::newRow("scrolled right") << 1000 << 0;
    QTest::newRow("scrolled down a little") << 0 << 40;
    QTest::newRow("scrolled down far") << 0 << 1000;
  }
  void newestRowAndGridScrollBarInSight() {
    QFETCH(int, scrollX);
    QFETCH(int, scrollY);
    auto* area = m_window->findChild<QScrollArea*>(QStringLiteral("ClientArea"));
    area->horizontalScrollBar()->setValue(scrollX);
    area->verticalScrollBar()->setValue(scrollY);
    QTableView* view = grid(*m_window);
    QWidget* client = m_window->clientViewport();
    const QRect inSight = client->rect();
    const auto placeInClient = [client](const QWidget* widget, const QRect& rect) {
      return QRect(widget->mapTo(client, rect.topLeft()), rect.size());
    };
    for (int count = 1; count <= 40; ++count) {
      m_window->table().append(
          {count, 1000 * count, std::string("1.5"), std::nullopt, std::nullopt, std::nullopt});
      QApplication::processEvents();
      const QModelIndex current = view->currentIndex();
      QCOMPARE(current.row(), count - 1);
      const QRect row = placeInClient(view->viewport(), view->visualRect(current));
      if (!inSight.intersects(placeInClient(view, view->rect()))) continue;  // grid out of sight
      QVERIFY2(row.top() >= 0 && row.bottom() <= inSight.bottom() &&
                   view->viewport()->rect().contains(view->visualRect(current)),
               qPrintable(QStringLiteral("row %1 at %2..%3, client height %4")
                              .arg(count)
                              .arg(row.top())
                              .arg(row.bottom())
                              .arg(inSight.height())));
    }
    QCOMPARE(view->geometry(), QRect(0, 348, 617, 177));
    if (scrollX == 0 && scrollY == 0) {
      QVERIFY(m_window->grab().save(QStringLiteral("window-newest-row.png")));
    }
    if (scrollY < 1000) {
      QScrollBar* bar = nullptr;
      for (QScrollBar* candidate : view->findChildren<QScrollBar*>()) {
        if (candidate->isVisible() && candidate->orientation() == Qt::Vertical) bar = candidate;
      }
      QVERIFY(bar);
      QVERIFY(inSight.contains(placeInClient(bar, bar->rect())));
      QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() / 3));
      QVERIFY(view->verticalScrollBar()->value() < view->verticalScrollBar()->maximum());
    }
  }

  // Two decoded frames: the mirror follows, and each appends a row that becomes current.
  void decodedFramesUpdateMirrorAndGrid() {
    TFrmTest& w = *m_window;
    std::vector<std::size_t> recordedRows;
    w.setRecordedHook([&](std::size_t row) { recordedRows.push_back(row); });
    const QImage before = mirrorImage(w);
    const std::string first = sim::FrameBuilder()
                                  .mainDigits("1.234")
                                  .unit("M\u03A9")
                                  .testVoltage(" 500")
                                  .barGraph(12)
                                  .symbol("IGPower")
                                  .symbol("powerV1")
                                  .symbol("powerv2")
                                  .text();
    QCOMPARE(w.ShowData860(first), FrameDecoder::Outcome::Decoded);
    QCOMPARE(w.display().caption(DisplayElement::LabelA), '1');
    QVERIFY(w.display().isVisible(DisplayElement::CONok));
    QVERIFY(!w.display().isVisible(DisplayElement::bar12));
    const QImage lit = mirrorImage(w);
    QVERIFY(lit != before);
    QVERIFY(lit.scaled(lit.size() * 2).save(QStringLiteral("mirror-frame1-2x.png")));

    QCOMPARE(grid(w)->model()->rowCount(), 1);
    QCOMPARE(cell(w, 0, 0), QStringLiteral("1"));
    QVERIFY(cell(w, 0, 2).startsWith(u'1'));
    QCOMPARE(cell(w, 0, 3), QStringLiteral("M\u03A9"));
    QCOMPARE(grid(w)->currentIndex().row(), 0);

    const std::string second =
        sim::FrameBuilder().mainDigits("0.05").unit("G\u03A9").symbol("labp1").text();
    QCOMPARE(w.ShowData860(second), FrameDecoder::Outcome::Decoded);
    QCOMPARE(grid(w)->model()->rowCount(), 2);
    QCOMPARE(grid(w)->currentIndex().row(), 1);
    QCOMPARE(cell(w, 1, 0), QStringLiteral("2"));
    QCOMPARE(cell(w, 1, 3), QString());  // a PI ratio has no unit
    QCOMPARE(cell(w, 1, 5), QStringLiteral("PI"));
    QVERIFY(w.grab().save(QStringLiteral("window-frames.png")));
    const QImage rows = grid(w)->grab().toImage();
    QVERIFY(rows.scaled(rows.size() * 2).save(QStringLiteral("grid-frames-2x.png")));

    std::string broken = second;
    broken.replace(40, 4, "0D0B");
    QCOMPARE(w.ShowData860(broken), FrameDecoder::Outcome::Dropped);
    QCOMPARE(grid(w)->model()->rowCount(), 2);
    QCOMPARE(recordedRows, (std::vector<std::size_t>{0, 1}));
  }

  // The separator is the one of the locale the process runs in, read when the window is made:
  // a comma locale records a comma, a locale that cannot be loaded runs as "C" and records ".".
  void recordedValueUsesTheLocaleSeparator_data() {
    QTest::addColumn<bool>("comma");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("value");
    QTest::newRow("comma") << true << QString(test::CommaLocale::name) << QStringLiteral("1,234");
    QTest::newRow("unloadable") << false << QStringLiteral("xx_NOWHERE.UTF-8")
                                << QStringLiteral("1.234");
  }
  void recordedValueUsesTheLocaleSeparator() {
    QFETCH(bool, comma);
    QFETCH(QString, lang);
    QFETCH(QString, value);
    static const test::CommaLocale commaLocale;
    if (comma && !commaLocale.problem().empty()) {
      QSKIP(commaLocale.problem().c_str());
    }
    const QByteArray langBytes = lang.toUtf8();
    const test::ScopedEnvironment environment{{"LOCPATH", commaLocale.locPath()},
                                              {"LC_ALL", nullptr},
                                              {"LC_NUMERIC", nullptr},
                                              {"LANG", langBytes.constData()}};
    AppState state;
    TFrmTest w(state, std::make_unique<StubDialogs>(m_log));
    ReportAndChart companions(w, state);
    QCOMPARE(w.ShowData860(sim::FrameBuilder().mainDigits("1.234").unit("MΩ").text()),
             FrameDecoder::Outcome::Decoded);
    QCOMPARE(w.table().recordCount(), std::size_t{1});
    QCOMPARE(cell(w, 0, 2), value);
    const auto plotted = companions.chart().model().rows().at(0);
    QVERIFY(plotted);
    QCOMPARE(plotted->base, 1.234e6);
  }

  void chartPlotsRecordsAndPrintIsConnected() {
    TFrmTest& w = *m_window;
    ReportAndChart companions(w, *m_state);
    const Chtshow& chart = companions.chart();
    QCOMPARE(chart.geometry(), QRect(18, 612, 361, 209));
    for (const char* value : {"1.5", "2.5", "0L"}) {
      QCOMPARE(w.ShowData860(sim::FrameBuilder().mainDigits(value).unit("MΩ").text()),
               FrameDecoder::Outcome::Decoded);
    }
    // The overload "0L" is recorded and plotted as over range; the sample point gave way.
    QCOMPARE(w.table().recordCount(), std::size_t{3});
    QVERIFY(!chart.model().holdsSamples());
    QCOMPARE(chart.model().rows().size(), std::size_t{3});
    QVERIFY(chart.model().rows().at(1));
    QVERIFY(chart.model().rows().at(2) && chart.model().rows().at(2)->overRange);

    m_log.yesNoAnswer = true;
    w.ClearRClick();
    QVERIFY(chart.model().holdsSamples());  // the sample point again
  }

  // Enlarge covers the client area below the top row of controls wherever the window is
  // scrolled, inside the scroll bars; Restore brings the whole chart back into view.
  void enlargeAndRestoreTheChartInAScrolledWindow_data() {
    QTest::addColumn<int>("scrollX");
    QTest::addColumn<int>("scrollY");
    QTest::newRow("not scrolled") << 0 << 0;
    QTest::newRow("scrolled to the chart") << 1000 << 1000;
    QTest::newRow("scrolled halfway") << 0 << 150;
  }
  void enlargeAndRestoreTheChartInAScrolledWindow() {
    QFETCH(int, scrollX);
    QFETCH(int, scrollY);
    TFrmTest& w = *m_window;
    ReportAndChart companions(w, *m_state);
    Chtshow& chart = companions.chart();
    auto* area = w.findChild<QScrollArea*>(QStringLiteral("ClientArea"));
    area->horizontalScrollBar()->setValue(scrollX);
    area->verticalScrollBar()->setValue(scrollY);
    QWidget* viewport = area->viewport();
    const auto inView = [&] { return QRect(chart.mapTo(viewport, QPoint()), chart.size()); };

    QTest::mouseClick(chart.findChild<QWidget*>(QStringLiteral("TbFd")), Qt::LeftButton);
    QCoreApplication::processEvents();
    const QRect enlarged = inView();
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-');
    QVERIFY(w.grab().save(QStringLiteral("chart-enlarged-%1.png").arg(tag)));
    QCOMPARE(enlarged.topLeft(), QPoint(2, 30));
    QVERIFY2(viewport->rect().contains(enlarged), qPrintable(QStringLiteral("%1,%2 %3x%4 in %5x%6")
                                                                 .arg(enlarged.x())
                                                                 .arg(enlarged.y())
                                                                 .arg(enlarged.width())
                                                                 .arg(enlarged.height())
                                                                 .arg(viewport->width())
                                                                 .arg(viewport->height())));
    QVERIFY(enlarged.height() > 400);

    QTest::mouseClick(chart.findChild<QWidget*>(QStringLiteral("TbSx")), Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(w.grab().save(QStringLiteral("chart-restored-%1.png").arg(tag)));
    QCOMPARE(chart.geometry(), QRect(18, 612, 361, 209));
    const QRect restored = inView();
    QVERIFY2(viewport->rect().contains(restored), qPrintable(QStringLiteral("%1,%2 in %3x%4")
                                                                 .arg(restored.x())
                                                                 .arg(restored.y())
                                                                 .arg(viewport->width())
                                                                 .arg(viewport->height())));
  }

  void intervalKeyFilter_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("countdown");
    QTest::newRow("digits pass") << "5"
                                 << "105" << 105;
    QTest::newRow("letters, signs, blanks refused") << "a-+ .x7"
                                                    << "107" << 107;
    QTest::newRow("enter refused, nothing changes") << "\r"
                                                    << "10" << 0;
  }
  void intervalKeyFilter() {
    QFETCH(QString, typed);
    QFETCH(QString, text);
    QFETCH(int, countdown);
    auto* edit = m_window->findChild<QLineEdit*>(QStringLiteral("RecordSITime"));
    QCOMPARE(m_state->recording.IntervalCountdown, 0);  // the start text did not count
    edit->setFocus();
    edit->end(false);
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), text);
    QCOMPARE(m_state->recording.IntervalCountdown, countdown);
  }

  void intervalEditingKeys() {
    auto* edit = m_window->findChild<QLineEdit*>(QStringLiteral("RecordSITime"));
    edit->setFocus();
    edit->end(false);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(edit->text(), QStringLiteral("1"));
    QCOMPARE(m_state->recording.IntervalCountdown, 1);
    edit->setText(QStringLiteral("42"));
    QTest::keyClick(edit, Qt::Key_Home);
    QTest::keyClick(edit, Qt::Key_Delete);
    QCOMPARE(edit->text(), QStringLiteral("2"));
    QApplication::clipboard()->setText(QStringLiteral("-9"));
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), QStringLiteral("92"));  // a paste keeps only its digits
    QApplication::clipboard()->setText(QStringLiteral("a3 b4"));
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), QStringLiteral("9342"));
    QTest::keyClick(edit, Qt::Key_Left);
    QTest::keyClick(edit, Qt::Key_Delete);
    QCOMPARE(edit->text(), QStringLiteral("932"));
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, QStringLiteral("8"));
    QCOMPARE(edit->text(), QStringLiteral("8"));
    QCOMPARE(m_state->recording.IntervalCountdown, 8);
  }

  // The interval is checked as it is typed, ticked or not: once ten digits make a number too
  // large, the box is marked and the note gives the reason; no message box ever comes up.
  // Letters are refused without a word, and an empty box with the tick records every reading.
  void intervalIsCheckedAsTyped_data() {
    QTest::addColumn<bool>("ticked");
    QTest::newRow("unticked") << false;
    QTest::newRow("ticked") << true;
  }
  void intervalIsCheckedAsTyped() {
    QFETCH(bool, ticked);
    auto* edit = m_window->findChild<QLineEdit*>(QStringLiteral("RecordSITime"));
    auto* note = m_window->findChild<QLabel*>(QStringLiteral("RecordHeld"));
    m_window->findChild<QCheckBox*>(QStringLiteral("RecordSI"))->setChecked(ticked);
    const QColor plain = edit->palette().color(QPalette::Base);
    m_window->activateWindow();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("7"));
    QCOMPARE(m_state->recording.IntervalCountdown, 7);
    QTest::keyClicks(edit, QStringLiteral("abc"));
    QCOMPARE(edit->text(), QStringLiteral("7"));
    QVERIFY(note->isHidden());
    edit->selectAll();
    const QString typed = QStringLiteral("99999999999");
    for (int n = 1; n <= typed.size(); ++n) {
      QTest::keyClick(edit, Qt::Key_9);
      const bool tooLarge = n >= 10;
      QCOMPARE(note->isVisible(), tooLarge);
      QCOMPARE(edit->palette().color(QPalette::Base) != plain, tooLarge);
      if (n == 10)
        QCOMPARE(note->text(), QStringLiteral("'9999999999' is not a valid integer value"));
    }
    QCOMPARE(m_log.errors, QStringList());
    QCOMPARE(m_state->recording.IntervalCountdown, 999'999'999);  // the last usable text

    edit->clear();
    QVERIFY(note->isHidden());
    QCOMPARE(edit->palette().color(QPalette::Base), plain);
    for (const char* value : {"1.5", "2.5", "3.5"}) {
      m_window->ShowData860(sim::FrameBuilder().mainDigits(value).unit("MΩ").text());
    }
    QCOMPARE(m_window->table().recordCount(), std::size_t{3});
    QCOMPARE(m_log.errors, QStringList());
    QVERIFY(note->isHidden());
  }

  void samplingTimerCountsDown() {
    auto* timer = m_window->findChild<QTimer*>(QStringLiteral("SampInterTime"));
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 1000);
    m_window->findChild<QCheckBox*>(QStringLiteral("RecordSI"))->setChecked(true);
    m_window->findChild<QLineEdit*>(QStringLiteral("RecordSITime"))->setText(QStringLiteral("3"));
    m_window->SampInterTimeTimer();
    QCOMPARE(m_state->recording.IntervalCountdown, 2);
  }

  void deleteData_data() {
    QTest::addColumn<bool>("yes");
    QTest::newRow("answered No") << false;
    QTest::newRow("answered Yes") << true;
  }
  void deleteData() {
    QFETCH(bool, yes);
    appendRecords(*m_window, 3);
    m_state->recording.RecordNo = 4;
    m_log.yesNoAnswer = yes;
    QTest::mouseClick(m_window->findChild<QWidget*>(QStringLiteral("SpeedButton2")),
                      Qt::LeftButton);
    QCOMPARE(m_log.questions,
             QStringList{"Do you want to remove the current data and create a new data?"});
    QCOMPARE(grid(*m_window)->model()->rowCount(), yes ? 0 : 3);
    QCOMPARE(m_state->recording.RecordNo, yes ? 1 : 4);
  }

  void saveAndOpen() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("readings.xls"));
    appendRecords(*m_window, 3);
    auto click = [&](const char* name) {
      QTest::mouseClick(m_window->findChild<QWidget*>(QString::fromLatin1(name)), Qt::LeftButton);
    };

    click("SpeedButton1");  // cancelled
    QCOMPARE(m_log.saveAsked, 1);
    QVERIFY(!QFile::exists(path));
    QVERIFY(m_log.messages.isEmpty());

    m_log.saveAnswer = path;
    click("SpeedButton1");
    QVERIFY(QFile::exists(path));
    QCOMPARE(m_log.messages,
             QStringList{QStringLiteral("Save table to specified file: %1 Scuss!").arg(path)});
    QCOMPARE(grid(*m_window)->currentIndex().row(), 2);

    m_log.openAnswer = path;
    click("SpeedButton3");
    QCOMPARE(grid(*m_window)->model()->rowCount(), 6);
    QCOMPARE(cell(*m_window, 5, 3), QStringLiteral("M\u03A9"));
    QVERIFY(m_log.errors.isEmpty());
    QCOMPARE(m_log.messages.size(), 1);

    const QString empty = dir.filePath(QStringLiteral("empty.txt"));
    QFile(empty).open(QIODevice::WriteOnly);
    m_log.openAnswer = empty;
    click("SpeedButton3");
    // The fixed message, and under it the reason the load found.
    QCOMPARE(m_log.errors, QStringList{QStringLiteral("Error|Failed to Load File!\nempty")});
    QCOMPARE(grid(*m_window)->model()->rowCount(), 6);

    // A FIFO is refused at once: waiting for a writer would freeze the window.
    const QString fifo = dir.filePath(QStringLiteral("fifo.xls"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    m_log.openAnswer = fifo;
    click("SpeedButton3");
    QCOMPARE(m_log.errors.size(), 2);
    QCOMPARE(m_log.errors.last(), QStringLiteral("Error|Failed to Load File!\na FIFO"));
    QCOMPARE(grid(*m_window)->model()->rowCount(), 6);

    m_log.saveAnswer = dir.filePath(QStringLiteral("missing/readings.xls"));
    click("SpeedButton1");
    QCOMPARE(m_log.messages.last(),
             QStringLiteral("Could not save table to specified file: %1").arg(*m_log.saveAnswer));
  }

  // Readings recorded since the last save are asked about before Exit, closing the window or
  // opening a data packet drops them (Save / Discard / Cancel); with nothing unsaved,
  // nothing is asked.
  void unsavedReadingsAreAskedAboutBeforeTheyAreDropped() {
    TFrmTest& w = *m_window;
    QTemporaryDir dir;
    const QString packet = dir.filePath(QStringLiteral("readings.xml"));
    const QString text = dir.filePath(QStringLiteral("readings.xls"));
    auto record = [&] {
      QCOMPARE(w.ShowData860(sim::FrameBuilder().mainDigits("1.234").unit("M\u03A9").text()),
               FrameDecoder::Outcome::Decoded);
    };
    auto click = [&](const char* name) {
      QTest::mouseClick(w.findChild<QWidget*>(QString::fromLatin1(name)), Qt::LeftButton);
    };

    QVERIFY(w.close());  // nothing recorded: no question
    w.show();
    QVERIFY(m_log.unsavedQuestions.isEmpty());

    record();
    QVERIFY(w.hasUnsavedReadings());
    m_log.unsavedAnswer = UnsavedReadingsAnswer::Cancel;
    QVERIFY(!w.close());
    click("Panel3");  // Exit, cancelled: the program goes on
    QCOMPARE(m_log.unsavedQuestions.size(), 2);
    QVERIFY(m_log.unsavedQuestions.first().contains(QStringLiteral("Discard drops them")));

    // Save, but the file dialog is cancelled: nothing is dropped.
    m_log.unsavedAnswer = UnsavedReadingsAnswer::Save;
    QVERIFY(!w.close());
    QCOMPARE(m_log.saveAsked, 1);
    m_log.saveAnswer = text;
    QVERIFY(w.close());
    w.show();
    QVERIFY(QFile::exists(text));
    QVERIFY(!w.hasUnsavedReadings());
    const qsizetype asked = m_log.unsavedQuestions.size();

    // A saved table is dropped without a question.
    m_log.saveAnswer = packet;
    click("SpeedButton1");
    m_log.openAnswer = packet;
    click("SpeedButton3");
    QCOMPARE(m_log.unsavedQuestions.size(), asked);
    QCOMPARE(grid(w)->model()->rowCount(), 1);

    // A packet replaces the table: unsaved readings are asked about; a text file appends.
    record();
    m_log.unsavedAnswer = UnsavedReadingsAnswer::Cancel;
    click("SpeedButton3");
    QCOMPARE(m_log.unsavedQuestions.size(), asked + 1);
    QCOMPARE(grid(w)->model()->rowCount(), 2);
    m_log.openAnswer = text;
    click("SpeedButton3");
    QCOMPARE(m_log.unsavedQuestions.size(), asked + 1);
    QCOMPARE(grid(w)->model()->rowCount(), 3);
    m_log.openAnswer = packet;
    m_log.unsavedAnswer = UnsavedReadingsAnswer::Discard;
    click("SpeedButton3");
    QCOMPARE(m_log.unsavedQuestions.size(), asked + 2);
    QCOMPARE(grid(w)->model()->rowCount(), 1);
    QVERIFY(!w.hasUnsavedReadings());
    QVERIFY(w.close());
  }

  void realFileDialogs() {
    QtDialogs dialogs;
    QFileDialog& save = dialogs.SaveDialog2();
    QCOMPARE(save.nameFilters(), QStringList({"Excel File(*.xls)", "XML(*.xml)", "Txt File(*.txt)",
                                              "Excel Workbook (*.xlsx)"}));
    QCOMPARE(save.defaultSuffix(), QStringLiteral("xls"));
    QCOMPARE(save.acceptMode(), QFileDialog::AcceptSave);
    QVERIFY(!save.testOption(QFileDialog::DontConfirmOverwrite));
    QCOMPARE(dialogs.OpenDialog1().nameFilters(),
             QStringList({"Excel File(*.xls)", "XML (*.xml)", "Txt File(*.txt)"}));
    QCOMPARE(dialogs.OpenDialog1().acceptMode(), QFileDialog::AcceptOpen);
  }

  // A user types the start of a file's name (the name completer pops up) and saves; the next
  // save starts empty; nothing stays on screen and no settings file is written.
  void realFileDialogsStartEmptyAndLeaveNothingBehind() {
    const QFileInfo qtSettings(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/QtProject.conf"));
    const bool settingsExisted = qtSettings.exists();
    const QDateTime settingsWritten = qtSettings.lastModified();
    QTemporaryDir dir;
    QFile(dir.filePath(QStringLiteral("readings.xls"))).open(QIODevice::WriteOnly);

    auto dialogs = std::make_unique<QtDialogs>();
    bool popupShown = false;
    QTimer::singleShot(0, this, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      auto closeOnFailure = qScopeGuard([dialog] { dialog->reject(); });
      dialog->setDirectory(dir.path());
      auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
      QVERIFY(name && name->completer());
      auto* files = dialog->findChild<QListView*>(QStringLiteral("listView"));
      QTRY_VERIFY_WITH_TIMEOUT(files->model()->rowCount(files->rootIndex()) == 1, 5000);
      QVERIFY(QTest::qWaitForWindowActive(dialog));
      name->setFocus();
      QTest::keyClicks(name, QStringLiteral("rea"));
      QTRY_VERIFY_WITH_TIMEOUT(name->completer()->popup()->isVisible(), 5000);
      popupShown = true;
      QTest::keyClicks(name, QStringLiteral("x"));
      closeOnFailure.dismiss();
      dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
    });
    QCOMPARE(dialogs->chooseSaveFile(m_window.get()), dir.filePath(QStringLiteral("reax.xls")));
    QVERIFY(popupShown);
    QTest::qWait(300);  // the folder model may still deliver rows to the completer
    for (QWidget* top : QApplication::topLevelWidgets()) {
      QVERIFY2(!top->isVisible() || top == m_window.get(), qPrintable(top->objectName()));
    }

    QString nameAtStart = QStringLiteral("not asked");
    QTimer::singleShot(0, this, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      nameAtStart = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
      dialog->reject();
    });
    QCOMPARE(dialogs->chooseSaveFile(m_window.get()), std::nullopt);
    QCOMPARE(nameAtStart, QString());

    dialogs.reset();
    const QFileInfo after(qtSettings.filePath());
    QCOMPARE(after.exists(), settingsExisted);
    if (settingsExisted) QCOMPARE(after.lastModified(), settingsWritten);
    QVERIFY(!QFileInfo::exists(
        QSettings(QSettings::UserScope, QStringLiteral("QtProject")).fileName()));
  }

  // Tab and Shift+Tab leave the grid for the next and previous control from any row, the
  // last one included; the arrows move inside it.
  void tabLeavesTheGridArrowsMoveInside() {
    appendRecords(*m_window, 5);
    QTableView* view = grid(*m_window);
    m_window->activateWindow();
    const auto leftGrid = [view] {
      QWidget* focus = QApplication::focusWidget();
      return focus != nullptr && focus != view && !view->isAncestorOf(focus);
    };
    for (int row : {0, view->model()->rowCount() - 1}) {
      for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
        view->setFocus();
        view->setCurrentIndex(view->model()->index(row, 0));
        QTest::keyClick(view, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        QVERIFY2(leftGrid(), qPrintable(QStringLiteral("row %1 key %2").arg(row).arg(key)));
        QCOMPARE(view->currentIndex().row(), row);
      }
    }
    view->setFocus();
    view->setCurrentIndex(view->model()->index(0, 0));
    QTest::keyClick(view, Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), view);
    QCOMPARE(view->currentIndex().row(), 1);
    QTest::keyClick(view, Qt::Key_Right);
    QCOMPARE(QApplication::focusWidget(), view);
  }

  // The window's commands have the usual desktop keys, from whatever control has the focus.
  void commandShortcuts() {
    int print = 0, connectClicks = 0;
    m_window->setPrintHandler([&] { ++print; });
    m_window->setConnectHandler([&] { ++connectClicks; });
    m_window->ShowData860(sim::FrameBuilder().mainDigits("1.5").unit("MΩ").text());  // unsaved
    m_log.unsavedAnswer = UnsavedReadingsAnswer::Cancel;
    m_window->activateWindow();
    grid(*m_window)->setFocus();
    const auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
      QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    };
    press(Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(m_log.saveAsked, 1);
    press(Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(print, 1);
    press(Qt::Key_F5);
    QCOMPARE(connectClicks, 1);
    press(Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(m_log.openAsked, 1);
    press(Qt::Key_Q, Qt::ControlModifier);  // Exit asks about the unsaved reading; Cancel stays
    QCOMPARE(m_log.unsavedQuestions.size(), 1);
    QVERIFY(m_window->isVisible());
  }

  // Tab walks every command of the window in its order from top to bottom, and Space runs
  // the one that has the focus.
  void tabReachesEveryCommand() {
    int connectClicks = 0;
    m_window->setConnectHandler([&] { ++connectClicks; });
    m_window->activateWindow();
    auto* connectPanel = m_window->findChild<QWidget*>(QStringLiteral("Panel2"));
    connectPanel->setFocus();
    QCOMPARE(QApplication::focusWidget(), connectPanel);
    QStringList walked{connectPanel->objectName()};
    for (int i = 0; i < 10; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      walked << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(walked, (QStringList{"Panel2", "Panel3", "RepeatSet", "RecordSI", "RecordSITime",
                                  "SpeedButton2", "SpeedButton1", "SpeedButton3", "MajPrint",
                                  "DBGrid1", walked.last()}));
    connectPanel->setFocus();
    QTest::keyClick(connectPanel, Qt::Key_Space);
    QCOMPARE(connectClicks, 1);
  }

  // Tab leaves the Tests window's table for its next control, and Escape closes the Tests
  // window and the manual's window.
  void tabLeavesTheTestsTableEscapeCloses() {
    appendRecords(*m_window, 3);
    m_window->showTestsWindow();
    TestsWindow* tests = m_window->testsWindow();
    QVERIFY(QTest::qWaitForWindowExposed(tests));
    tests->activateWindow();
    auto* list = tests->findChild<QTableWidget*>(QStringLiteral("TestList"));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != list);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!tests->isVisible());

    QtDialogs dialogs;
    QVERIFY(dialogs.showHelpWindow(nullptr, QStringLiteral(OSTREL_MANUAL_DIR "/index.html")));
    QWidget* help = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() == QStringLiteral("HelpWindow")) help = widget;
    }
    QVERIFY(help && QTest::qWaitForWindowExposed(help));
    help->activateWindow();
    help->setFocus();
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : help,
                    Qt::Key_Escape);
    QVERIFY(!help->isVisible());
  }

  void helpKeyFromEveryControl_data() {
    QTest::addColumn<QString>("focus");
    QTest::newRow("grid") << "DBGrid1";
    QTest::newRow("interval edit") << "RecordSITime";
    QTest::newRow("check box") << "RepeatSet";
  }
  void helpKeyFromEveryControl() {
    QFETCH(QString, focus);
    QTemporaryDir dir;
    m_state->AppDirectory = (dir.path() + u'/').toStdString();
    const QString helpFile = dir.path() + QStringLiteral("/manual/index.html");

    auto* target = m_window->findChild<QWidget*>(focus);
    m_window->activateWindow();
    target->setFocus();
    QTest::keyClick(target, Qt::Key_F1);
    QCOMPARE(m_log.openedDocuments, QStringList());
    QCOMPARE(m_log.errors.size(), 1);
    QVERIFY(m_log.errors.front().contains(helpFile));

    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("manual")));
    QFile file(helpFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QTest::keyClick(target, Qt::Key_F1);
    QCOMPARE(m_log.openedDocuments, QStringList{helpFile});
    QCOMPARE(m_log.helpWindows, QStringList());
    QCOMPARE(m_log.errors.size(), 1);
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Ostrel 1.00"));
  }

  void helpWindowWhenNoBrowserOpensTheManual() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("manual")));
    const QString contents = dir.filePath(QStringLiteral("manual/index.html"));
    QFile file(contents);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    m_state->AppDirectory = (dir.path() + u'/').toStdString();
    m_log.openDocumentResult = false;
    m_window->HELP1Click();
    QCOMPARE(m_log.helpWindows, QStringList{contents});
    QVERIFY(m_log.errors.isEmpty());

    m_log.helpWindowResult = false;
    m_window->HELP1Click();
    QCOMPARE(m_log.errors, QStringList{"Help|Cannot open the help file " + contents + "."});
  }

  // The shipped manual in the program's own help window: the contents page links to every
  // other page the manual has, and each one shows. The window is saved as
  // manual-contents.png for looking at.
  void shippedManualShowsInTheHelpWindow() {
    QtDialogs dialogs;
    const QString contents = QStringLiteral(OSTREL_MANUAL_DIR "/index.html");
    QVERIFY(dialogs.showHelpWindow(nullptr, contents));
    QTextBrowser* browser = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->objectName() == QStringLiteral("HelpWindow")) {
        browser = qobject_cast<QTextBrowser*>(widget);
      }
    }
    QVERIFY(browser != nullptr);
    QVERIFY(QTest::qWaitForWindowExposed(browser));
    QCOMPARE(browser->documentTitle(), QStringLiteral("Ostrel manual"));
    QVERIFY(browser->grab().save(QStringLiteral("manual-contents.png")));

    const QString html = browser->document()->toHtml();
    const QRegularExpression link(QStringLiteral("href=\"([a-z]+\\.html)\""));
    QStringList pages;
    for (const QRegularExpressionMatch& match : link.globalMatch(html)) pages << match.captured(1);
    QStringList shipped =
        QDir(QStringLiteral(OSTREL_MANUAL_DIR)).entryList({QStringLiteral("*.html")}, QDir::Files);
    shipped.removeAll(QStringLiteral("index.html"));
    pages.removeDuplicates();
    pages.sort();
    shipped.sort();
    QCOMPARE(pages, shipped);
    for (const QString& page : pages) {
      browser->setSource(QUrl::fromLocalFile(QStringLiteral(OSTREL_MANUAL_DIR "/") + page));
      QVERIFY2(browser->documentTitle().endsWith(QStringLiteral(" - Ostrel manual")),
               qPrintable(page));
    }
    browser->setSource(QUrl::fromLocalFile(QStringLiteral(OSTREL_MANUAL_DIR "/files.html")));
    QVERIFY(browser->grab().save(QStringLiteral("manual-files.png")));
  }

  // A desktop without a browser: xdg-mime names no program for HTML, and the manual opens in
  // the help window once the answer has come, without F1 waiting for it.
  void manualWithoutBrowserOpensInTheHelpWindow() {
    QTemporaryDir bin;
    QFile query(bin.filePath(QStringLiteral("xdg-mime")));
    QVERIFY(query.open(QIODevice::WriteOnly));
    query.write("#!/bin/sh\nexit 0\n");
    query.close();
    query.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.path().toLocal8Bit());

    QtDialogs dialogs;
    const QString contents = QStringLiteral(OSTREL_MANUAL_DIR "/index.html");
    const bool started = dialogs.openManual(nullptr, contents);
    qputenv("PATH", path);
    QVERIFY(started);
    const auto helpWindow = [] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QStringLiteral("HelpWindow") && widget->isVisible()) {
          return qobject_cast<QTextBrowser*>(widget);
        }
      }
      return static_cast<QTextBrowser*>(nullptr);
    };
    QTRY_VERIFY(helpWindow() != nullptr);
    QCOMPARE(helpWindow()->source(), QUrl::fromLocalFile(contents));
  }

  void manualFoundBesideTheProgramOrInTheInstallation_data() {
    QTest::addColumn<QString>("program");  // folder of the program
    QTest::addColumn<QString>("manual");   // where the contents page is made; empty: none
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("found");
    QTest::newRow("build tree") << "build/app"
                                << "build/app/manual"
                                << "build/app/manual" << true;
    QTest::newRow("installed") << "usr/bin"
                               << "usr/share/ostrel/manual"
                               << "usr/share/ostrel/manual" << true;
    QTest::newRow("installed, missing") << "usr/bin"
                                        << ""
                                        << "usr/share/ostrel/manual" << false;
    QTest::newRow("build tree, missing") << "build/app"
                                         << ""
                                         << "build/app/manual" << false;
  }
  void manualFoundBesideTheProgramOrInTheInstallation() {
    QFETCH(QString, program);
    QFETCH(QString, manual);
    QFETCH(QString, expected);
    QFETCH(bool, found);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(program));
    if (!manual.isEmpty()) {
      QVERIFY(QDir(dir.path()).mkpath(manual));
      QFile page(dir.filePath(manual + QStringLiteral("/index.html")));
      QVERIFY(page.open(QIODevice::WriteOnly));
    }
    const ManualLocation location = findManual(dir.filePath(program) + u'/');
    QCOMPARE(location.page, dir.filePath(expected + QStringLiteral("/index.html")));
    QCOMPARE(location.found, found);
  }

  void hooksRunFromTheirControls() {
    int print = 0, connectClicks = 0, feature = 0;
    m_window->setPrintHandler([&] { ++print; });
    m_window->setConnectHandler([&] { ++connectClicks; });
    m_window->setSetFeatureHandler([&] { ++feature; });
    QTest::mouseClick(m_window->findChild<QWidget*>(QStringLiteral("MajPrint")), Qt::LeftButton);
    QTest::mouseClick(m_window->findChild<QWidget*>(QStringLiteral("Panel2")), Qt::LeftButton);
    QTest::mouseClick(m_window->findChild<QWidget*>(QStringLiteral("SetFeature")), Qt::LeftButton);
    QCOMPARE(print, 1);
    QCOMPARE(connectClicks, 1);
    QCOMPARE(feature, 1);
  }

 private:
  DialogLog m_log;
  std::unique_ptr<AppState> m_state;
  std::unique_ptr<TFrmTest> m_window;
};

}  // namespace ostrel::test

QTEST_MAIN(ostrel::test::TFrmTestTest)
#include "TFrmTestTest.moc"

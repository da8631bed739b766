// The readings grid over a table several times larger than the rows the view holds: what the
// user sees and reaches (current row, scroll bar, keys, wheel, clicks) is in the whole
// table's records, and the view's rows stay bounded.
#include <QApplication>
#include <QScreen>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtTest>
#include <limits>
#include <memory>

#include "record/ReadingsTable.h"
#include "ui/GridScrollScale.h"
#include "ui/ReadingsGrid.h"
#include "ui/ReadingsGridModel.h"

namespace ostrel::test {

namespace {

constexpr int rowHeight = 17;
constexpr int tableRecords = 20'000;  // about five windows

void appendRecords(ReadingsTable& table, int first, int count) {
  for (int no = first; no < first + count; ++no) {
    table.append(
        {no, 1000 * no, std::string("1.5"), std::string("M\xA6\xB8"), std::nullopt, std::nullopt});
  }
}

// A grid of the window's size bound to a table of `records` records loaded at once (as
// "Open Data" does); record r has the number r + 1. The window's own scroll bars cover its
// right and bottom edges, as at the window's start.
struct GridOver {
  static constexpr QRect shownPart{0, 0, 600, 160};

  ReadingsTable table;
  ReadingsGridModel model{table};
  ReadingsGrid grid{nullptr};

  explicit GridOver(int records) {
    grid.resize(617, 177);
    grid.setModel(&model);
    grid.show();
    grid.fitInto(shownPart);
    ReadingsTable loaded;
    appendRecords(loaded, 1, records);
    table.swapRecords(loaded);
    QApplication::processEvents();
  }
  ~GridOver() { grid.setModel(nullptr); }
  GridOver(const GridOver&) = delete;
  GridOver& operator=(const GridOver&) = delete;

  // The grid's own bar in sight (the view's built-in bars stay hidden).
  QScrollBar* bar(Qt::Orientation orientation = Qt::Vertical) {
    for (QScrollBar* candidate : grid.findChildren<QScrollBar*>()) {
      if (candidate->isVisibleTo(&grid) && candidate->orientation() == orientation) {
        return candidate;
      }
    }
    return nullptr;
  }
  // The part of the viewport in sight: not under the window's bars nor the grid's own
  // horizontal bar.
  QRect inSight() {
    QScrollBar* below = bar(Qt::Horizontal);
    const QRect shown(grid.viewport()->mapFrom(&grid, shownPart.topLeft()), shownPart.size());
    return grid.viewport()->rect().intersected(shown).adjusted(0, 0, 0,
                                                               below ? -below->height() : 0);
  }
  // The number shown in the view's row `row`.
  int shownNo(int row) { return model.data(model.index(row, 0), Qt::DisplayRole).toInt(); }
  // The table's record whose row is at the viewport's top.
  std::size_t topRecord() { return grid.recordOfRow(grid.rowAt(0)); }
};

// The current row is the expected record, shows it, and lies wholly in sight (not under the
// horizontal bar); the view holds a bounded window.
void verifyCurrent(GridOver& shown, std::size_t record) {
  const QModelIndex current = shown.grid.currentIndex();
  QVERIFY(current.isValid());
  QCOMPARE(shown.grid.currentRecord(), std::optional<std::size_t>(record));
  QCOMPARE(shown.grid.recordOfRow(current.row()), record);
  QCOMPARE(shown.shownNo(current.row()), static_cast<int>(record) + 1);
  const QRect row = shown.grid.visualRect(current);
  QVERIFY2(row.top() >= shown.inSight().top() && row.bottom() <= shown.inSight().bottom(),
           qPrintable(QStringLiteral("row at %1..%2, in sight %3")
                          .arg(row.top())
                          .arg(row.bottom())
                          .arg(shown.inSight().bottom())));
  QVERIFY(shown.model.rowCount() <= ReadingsGrid::windowRows);
}

// Stops the test at the first failed check of verifyCurrent.
#define VERIFY_CURRENT(shown, record)       \
  do {                                      \
    verifyCurrent(shown, record);           \
    if (QTest::currentTestFailed()) return; \
  } while (false)

void wheel(QWidget* target, int notches) {
  const QPointF at(target->width() / 2.0, target->height() / 2.0);
  QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, -120 * notches), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(target, &event);
}

}  // namespace

class ReadingsGridTest : public QObject {
  Q_OBJECT

 private slots:
  // The bar counts pixels while the table's height fits an int and rows beyond that; its
  // ends stand for the table's first and last rows either way.
  void scrollScale_data() {
    QTest::addColumn<qulonglong>("rows");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("maximum");
    const qint64 page = 130;
    const auto rowsOf = [](qint64 n) { return static_cast<qulonglong>(n); };
    QTest::newRow("empty") << rowsOf(0) << 1 << 0;
    QTest::newRow("within a page") << rowsOf(7) << 1 << 0;
    QTest::newRow("ten million, in pixels")
        << rowsOf(10'000'000) << 1 << static_cast<int>(10'000'000 * rowHeight - page);
    const qint64 many = 200'000'000;  // 3.4 G pixels
    QTest::newRow("two hundred million, in rows")
        << rowsOf(many) << rowHeight
        << static_cast<int>((many * rowHeight - page + rowHeight - 1) / rowHeight);
    const qint64 most = std::numeric_limits<int>::max();
    QTest::newRow("beyond what Qt counts")
        << rowsOf(most + 5) << rowHeight
        << static_cast<int>((most * rowHeight - page + rowHeight - 1) / rowHeight);
  }
  void scrollScale() {
    QFETCH(qulonglong, rows);
    QFETCH(int, unit);
    QFETCH(int, maximum);
    const GridScrollScale scale = GridScrollScale::of(rows, rowHeight, 130);
    QCOMPARE(scale.unit, unit);
    QCOMPARE(scale.maximum(), maximum);
    QCOMPARE(scale.topOf(0), 0);
    QCOMPARE(scale.topOf(maximum), scale.lastTop);
    QCOMPARE(scale.valueOf(scale.lastTop), maximum);
    if (maximum > 2) {
      const int middle = maximum / 2;
      QCOMPARE(scale.valueOf(scale.topOf(middle)), middle);
      QVERIFY(scale.topOf(middle) < scale.lastTop);
    }
  }

  // Each appended record becomes the current row and is in sight, also as the window slides
  // along with the recording; the bar stays at its end.
  void appendedRecordIsCurrentAndInSight() {
    GridOver shown(tableRecords);
    VERIFY_CURRENT(shown, tableRecords - 1);
    for (int no = tableRecords + 1; no <= tableRecords + ReadingsGrid::windowRows; ++no) {
      appendRecords(shown.table, no, 1);
      QApplication::processEvents();
      VERIFY_CURRENT(shown, static_cast<std::size_t>(no) - 1);
      QCOMPARE(shown.bar()->value(), shown.bar()->maximum());
    }
  }

  // Scrolled up while records arrive, the rows in sight and the current row stay, and a note
  // says how many rows came; back at the bottom the grid follows the newest row again. Near
  // the end (the window takes the records as rows) and far up (it cannot) alike.
  void scrolledUpTheGridStaysAndSaysRowsArrived_data() {
    QTest::addColumn<int>("rowsUp");
    QTest::newRow("a row up by key, in sight") << -1;
    QTest::newRow("a few rows up") << 30;
    QTest::newRow("far up") << tableRecords / 2;
  }
  void scrolledUpTheGridStaysAndSaysRowsArrived() {
    QFETCH(int, rowsUp);
    GridOver shown(tableRecords);
    QScrollBar* bar = shown.bar();
    if (rowsUp < 0) {
      QTest::keyClick(&shown.grid, Qt::Key_Up);  // the view stays at the bottom
    } else {
      bar->setValue(bar->maximum() - rowsUp * rowHeight);
    }
    QApplication::processEvents();
    const std::size_t top = shown.topRecord();
    const std::optional<std::size_t> current = shown.grid.currentRecord();
    auto* note = shown.grid.findChild<QWidget*>(QStringLiteral("newRowsNote"));
    QVERIFY(!note || !note->isVisible());
    for (int no = tableRecords + 1; no <= tableRecords + 5; ++no) {
      appendRecords(shown.table, no, 1);
      QApplication::processEvents();
    }
    QCOMPARE(shown.topRecord(), top);
    QCOMPARE(shown.grid.currentRecord(), current);
    QVERIFY(note);
    QVERIFY(note->isVisible());
    QVERIFY(note->property("text").toString().contains(QStringLiteral("5 new")));
    QVERIFY(shown.inSight().contains(
        QRect(shown.grid.viewport()->mapFrom(&shown.grid, note->pos()), note->size())));
    QVERIFY(rowsUp < 0 || bar->value() < bar->maximum());

    QTest::keyClick(&shown.grid, Qt::Key_End, Qt::ControlModifier);  // follows again
    QApplication::processEvents();
    QVERIFY(!note->isVisible());
    appendRecords(shown.table, tableRecords + 6, 1);
    QApplication::processEvents();
    VERIFY_CURRENT(shown, tableRecords + 5);
    QCOMPARE(bar->value(), bar->maximum());
  }

  // Keys move the current row in the whole table: across the window's edges and to the
  // table's very first and last records.
  void keysReachEveryRecord_data() {
    QTest::addColumn<bool>("fromLast");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("control");
    QTest::addColumn<int>("presses");
    QTest::addColumn<int>("expected");  // negative: counted from the table's end
    const int last = -1;
    QTest::newRow("Ctrl+Home") << true << int(Qt::Key_Home) << true << 1 << 0;
    QTest::newRow("Ctrl+End") << false << int(Qt::Key_End) << true << 1 << last;
    QTest::newRow("Up across windows") << true << int(Qt::Key_Up) << false << 6000 << -6001;
    QTest::newRow("Down across windows") << false << int(Qt::Key_Down) << false << 6000 << 6000;
    QTest::newRow("PageUp to the first") << true << int(Qt::Key_PageUp) << false << 4000 << 0;
    QTest::newRow("PageDown to the last")
        << false << int(Qt::Key_PageDown) << false << 4000 << last;
    QTest::newRow("Down past the last") << true << int(Qt::Key_Down) << false << 3 << last;
  }
  void keysReachEveryRecord() {
    QFETCH(bool, fromLast);
    QFETCH(int, key);
    QFETCH(bool, control);
    QFETCH(int, presses);
    QFETCH(int, expected);
    GridOver shown(tableRecords);
    if (!fromLast) {
      shown.bar()->setValue(0);
      QTest::mouseClick(shown.grid.viewport(), Qt::LeftButton, {},
                        shown.grid.visualRect(shown.model.index(0, 2)).center());
      VERIFY_CURRENT(shown, 0);
    }
    // Events are processed now and then, as between a user's bursts of key repeats: the
    // keys themselves must carry the current row across the window's edges.
    for (int i = 0; i < presses; ++i) {
      QTest::keyClick(&shown.grid, static_cast<Qt::Key>(key),
                      control ? Qt::ControlModifier : Qt::NoModifier);
      if (i % 64 == 63) QApplication::processEvents();
    }
    QApplication::processEvents();
    VERIFY_CURRENT(shown,
                   static_cast<std::size_t>(expected < 0 ? tableRecords + expected : expected));
    QCOMPARE(shown.bar()->value() == 0, expected == 0);
    QCOMPARE(shown.bar()->value() == shown.bar()->maximum(), expected == -1);
  }

  // Whatever the user sets the bar to, the rows in sight are the table's rows at that place.
  void scrollBarShowsTheRowsAtItsPlace_data() {
    QTest::addColumn<double>("fraction");
    QTest::newRow("first") << 0.0;
    QTest::newRow("a third") << 1.0 / 3;
    QTest::newRow("middle") << 0.5;
    QTest::newRow("near the end") << 0.999;
    QTest::newRow("last") << 1.0;
  }
  void scrollBarShowsTheRowsAtItsPlace() {
    QFETCH(double, fraction);
    GridOver shown(tableRecords);
    QScrollBar* bar = shown.bar();
    bar->setValue(0);  // from the far end of the table
    const int value = static_cast<int>(bar->maximum() * fraction);
    bar->setValue(value);
    QApplication::processEvents();
    QCOMPARE(bar->value(), value);
    const auto top = static_cast<std::size_t>(value / rowHeight);
    QCOMPARE(shown.topRecord(), top);
    QCOMPARE(shown.shownNo(shown.grid.rowAt(0)), static_cast<int>(top) + 1);
    QCOMPARE(shown.grid.rowViewportPosition(shown.grid.rowAt(0)), -(value % rowHeight));
    if (value == bar->maximum()) {
      const QModelIndex last = shown.model.index(shown.model.rowCount() - 1, 0);
      QCOMPARE(shown.grid.recordOfRow(last.row()), std::size_t{tableRecords - 1});
      QVERIFY(shown.inSight().contains(shown.grid.visualRect(last)));
    }
    QVERIFY(shown.model.rowCount() <= ReadingsGrid::windowRows);
  }

  // The wheel scrolls evenly through the whole table, window slides included, and a click
  // then selects the record under the cursor; a key goes on from that record.
  void wheelThenClickSelectsTheRecordUnderTheCursor() {
    GridOver shown(tableRecords);
    QScrollBar* bar = shown.bar();
    bar->setValue(0);
    wheel(shown.grid.viewport(), 1);
    const int notch = bar->value();
    QVERIFY(notch > 0);
    const int notches = 2 * ReadingsGrid::windowRows * rowHeight / notch;
    for (int i = 1; i < notches; ++i) {
      wheel(shown.grid.viewport(), 1);
      QApplication::processEvents();
    }
    QCOMPARE(bar->value(), notches * notch);
    const std::size_t top = shown.topRecord();
    QCOMPARE(top, static_cast<std::size_t>(notches * notch / rowHeight));

    const int third = shown.grid.rowAt(0) + 2;
    QTest::mouseClick(shown.grid.viewport(), Qt::LeftButton, {},
                      shown.grid.visualRect(shown.model.index(third, 1)).center());
    VERIFY_CURRENT(shown, shown.grid.recordOfRow(third));
    const std::size_t clicked = *shown.grid.currentRecord();
    QCOMPARE(clicked, top + 2);

    bar->setValue(bar->maximum());  // far away: the clicked record leaves the window
    QApplication::processEvents();
    QVERIFY(!shown.grid.currentIndex().isValid());
    QTest::keyClick(&shown.grid, Qt::Key_Down);
    VERIFY_CURRENT(shown, clicked + 1);
  }

  // What the screen shows after records arrive or the wheel scrolls (rows moved on screen
  // and only the exposed parts painted) is what painting the whole grid afresh shows.
  void screenMatchesAFreshPaint_data() {
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("notches");  // wheel steps up after the records arrived
    QTest::newRow("rows appear below the last") << 2 << 0;
    QTest::newRow("rows scroll up") << tableRecords << 0;
    QTest::newRow("wheel back") << tableRecords << 2;
  }
  void screenMatchesAFreshPaint() {
    QFETCH(int, records);
    QFETCH(int, notches);
    GridOver shown(records);
    for (int no = records + 1; no <= records + 12; ++no) {
      appendRecords(shown.table, no, 1);
      QApplication::processEvents();
    }
    for (int i = 0; i < notches; ++i) {
      wheel(shown.grid.viewport(), -1);
      QApplication::processEvents();
    }
    const QImage screen = QGuiApplication::primaryScreen()
                              ->grabWindow(shown.grid.winId())
                              .toImage()
                              .convertToFormat(QImage::Format_RGB32);
    const QImage fresh = shown.grid.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(screen.size(), fresh.size());
    QVERIFY(screen == fresh);
  }

  // Emptying the table and loading another one: nothing current in an empty grid, then the
  // new table's last record.
  void resetShowsTheNewTablesLastRecord() {
    GridOver shown(tableRecords);
    shown.bar()->setValue(0);
    shown.table.clear();
    QApplication::processEvents();
    QCOMPARE(shown.model.rowCount(), 0);
    QVERIFY(!shown.grid.currentRecord());
    QVERIFY(!shown.bar());
    ReadingsTable loaded;
    appendRecords(loaded, 1, 15'000);
    shown.table.swapRecords(loaded);
    QApplication::processEvents();
    VERIFY_CURRENT(shown, 14'999);
    QCOMPARE(shown.bar()->value(), shown.bar()->maximum());
  }
};

}  // namespace ostrel::test

QTEST_MAIN(ostrel::test::ReadingsGridTest)
#include "ReadingsGridTest.moc"

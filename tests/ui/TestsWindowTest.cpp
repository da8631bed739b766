// The Tests window finds the tests on a worker thread over a copy of the table: the list follows
// readings as they come, a table changed otherwise (Delete Data, a load) is analysed anew, and
// the main thread never runs the analysis itself.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTableWidget>
#include <QtTest>

#include "record/ReadingsTable.h"
#include "ui/TestsWindow.h"

namespace ostrel::test {

namespace {

// A timed test at `volts`: a reading every 5 s of the meter's timer from 0 to 60 s (13
// readings), R rising from 150 MΩ to 200 MΩ.
void appendTimedTest(ReadingsTable& table, int volts) {
  const std::string function = "IR:" + std::to_string(volts) + "V";
  for (int t = 0; t <= 60; t += 5) {
    const auto no = static_cast<std::int32_t>(table.recordCount() + 1);
    table.append({no, 36'000'000 + no * 1000, std::to_string(150 + t * 50 / 60), "M\xA6\xB8",
                  function, "Timed", t});
  }
}

// The text of the list's cell in the column with the given title.
QString cell(const TestsWindow& window, int row, const QString& title) {
  const auto* list = window.findChild<QTableWidget*>(QStringLiteral("TestList"));
  for (int column = 0; column < list->columnCount(); ++column) {
    if (list->horizontalHeaderItem(column)->text() == title) return list->item(row, column)->text();
  }
  return {};
}

QString summary(const TestsWindow& window) {
  return window.findChild<QLabel*>(QStringLiteral("Summary"))->text();
}

// Whether a thread of this process has the given name.
bool threadNamed(const QString& name) {
  const QDir tasks(QStringLiteral("/proc/self/task"));
  for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
    if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name.toLatin1()) return true;
  }
  return false;
}

}  // namespace

class TestsWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void analysesOnItsWorkerAndFollowsTheTable() {
    ReadingsTable table;
    appendTimedTest(table, 1000);
    TestsWindow window(table);
    window.show();
    // Shown, the window asks for the tests; they come from the worker afterwards.
    QVERIFY(window.tests().empty());
    QVERIFY(window.analysing());
    QTRY_VERIFY(!window.analysing());
    QCOMPARE(window.tests().size(), std::size_t{1});
    QCOMPARE(summary(window).left(22), QStringLiteral("1 tests in 13 readings"));

    // Readings that come while it is open are followed: only they are added to the copy.
    appendTimedTest(table, 2500);
    QTRY_COMPARE(window.tests().size(), std::size_t{2});
    QCOMPARE(cell(window, 1, QStringLiteral("Voltage")), QStringLiteral("2500 V"));
    QCOMPARE(cell(window, 1, QStringLiteral("Readings")), QStringLiteral("13"));
    QCOMPARE(summary(window).left(22), QStringLiteral("2 tests in 26 readings"));

    // Deleted and recorded anew to the same length: the copy is taken again, not kept.
    table.clear();
    appendTimedTest(table, 500);
    appendTimedTest(table, 500);
    QTRY_COMPARE(cell(window, 0, QStringLiteral("Voltage")), QStringLiteral("500 V"));
    QTRY_VERIFY(!window.analysing());
    QCOMPARE(window.tests().size(), std::size_t{2});
    QCOMPARE(cell(window, 1, QStringLiteral("Voltage")), QStringLiteral("500 V"));

    // A large table: the analysis runs on the thread "ostrel-tests" while the main thread turns
    // its event loop.
    table.DisableControls();
    for (int i = 0; i < 400'000; ++i) {
      table.append({static_cast<std::int32_t>(table.recordCount() + 1), 40'000'000, "12.5", "V",
                    "DCV  600V", "Continuous"});
      if (i % 1000 == 0) appendTimedTest(table, 1000);
    }
    table.EnableControls();
    window.refresh();
    bool seen = false;
    int turns = 0;
    while (window.analysing()) {
      QCoreApplication::processEvents();
      seen = seen || threadNamed(QStringLiteral("ostrel-tests"));
      ++turns;
    }
    QVERIFY(seen);
    QVERIFY(turns > 1);
    QCOMPARE(window.tests().size(), std::size_t{402});
  }
};

}  // namespace ostrel::test

QTEST_MAIN(ostrel::test::TestsWindowTest)
#include "TestsWindowTest.moc"

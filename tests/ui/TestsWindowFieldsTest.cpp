// The Tests window's choices and typed fields reach the verdicts it lists: the minimum (each
// entry), the rated voltage, the winding temperature under the one typed rule, the date of the
// first reading; and the window follows readings recorded while it is open. Offscreen. The
// list is read with QTRY_COMPARE: the window may analyse away from the main thread.
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QtTest>

#include "record/ReadingsTable.h"
#include "ui/TestsWindow.h"

namespace ostrel {

namespace {

constexpr int startColumn = 2;
constexpr int verdictColumn = 14;

// A timed 1000 V test read every 15 s for 10 min from 10:00:00: 50 MΩ up to 1 min, 150 MΩ
// after it (PI 3).
void appendTest(ReadingsTable& table, std::int32_t startMs = 36'000'000) {
  for (int t = 0; t <= 600; t += 15) {
    table.append({static_cast<std::int32_t>(table.recordCount()) + 1, startMs + t * 1000,
                  t <= 60 ? "50.00" : "150.0", "M\xA6\xB8", "IR:1000V 40G\xA6\xB8", "Timed", t});
  }
}

}  // namespace

class TestsWindowFieldsTest : public QObject {
  Q_OBJECT

 private:
  QString cell(TestsWindow& window, int row, int column) {
    auto* list = window.findChild<QTableWidget*>(QStringLiteral("TestList"));
    if (list->rowCount() <= row || list->item(row, column) == nullptr) return {};
    return list->item(row, column)->text();
  }
  QLineEdit* field(TestsWindow& window, const char* name) {
    return window.findChild<QLineEdit*>(QString::fromLatin1(name));
  }

 private slots:
  // Each entry of Minimum judges R(1 min) = 50 MΩ against its own minimum.
  void minimumChoiceReachesTheVerdict() {
    ReadingsTable table;
    appendTest(table);
    TestsWindow window(table);
    window.show();
    auto* minimum = window.findChild<QComboBox*>(QStringLiteral("Minimum"));
    struct Case {
      int entry;
      const char* ratedKv;
      const char* fixedMOhm;
      MinimumClass kind;
      const char* verdict;
    };
    const Case cases[] = {
        {0, "", "100", MinimumClass::FormWound100M, "fail"},
        {1, "", "100", MinimumClass::RandomWound5M, "pass"},
        {2, "", "100", MinimumClass::KvPlusOne, "incomplete"},
        {2, "6,6", "100", MinimumClass::KvPlusOne, "pass"},
        {2, "60", "100", MinimumClass::KvPlusOne, "fail"},
        {3, "", "60", MinimumClass::Fixed, "fail"},
        {3, "", "40", MinimumClass::Fixed, "pass"},
    };
    for (const Case& c : cases) {
      field(window, "RatedKv")->setText(QString::fromLatin1(c.ratedKv));
      field(window, "MinimumMOhm")->setText(QString::fromLatin1(c.fixedMOhm));
      minimum->setCurrentIndex(c.entry);
      window.refresh();
      QVERIFY(window.judgement().minimum == c.kind);
      QTRY_COMPARE(cell(window, 0, verdictColumn), QString::fromLatin1(c.verdict));
    }
    field(window, "RatedKv")->setText(QStringLiteral("6,6"));
    QCOMPARE(window.workbookTests().record.ratedKv, std::string("6,6"));
    QCOMPARE(window.workbookTests().judgement.ratedKv, std::optional<double>(6.6));
  }

  // A typed temperature follows the one rule; a refused one is marked and corrects nothing.
  void typedTemperaturesAreCheckedAndMarked() {
    ReadingsTable table;
    appendTest(table);
    TestsWindow window(table);
    window.show();
    QLineEdit* winding = field(window, "WindingC");
    QLineEdit* ambient = field(window, "AmbientC");
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"20,5", 20.5}, {"20.5", 20.5}, {"abc", {}}, {"2e1", {}}, {"250", {}}, {"", {}}};
    for (const auto& [typed, celsius] : cases) {
      winding->setText(QString::fromLatin1(typed));
      ambient->setText(QString::fromLatin1(typed));
      QCOMPARE(window.judgement().windingTemperatureC, celsius);
      const bool marked = !celsius && *typed != '\0';
      QCOMPARE(winding->property("refused").toBool(), marked);
      QCOMPARE(ambient->property("refused").toBool(), marked);
    }
  }

  // The Start column carries the date: worked out from the table's end (a loaded file's time),
  // or as typed; a typed text that is no date is marked and the date left unknown.
  void startCarriesTheDate() {
    ReadingsTable table;
    appendTest(table);
    TestsWindow window(table);
    window.setTableEnd(QDateTime(QDate(2026, 3, 11), QTime(9, 0)));
    window.show();
    window.refresh();
    QTRY_COMPARE(cell(window, 0, startColumn), QStringLiteral("2026-03-10 10:00:00"));
    QCOMPARE(window.record().firstReadingDate, std::string("2026-03-10"));
    QLineEdit* date = field(window, "FirstReadingDate");
    QCOMPARE(date->placeholderText(), QStringLiteral("2026-03-10"));
    date->setText(QStringLiteral("2026-01-02"));
    window.refresh();
    QTRY_COMPARE(cell(window, 0, startColumn), QStringLiteral("2026-01-02 10:00:00"));
    date->setText(QStringLiteral("2026-02-30"));
    QVERIFY(date->property("refused").toBool());
    window.refresh();
    QTRY_COMPARE(cell(window, 0, startColumn), QStringLiteral("10:00:00"));
  }

  // Readings recorded while the window is open show up without a click.
  void followsReadingsWhileOpen() {
    ReadingsTable table;
    appendTest(table);
    TestsWindow window(table);
    window.show();
    auto* list = window.findChild<QTableWidget*>(QStringLiteral("TestList"));
    QTRY_COMPARE(list->rowCount(), 1);
    appendTest(table, 37'000'000);
    QTRY_COMPARE_WITH_TIMEOUT(list->rowCount(), 2, 5000);
  }
};

}  // namespace ostrel

QTEST_MAIN(ostrel::TestsWindowFieldsTest)
#include "TestsWindowFieldsTest.moc"

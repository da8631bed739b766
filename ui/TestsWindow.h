#pragma once

#include <QDateTime>
#include <QWidget>
#include <optional>
#include <vector>

#include "record/InsulationTests.h"
#include "record/ReadingsTable.h"
#include "record/WorkbookFile.h"
#include "ui/TestsAnalysis.h"
#include "ui/report/ReportLayout.h"

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;
class QTimer;

namespace ostrel {

// The R(t) plot of one test: log time, log resistance, marks at 15 s, 30 s, 1 min, 10 min.
class TestCurvePlot : public QWidget {
 public:
  explicit TestCurvePlot(QWidget* parent = nullptr);
  void setTest(const InsulationTest* test);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<std::pair<double, double>> m_curve;
  QString m_title;
};

// The "Tests" window: the insulation tests found in the readings table with their figures and
// verdicts, the R(t) plot of the chosen test, the judgement's options and the test record.
// Follows the table while it is shown (at most once a second). The tests are found on a worker
// thread (TestsAnalysis), so the list shows the last analysis until the next one is done.
// Main thread only; the table must outlive the window.
class TestsWindow : public QWidget, private ReadingsTableObserver {
 public:
  explicit TestsWindow(ReadingsTable& table, QWidget* parent = nullptr);
  ~TestsWindow() override;

  // The test record fields as entered (UTF-8).
  [[nodiscard]] TestRecord record() const;
  [[nodiscard]] TestJudgement judgement() const;
  // What a workbook saved now puts on its test sheets: the options and the test record.
  [[nodiscard]] WorkbookTests workbookTests() const;
  // The test summary a report generated now prints after the readings: the record, the
  // options and the tests of the table as it is now; none unless "Print test summary with
  // the report" is ticked.
  [[nodiscard]] std::optional<TestSummary> reportSummary() const;
  [[nodiscard]] const std::vector<InsulationTest>& tests() const { return m_tests; }
  // Asks for the tests again with the current options; they are shown when found.
  void refresh();
  // Whether an analysis is asked for or running (the list may not show the table as it is).
  [[nodiscard]] bool analysing() const { return m_analysis.busy(); }
  // The latest moment the table's last reading can have been taken, from which the date of its
  // first reading is worked out while "Date of first reading" is left empty: a loaded file's
  // modification time; none (the default) for now, as for a recording.
  void setTableEnd(std::optional<QDateTime> end);
  // The date of the table's first reading: the one typed, else the one worked out; none while
  // the typed one is no date.
  [[nodiscard]] std::optional<std::int32_t> firstReadingDay() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void recordsAppended(std::size_t first, std::size_t count) override;
  void tableReset() override;
  // Lists the tests an analysis found in the table's first `records` records.
  void showTests(std::vector<InsulationTest> tests, std::size_t records);
  void showChosen();
  void buildRecordFields(QWidget* parent, QFormLayout* form);
  // Marks the typed fields whose text breaks their rule (a temperature, the rated voltage,
  // the date); an empty field is never marked.
  void markTypedFields();
  // The judgement's options as chosen, without the first reading's day.
  [[nodiscard]] TestJudgement chosenOptions() const;
  [[nodiscard]] TestsAnalysis::TableEnd tableEnd() const;
  [[nodiscard]] std::int32_t guessedFirstDay() const;

  ReadingsTable& m_table;
  std::vector<InsulationTest> m_tests;
  TestsAnalysis m_analysis;
  bool m_dirty = true;
  QTimer* m_followTimer = nullptr;
  QTableWidget* m_list = nullptr;
  QPlainTextEdit* m_reasons = nullptr;
  TestCurvePlot* m_plot = nullptr;
  QComboBox* m_minimum = nullptr;
  QLineEdit* m_minimumMOhm = nullptr;
  QComboBox* m_thermal = nullptr;
  QComboBox* m_dar = nullptr;
  QCheckBox* m_printSummary = nullptr;
  QLineEdit *m_customer = nullptr, *m_site = nullptr, *m_asset = nullptr, *m_operator = nullptr,
            *m_serial = nullptr, *m_ambient = nullptr, *m_winding = nullptr, *m_humidity = nullptr,
            *m_ratedKv = nullptr, *m_date = nullptr;
  std::optional<QDateTime> m_tableEnd;
  QPlainTextEdit* m_notes = nullptr;
  QLabel* m_summary = nullptr;
};

}  // namespace ostrel

#pragma once

#include <QString>
#include <QStringList>
#include <ostream>
#include <vector>

#include "ui/report/ReportDataSet.h"

// Shows a QString in gtest's failure messages as text.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace ostrel::test {

// Rows held as display texts; counts how its controls are switched.
class FakeDataSet : public ReportDataSet {
 public:
  FakeDataSet() = default;
  explicit FakeDataSet(int generatedRows) {
    for (int i = 1; i <= generatedRows; ++i) {
      addRow({QString::number(i), QStringLiteral("10:00:00"), QStringLiteral("1.234"),
              QStringLiteral("MΩ"), QStringLiteral("IR:500V 20GΩ"), QString()});
    }
  }

  void addRow(const QStringList& cells) { m_rows.push_back(cells); }
  [[nodiscard]] int rowCount() const override { return static_cast<int>(m_rows.size()); }
  [[nodiscard]] QString cell(int row, int column) const override {
    return m_rows.at(static_cast<std::size_t>(row)).value(column);
  }
  void DisableControls() override { ++disabled; }
  void EnableControls() override { ++enabled; }

  int disabled = 0;
  int enabled = 0;

 private:
  std::vector<QStringList> m_rows;
};

}  // namespace ostrel::test

#pragma once

#include <QString>

namespace ostrel {

// The records a report prints, as the readings grid shows them: six display texts per
// row (No, Time, Value, Unit, V_Range, I_Range), rows in table order. Main thread only.
class ReportRows {
 public:
  static constexpr int columnCount = 6;

  virtual ~ReportRows() = default;
  [[nodiscard]] virtual int rowCount() const = 0;
  // The display text of one field; row in [0, rowCount()), column in [0, columnCount).
  // An empty (null) field gives an empty text.
  [[nodiscard]] virtual QString cell(int row, int column) const = 0;
};

}  // namespace ostrel

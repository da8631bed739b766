#pragma once

#include <QString>
#include <cstddef>

#include "record/GbkText.h"
#include "ui/report/ReportDataSet.h"

namespace ostrel {

class ReadingsTable;
class GbkConverter;

// One field of a record as the readings grid shows it: No in decimal, Time in the locale's long
// time format, the texts converted from GBK by the caller's converter (one per view). Empty for
// an empty field, for a column beyond the six, and for a row the table does not hold.
QString readingsCellText(const ReadingsTable& cds1, std::size_t row, int column, GbkConverter& gbk);

// The readings table as the report's data set: each field's display text as the grid
// shows it (No in decimal, Time in the locale's long time format, the texts converted
// from GBK), and the grid's detach switch. The table must outlive the adapter. Main
// thread only.
class ReadingsTableDataSet : public ReportDataSet {
 public:
  explicit ReadingsTableDataSet(ReadingsTable& cds1) : m_cds1(cds1) {}

  // The table's record count (at most INT_MAX).
  [[nodiscard]] int rowCount() const override;
  // Empty for an empty field, and for a row the table no longer holds (it was cleared
  // or replaced while a report of it was open).
  [[nodiscard]] QString cell(int row, int column) const override;
  void DisableControls() override;
  void EnableControls() override;

 private:
  ReadingsTable& m_cds1;
  mutable GbkConverter m_gbk;
};

}  // namespace ostrel

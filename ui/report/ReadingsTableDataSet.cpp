#include "ui/report/ReadingsTableDataSet.h"

#include <algorithm>
#include <climits>

#include "record/GbkText.h"
#include "record/ReadingsTable.h"
#include "record/TimeText.h"

namespace ostrel {

int ReadingsTableDataSet::rowCount() const {
  return static_cast<int>(std::min<std::size_t>(m_cds1.recordCount(), INT_MAX));
}

QString readingsCellText(const ReadingsTable& cds1, std::size_t row, int column,
                         GbkConverter& gbk) {
  if (row >= cds1.recordCount()) return {};
  switch (column) {
    case ReadingsTable::No: {
      const auto no = cds1.no(row);
      return no ? QString::number(*no) : QString();
    }
    case ReadingsTable::Time: {
      const auto ms = cds1.timeMs(row);
      return ms ? QString::fromStdString(formatLongTime(*ms)) : QString();
    }
    case ReadingsTable::Value:
    case ReadingsTable::Unit:
    case ReadingsTable::V_Range:
    case ReadingsTable::I_Range: {
      const auto text = cds1.text(row, static_cast<ReadingsTable::Field>(column));
      return text ? QString::fromStdString(gbk.toUtf8(*text)) : QString();
    }
    default:
      return {};
  }
}

QString ReadingsTableDataSet::cell(int row, int column) const {
  return row < 0 ? QString()
                 : readingsCellText(m_cds1, static_cast<std::size_t>(row), column, m_gbk);
}

void ReadingsTableDataSet::DisableControls() { m_cds1.DisableControls(); }

void ReadingsTableDataSet::EnableControls() { m_cds1.EnableControls(); }

}  // namespace ostrel

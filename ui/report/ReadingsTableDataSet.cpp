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

QString ReadingsTableDataSet::cell(int row, int column) const {
  if (row < 0 || static_cast<std::size_t>(row) >= m_cds1.recordCount()) return {};
  const auto at = static_cast<std::size_t>(row);
  switch (column) {
    case ReadingsTable::No: {
      const auto no = m_cds1.no(at);
      return no ? QString::number(*no) : QString();
    }
    case ReadingsTable::Time: {
      const auto ms = m_cds1.timeMs(at);
      return ms ? QString::fromStdString(formatLongTime(*ms)) : QString();
    }
    case ReadingsTable::Value:
    case ReadingsTable::Unit:
    case ReadingsTable::V_Range:
    case ReadingsTable::I_Range: {
      const auto text = m_cds1.text(at, static_cast<ReadingsTable::Field>(column));
      return text ? QString::fromStdString(gbkToUtf8(*text)) : QString();
    }
    default:
      return {};
  }
}

void ReadingsTableDataSet::DisableControls() { m_cds1.DisableControls(); }

void ReadingsTableDataSet::EnableControls() { m_cds1.EnableControls(); }

}  // namespace ostrel

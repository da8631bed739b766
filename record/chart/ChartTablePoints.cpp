#include "record/ReadingsTable.h"
#include "record/chart/ChartReadings.h"

namespace ostrel {

// Kept apart from ChartReadings.cpp so that programs that never plot a whole table do not
// need the table's implementation at link time.
std::vector<ChartPoint> chartPoints(const ReadingsTable& table, std::string_view decimalSeparator) {
  std::vector<ChartPoint> points;
  points.reserve(table.recordCount());
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    if (auto point =
            chartPoint(table.no(row), table.text(row, ReadingsTable::Value), decimalSeparator)) {
      points.push_back(*point);
    }
  }
  return points;
}

}  // namespace ostrel

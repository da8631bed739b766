#include "record/chart/ChartReadings.h"
#include "ui/chart/Chtshow.h"

namespace ostrel {

// Kept in a file of its own so that programs that never plot a whole table need not link
// the table's implementation.
void Chtshow::plotTable(const ReadingsTable& table) {
  std::vector<ChartPoint> points = chartPoints(table, m_decimalSeparator);
  if (points.empty()) {
    clearReadings();
    return;
  }
  for (int i = 0; i < TrendChartModel::seriesCount; ++i) {
    m_model.setPoints(i, points);
  }
  redraw();
}

}  // namespace ostrel

#include "record/ReadingsTable.h"
#include "record/chart/ChartReadings.h"

namespace ostrel {

// Kept apart from ChartReadings.cpp so that programs that never plot a whole table do not
// need the table's implementation at link time.
void chartTraceOf(const ReadingsTable& table, std::string_view decimalSeparator,
                  ChartTrace& trace) {
  trace.clear();
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    trace.append(chartQuantity(table.text(row, ReadingsTable::Value),
                               table.text(row, ReadingsTable::Unit), decimalSeparator));
  }
}

}  // namespace ostrel

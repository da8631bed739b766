#include <utility>

#include "record/ReadingsTable.h"
#include "record/chart/ChartReadings.h"
#include "ui/chart/ChartPlotView.h"
#include "ui/chart/Chtshow.h"

namespace ostrel {

// Kept in a file of its own so that programs that never plot a whole table need not link
// the table's implementation.
void Chtshow::plotTable(const ReadingsTable& table) {
  m_tableRows = table.recordCount();
  if (table.empty()) {
    m_adoptedTrace.reset();
    clearReadings();
    return;
  }
  std::optional<ChartTrace> adopted = std::exchange(m_adoptedTrace, std::nullopt);
  if (adopted && adopted->size() == table.recordCount()) {
    m_model.replaceRows() = std::move(*adopted);
  } else {
    chartTraceOf(table, m_decimalSeparator, m_model.replaceRows());
  }
  m_plot->setFirstRowNumber(1);
  m_model.setPage(m_model.page());
  showPage();
  redraw();
}

}  // namespace ostrel

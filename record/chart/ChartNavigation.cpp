#include "record/chart/ChartNavigation.h"

namespace ostrel {

std::int32_t BtFirstClick(TrendChartModel& chart, ChartNavigationButtons& buttons) {
  chart.setPage(1);
  buttons.BtNext = true;
  buttons.BTlast = true;
  buttons.BtFirst = false;
  buttons.BTPrevious = false;
  return chart.page();
}

std::int32_t BTPreviousClick(TrendChartModel& chart, ChartNavigationButtons& buttons) {
  if (chart.page() == 1) {
    buttons.BtFirst = false;
    buttons.BTPrevious = false;
  } else {
    chart.setPage(chart.page() - 1);
  }
  buttons.BtNext = true;
  buttons.BTlast = true;
  return chart.page();
}

std::int32_t BtNextClick(TrendChartModel& chart, ChartNavigationButtons& buttons) {
  if (chart.page() >= chart.pageCount()) {
    buttons.BtNext = false;
    buttons.BTlast = false;
  } else {
    chart.setPage(chart.page() + 1);
  }
  buttons.BtFirst = true;
  buttons.BTPrevious = true;
  return chart.page();
}

std::int32_t BTlastClick(TrendChartModel& chart, ChartNavigationButtons& buttons) {
  chart.setPage(chart.pageCount());
  buttons.BtFirst = true;
  buttons.BTPrevious = true;
  buttons.BtNext = false;
  buttons.BTlast = false;
  return chart.page();
}

}  // namespace ostrel

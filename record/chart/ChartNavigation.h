#pragma once

#include <cstdint>

#include "record/chart/TrendChartModel.h"

namespace ostrel {

// Enabled state of the four page buttons; all enabled at start.
struct ChartNavigationButtons {
  bool BtFirst = true;
  bool BTPrevious = true;
  bool BtNext = true;
  bool BTlast = true;
};

// The page buttons' actions. Each moves the model's current page and enables or disables
// buttons: a button is disabled only by an action that found it useless or that jumped to
// the end it points to, and enabled again by any move towards the other end. Each returns
// the page the label shows afterwards.
std::int32_t BtFirstClick(TrendChartModel& chart, ChartNavigationButtons& buttons);
std::int32_t BTPreviousClick(TrendChartModel& chart, ChartNavigationButtons& buttons);
std::int32_t BtNextClick(TrendChartModel& chart, ChartNavigationButtons& buttons);
std::int32_t BTlastClick(TrendChartModel& chart, ChartNavigationButtons& buttons);

}  // namespace ostrel

#pragma once

#include <QRect>
#include <cstddef>
#include <optional>

#include "record/chart/ChartPlot.h"

class QPainter;

namespace ostrel {

class TrendChartModel;

// The one paint routine of the chart's plot, used by the window, its bitmap save and
// ostrel-cli: the background, the axes fitted to the current page and the active series
// (area or line) of the current page, inside `bounds`. `firstRowNumber` is the table row
// number of the model's first row. `zoom`, when given, are the rows shown in place of the
// page's. Costs about the same for any page of any size.
void paintChartPlot(QPainter& painter, const QRect& bounds, const TrendChartModel& model,
                    std::size_t firstRowNumber, const std::optional<ChartRows>& zoom = {});

// The rows the plot shows: those of `zoom`'s span that are held when it is given, else the
// current page's (none while the model holds generated points).
ChartRows chartShownRows(const TrendChartModel& model, const std::optional<ChartRows>& zoom);

// The part of `bounds` the series are drawn in (inside the axes).
QRect chartPlotArea(const QRect& bounds);

// The model row drawn at `x` (pixels, in the coordinates of `bounds`), or nullopt when x lies
// outside the plot area or beyond the rows of the current page.
std::optional<std::size_t> chartRowAt(const QRect& bounds, const TrendChartModel& model, int x,
                                      const std::optional<ChartRows>& zoom = {});

}  // namespace ostrel

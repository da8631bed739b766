#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "record/chart/ChartTrace.h"

namespace ostrel {

// The rows of the trace a page shows: [first, first + count), drawn across a bottom axis
// that spans `span` rows (a last page that holds fewer rows keeps the span of a full one).
struct ChartRows {
  std::size_t first = 0;
  std::size_t count = 0;
  std::size_t span = 1;
};

// One drawn column of the plot. `x` is its centre in pixels from the plot's left edge. A
// column stands for one row when the page has no more rows than the plot has pixels, else
// for the rows of one pixel column, drawn from their lowest to their highest value. A gap
// column holds no value of the plotted quantity and breaks the line. An over-range reading
// ("OL") has no value either, but its column is flagged `over` and marked at the top.
struct ChartColumn {
  double x = 0.0;
  float low = 0.0F;  // in axis units (see ChartPlot)
  float high = 0.0F;
  std::size_t row = 0;  // the first trace row it stands for
  bool gap = true;
  bool over = false;  // stands for an over-range reading too: marked at the axis' top
};

// A mark on an axis: `at` in axis units on the value axis, in pixels from the plot's left
// edge on the row axis; its label in GBK.
struct ChartTick {
  double at = 0.0;
  std::string labelGbk;
};

// A page laid out for a plot `width` pixels wide and `height` high. It plots one quantity:
// resistance when the page holds a resistance reading, voltage only on a page of voltage
// readings alone, so a voltage reading never takes the resistance axis. Readings of the
// other quantity are gaps, and otherLeftOut says that some were left out. Resistance is
// plotted on a logarithmic axis (axis units: decades, log10 of ohms; readings of 0 ohms or
// below on the axis' bottom) from the decade below its lowest reading to the decade above its
// highest, labelled per decade in the unit it reads in ("100k\xA6\xB8", "1M\xA6\xB8",
// "10G\xA6\xB8", "1T\xA6\xB8"); voltage on a linear axis in volts fitted to round steps, labelled
// "500V". The row axis is labelled with table row numbers: trace row r is table row firstRowNumber
// + r. A page without a number of either quantity plots nothing (quantity None, no columns).
struct ChartPlot {
  ChartQuantity quantity = ChartQuantity::None;
  bool otherLeftOut = false;  // the page holds readings of the quantity not plotted
  double low = 0.0;           // the value axis' range, in axis units
  double high = 1.0;
  std::vector<ChartColumn> columns;
  std::vector<ChartTick> valueTicks;
  std::vector<ChartTick> rowTicks;
};

// Lays out a page: at most one column per pixel, each found in time that grows with the
// logarithm of the rows it stands for, so any page of any trace is laid out in about the
// same time. `width` and `height` below 1 are taken as 1.
ChartPlot layoutChartPlot(const ChartTrace& trace, const ChartRows& rows, int width, int height,
                          std::size_t firstRowNumber);

// A quantity's base value in the axis units of its plot (resistance above 0).
double chartAxisValue(ChartQuantity quantity, double base);

}  // namespace ostrel

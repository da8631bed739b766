#include "record/chart/ChartPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace ostrel {

namespace {

constexpr int minValueTickSpacing = 14;  // pixels between value labels, at least
constexpr int minRowTickSpacing = 50;    // pixels between row labels, at least

// 1, 2 or 5 times a power of ten, the smallest such step not below `raw`.
double niceStep(double raw) {
  if (raw <= 0.0) {
    return 1.0;
  }
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double mantissa = raw / magnitude;
  const double nice = mantissa <= 1.0 ? 1.0 : mantissa <= 2.0 ? 2.0 : mantissa <= 5.0 ? 5.0 : 10.0;
  return nice * magnitude;
}

std::string decimal(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

// "100k\xA6\xB8" for decade 5: the decade's value in the largest unit it reaches.
std::string decadeLabel(int decade) {
  static constexpr struct {
    int decade;
    const char* prefix;
  } units[] = {{12, "T"}, {9, "G"}, {6, "M"}, {3, "k"}, {0, ""}};
  for (const auto& unit : units) {
    if (decade >= unit.decade || unit.decade == 0) {
      return decimal(std::pow(10.0, decade - unit.decade)) + unit.prefix + "\xA6\xB8";
    }
  }
  return {};
}

// Readings at zero lie on the axis' bottom and do not stretch it; a page of nothing else
// gets the decade from 1 to 10 ohms.
void fitResistanceAxis(ChartPlot& plot, const ChartRunSummary& page, int height) {
  const bool positive = page.resistanceLow <= page.resistanceHigh;
  const double lowest =
      positive ? chartAxisValue(ChartQuantity::Resistance, page.resistanceLow) : 0.0;
  const double highest =
      positive ? chartAxisValue(ChartQuantity::Resistance, page.resistanceHigh) : 0.0;
  plot.low = std::floor(lowest);
  plot.high = std::ceil(highest);
  if (plot.high <= plot.low) {
    plot.high = plot.low + 1.0;
  }
  const int decades = static_cast<int>(plot.high - plot.low);
  const int fit = std::max(1, height / minValueTickSpacing);
  const int every = (decades + fit - 1) / fit;
  for (int d = static_cast<int>(plot.low); d <= static_cast<int>(plot.high); d += every) {
    plot.valueTicks.push_back({static_cast<double>(d), decadeLabel(d)});
  }
}

void fitVoltageAxis(ChartPlot& plot, const ChartRunSummary& page, int height) {
  const bool any = page.voltageLow <= page.voltageHigh;  // else over-range readings only
  const double lowest = any ? page.voltageLow : 0.0;
  const double highest = any ? page.voltageHigh : 0.0;
  const int parts = std::clamp(height / (2 * minValueTickSpacing), 1, 5);
  double step = niceStep((highest - lowest) / parts);
  if (highest <= lowest) {
    step = niceStep(std::max(std::abs(highest), 1.0) / 10.0);
  }
  plot.low = std::floor(lowest / step) * step;
  plot.high = std::ceil(highest / step) * step;
  if (plot.high <= plot.low) {
    plot.low -= step;
    plot.high += step;
  }
  // Counted, not summed: adding the step again and again drifts and may lose the top tick.
  const long ticks = std::lround((plot.high - plot.low) / step);
  for (long i = 0; i <= ticks; ++i) {
    const double v = plot.low + static_cast<double>(i) * step;
    const double shown = std::abs(v) < step / 2 ? 0.0 : v;
    plot.valueTicks.push_back({shown, decimal(shown) + "V"});
  }
}

ChartColumn column(const ChartTrace& trace, const ChartPlot& plot, std::size_t first,
                   std::size_t last, double x) {
  const ChartQuantity quantity = plot.quantity;
  const ChartRunSummary s = trace.summary(first, last);
  ChartColumn c;
  c.x = x;
  c.row = first;
  c.over = s.over(quantity);
  const bool inRange = s.low(quantity) <= s.high(quantity);
  const bool atZero = quantity == ChartQuantity::Resistance && s.resistanceAtZero;
  c.gap = !inRange && !atZero;
  if (c.gap) {
    return c;
  }
  const auto bottom = static_cast<float>(plot.low);
  c.low = inRange ? static_cast<float>(chartAxisValue(quantity, s.low(quantity))) : bottom;
  c.high = inRange ? static_cast<float>(chartAxisValue(quantity, s.high(quantity))) : bottom;
  if (atZero) {
    c.low = bottom;
  }
  return c;
}

void layoutColumns(ChartPlot& plot, const ChartTrace& trace, const ChartRows& rows, int width) {
  const std::size_t end = rows.first + rows.count;
  const auto pixels = static_cast<std::size_t>(width);
  if (rows.span <= pixels) {
    const double slot = static_cast<double>(width) / static_cast<double>(rows.span);
    plot.columns.reserve(rows.count);
    for (std::size_t r = rows.first; r < end; ++r) {
      const double x = (static_cast<double>(r - rows.first) + 0.5) * slot;
      plot.columns.push_back(column(trace, plot, r, r + 1, x));
    }
    return;
  }
  plot.columns.reserve(pixels);
  for (std::size_t c = 0; c < pixels; ++c) {
    const std::size_t from = rows.first + c * rows.span / pixels;
    const std::size_t to = std::min(end, rows.first + (c + 1) * rows.span / pixels);
    if (from >= to) {
      break;
    }
    plot.columns.push_back(column(trace, plot, from, to, static_cast<double>(c) + 0.5));
  }
}

void layoutRowTicks(ChartPlot& plot, const ChartRows& rows, int width, std::size_t firstRowNumber) {
  const double perPixel = static_cast<double>(rows.span) / static_cast<double>(width);
  const auto step = static_cast<std::size_t>(std::max(1.0, niceStep(perPixel * minRowTickSpacing)));
  const std::size_t firstNumber = firstRowNumber + rows.first;
  std::size_t number = (firstNumber + step - 1) / step * step;
  for (; number < firstNumber + rows.span; number += step) {
    const double x = (static_cast<double>(number - firstNumber) + 0.5) / perPixel;
    plot.rowTicks.push_back({x, std::to_string(number)});
  }
}

}  // namespace

double chartAxisValue(ChartQuantity quantity, double base) {
  if (quantity == ChartQuantity::Resistance) {
    return std::log10(base);
  }
  return base;
}

ChartPlot layoutChartPlot(const ChartTrace& trace, const ChartRows& rows, int width, int height,
                          std::size_t firstRowNumber) {
  width = std::max(width, 1);
  height = std::max(height, 1);
  ChartPlot plot;
  ChartRows shown = rows;
  shown.span = std::max({shown.span, shown.count, std::size_t{1}});
  layoutRowTicks(plot, shown, width, firstRowNumber);
  const ChartRunSummary page = trace.summary(shown.first, shown.first + shown.count);
  // One axis per quantity: resistance, the meter's main reading, keeps the axis whenever the
  // page holds any; a voltage reading among them would otherwise hide the whole trace.
  const bool ohms = page.holds(ChartQuantity::Resistance);
  const bool volts = page.holds(ChartQuantity::Voltage);
  plot.quantity = ohms    ? ChartQuantity::Resistance
                  : volts ? ChartQuantity::Voltage
                          : ChartQuantity::None;
  plot.otherLeftOut = ohms && volts;
  if (plot.quantity == ChartQuantity::None) {
    return plot;
  }
  if (plot.quantity == ChartQuantity::Resistance) {
    fitResistanceAxis(plot, page, height);
  } else {
    fitVoltageAxis(plot, page, height);
  }
  layoutColumns(plot, trace, shown, width);
  return plot;
}

}  // namespace ostrel

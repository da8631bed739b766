#include "record/chart/ChartTrace.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ostrel {

bool ChartRunSummary::holds(ChartQuantity quantity) const {
  return low(quantity) <= high(quantity) || over(quantity) ||
         (quantity == ChartQuantity::Resistance && resistanceAtZero);
}

bool ChartRunSummary::over(ChartQuantity quantity) const {
  return (quantity == ChartQuantity::Resistance && resistanceOver) ||
         (quantity == ChartQuantity::Voltage && voltageOver);
}

float ChartRunSummary::low(ChartQuantity quantity) const {
  switch (quantity) {
    case ChartQuantity::Resistance:
      return resistanceLow;
    case ChartQuantity::Voltage:
      return voltageLow;
    case ChartQuantity::None:
      break;
  }
  return emptyLow;
}

float ChartRunSummary::high(ChartQuantity quantity) const {
  switch (quantity) {
    case ChartQuantity::Resistance:
      return resistanceHigh;
    case ChartQuantity::Voltage:
      return voltageHigh;
    case ChartQuantity::None:
      break;
  }
  return emptyHigh;
}

void ChartRunSummary::append(const ChartRunSummary& later) {
  resistanceLow = std::min(resistanceLow, later.resistanceLow);
  resistanceHigh = std::max(resistanceHigh, later.resistanceHigh);
  resistanceAtZero = resistanceAtZero || later.resistanceAtZero;
  resistanceOver = resistanceOver || later.resistanceOver;
  voltageOver = voltageOver || later.voltageOver;
  voltageLow = std::min(voltageLow, later.voltageLow);
  voltageHigh = std::max(voltageHigh, later.voltageHigh);
  if (later.newest != ChartQuantity::None) {
    newest = later.newest;
  }
}

void ChartTrace::append(std::optional<ChartQuantityValue> reading) {
  const std::size_t row = size();
  // A value beyond a float's range cannot be drawn: a gap, like any other non-number. An
  // over-range reading is held as +infinity.
  const bool over = reading && reading->quantity != ChartQuantity::None && reading->overRange;
  const bool number = over || (reading && reading->quantity != ChartQuantity::None &&
                               std::isfinite(static_cast<float>(reading->base)));
  const float value = over     ? std::numeric_limits<float>::infinity()
                      : number ? static_cast<float>(reading->base)
                               : 0.0F;
  m_values.push_back(value);
  m_quantities.push_back(number ? reading->quantity : ChartQuantity::None);
  const ChartRunSummary added = rowSummary(row);
  for (std::size_t level = 0;; ++level) {
    const std::size_t index = row >> (levelBits * (level + 1));
    if (level == m_levels.size()) {
      if (row >> (levelBits * level) == 0) {
        break;  // the level below still holds a single entry: nothing to sum up
      }
      // The level below just got its second entry: its first one opens the new level.
      m_levels.emplace_back();
      m_levels.back().push_back(levelSummary(level, 0));
    }
    ChunkedArray<ChartRunSummary>& runs = m_levels[level];
    if (index == runs.size()) {
      runs.push_back(added);
    } else {
      runs.back().append(added);
    }
  }
}

void ChartTrace::clear() {
  m_values.clear();
  m_quantities.clear();
  m_levels.clear();
}

std::optional<ChartQuantityValue> ChartTrace::at(std::size_t row) const {
  if (row >= size() || m_quantities[row] == ChartQuantity::None) {
    return std::nullopt;
  }
  const float value = m_values[row];
  if (std::isinf(value)) return ChartQuantityValue{m_quantities[row], 0.0, true};
  return ChartQuantityValue{m_quantities[row], value};
}

ChartRunSummary ChartTrace::rowSummary(std::size_t row) const {
  ChartRunSummary s;
  const float value = m_values[row];
  const bool over = std::isinf(value);
  switch (m_quantities[row]) {
    case ChartQuantity::Resistance:
      if (over) {
        s.resistanceOver = true;
      } else if (value > 0.0F) {
        s.resistanceLow = s.resistanceHigh = value;
      } else {
        s.resistanceAtZero = true;
      }
      break;
    case ChartQuantity::Voltage:
      if (over) {
        s.voltageOver = true;
      } else {
        s.voltageLow = s.voltageHigh = value;
      }
      break;
    case ChartQuantity::None:
      return s;
  }
  s.newest = m_quantities[row];
  return s;
}

ChartRunSummary ChartTrace::levelSummary(std::size_t level, std::size_t index) const {
  return level == 0 ? rowSummary(index) : m_levels[level - 1][index];
}

// Walks up the levels: at each, the runs at the ragged ends are summed one by one until
// both ends fall on boundaries of the next level, whose runs then stand for 16 of these.
ChartRunSummary ChartTrace::summary(std::size_t first, std::size_t last) const {
  last = std::min(last, size());
  ChartRunSummary front;
  ChartRunSummary back;
  std::size_t lo = first;
  std::size_t hi = last;
  constexpr std::size_t mask = (std::size_t{1} << levelBits) - 1;
  for (std::size_t level = 0; lo < hi; ++level) {
    const bool top = level == m_levels.size();
    while (lo < hi && (top || (lo & mask) != 0)) {
      front.append(levelSummary(level, lo++));
    }
    while (lo < hi && (hi & mask) != 0) {
      ChartRunSummary later = levelSummary(level, --hi);
      later.append(back);
      back = later;
    }
    lo >>= levelBits;
    hi >>= levelBits;
  }
  front.append(back);
  return front;
}

}  // namespace ostrel

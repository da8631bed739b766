#include "record/chart/TrendChartModel.h"

#include <algorithm>

namespace ostrel {

TrendChartModel::TrendChartModel() = default;

void TrendChartModel::ShowSeries(int index) {
  for (bool& active : m_active) {
    active = false;
  }
  setActive(index, true);
}

void TrendChartModel::setActive(int index, bool active) {
  if (validIndex(index)) {
    m_active[index] = active;
  }
}

bool TrendChartModel::isActive(int index) const { return validIndex(index) && m_active[index]; }

int TrendChartModel::activeSeries() const {
  for (int i = 0; i < seriesCount; ++i) {
    if (isActive(i)) {
      return i;
    }
  }
  return -1;
}

void TrendChartModel::fillSampleValues(int count) {
  m_trace.clear();
  m_samples = static_cast<std::size_t>(std::max(count, 0));
}

void TrendChartModel::appendRow(std::optional<ChartQuantityValue> reading) {
  m_samples = 0;
  m_trace.append(reading);
}

ChartTrace& TrendChartModel::replaceRows() {
  m_samples = 0;
  m_trace.clear();
  return m_trace;
}

std::size_t TrendChartModel::pointCount() const {
  return m_samples > 0 ? m_samples : m_trace.size();
}

bool TrendChartModel::setMaxPointsPerPage(std::int32_t pointsPerPage) {
  if (pointsPerPage < 0) {
    return false;
  }
  m_maxPointsPerPage = pointsPerPage;
  m_page = std::min(m_page, pageCount());
  return true;
}

std::int32_t TrendChartModel::pageCount() const {
  const std::size_t points = activeSeries() >= 0 ? pointCount() : 0;
  if (m_maxPointsPerPage == 0 || points == 0) {
    return 1;
  }
  const auto perPage = static_cast<std::size_t>(m_maxPointsPerPage);
  return static_cast<std::int32_t>((points + perPage - 1) / perPage);
}

bool TrendChartModel::setPage(std::int32_t page) {
  const std::int32_t limited = std::clamp(page, std::int32_t{1}, pageCount());
  if (limited == m_page) {
    return false;
  }
  m_page = limited;
  return true;
}

ChartRows TrendChartModel::pageRows() const {
  const std::size_t held = m_trace.size();
  ChartRows rows;
  if (m_maxPointsPerPage == 0) {
    rows.count = held;
    rows.span = std::max<std::size_t>(held, 1);
    return rows;
  }
  const auto perPage = static_cast<std::size_t>(m_maxPointsPerPage);
  rows.first = std::min(static_cast<std::size_t>(m_page - 1) * perPage, held);
  rows.count = std::min(perPage, held - rows.first);
  rows.span = perPage;
  return rows;
}

}  // namespace ostrel

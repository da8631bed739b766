#include "record/chart/TrendChartModel.h"

#include <algorithm>

namespace ostrel {

namespace {

// A range of zero width cannot be drawn; widen it around its only X.
void widenSingleX(ChartPageView& view) {
  if (view.xMax <= view.xMin) {
    view.xMin -= 1.0;
    view.xMax += 1.0;
  }
}

double meanXStep(const std::vector<ChartPoint>& points) {
  if (points.size() < 2) {
    return 1.0;
  }
  const double span = points.back().x - points.front().x;
  return span > 0.0 ? span / static_cast<double>(points.size() - 1) : 1.0;
}

}  // namespace

TrendChartModel::TrendChartModel() {
  for (Series& series : m_series) {
    series.active = true;
  }
}

void TrendChartModel::ShowSeries(int index) {
  for (Series& series : m_series) {
    series.active = false;
  }
  setActive(index, true);
}

void TrendChartModel::setActive(int index, bool active) {
  if (validIndex(index)) {
    m_series[static_cast<std::size_t>(index)].active = active;
  }
}

bool TrendChartModel::isActive(int index) const {
  return validIndex(index) && m_series[static_cast<std::size_t>(index)].active;
}

int TrendChartModel::activeSeries() const {
  for (int i = 0; i < seriesCount; ++i) {
    if (isActive(i)) {
      return i;
    }
  }
  return -1;
}

void TrendChartModel::fillSampleValues(int index, int count) {
  if (!validIndex(index)) {
    return;
  }
  Series& series = m_series[static_cast<std::size_t>(index)];
  series.points.clear();
  for (int i = 0; i < count; ++i) {
    series.points.push_back({static_cast<double>(i), 0.0});
  }
  series.samples = count > 0;
}

bool TrendChartModel::holdsSamples(int index) const {
  return validIndex(index) && m_series[static_cast<std::size_t>(index)].samples;
}

void TrendChartModel::dropSamples(Series& series) {
  if (series.samples) {
    series.points.clear();
    series.samples = false;
  }
}

std::size_t TrendChartModel::addPoint(int index, ChartPoint point) {
  if (!validIndex(index)) {
    return 0;
  }
  Series& series = m_series[static_cast<std::size_t>(index)];
  dropSamples(series);
  std::vector<ChartPoint>& points = series.points;
  if (points.empty() || points.back().x <= point.x) {
    points.push_back(point);
    return points.size() - 1;
  }
  const auto at = std::upper_bound(points.begin(), points.end(), point.x,
                                   [](double x, const ChartPoint& p) { return x < p.x; });
  const auto inserted = points.insert(at, point);
  return static_cast<std::size_t>(inserted - points.begin());
}

void TrendChartModel::setPoints(int index, std::vector<ChartPoint> points) {
  if (!validIndex(index)) {
    return;
  }
  std::stable_sort(points.begin(), points.end(),
                   [](const ChartPoint& a, const ChartPoint& b) { return a.x < b.x; });
  Series& series = m_series[static_cast<std::size_t>(index)];
  series.points = std::move(points);
  series.samples = false;
}

const std::vector<ChartPoint>& TrendChartModel::points(int index) const {
  static const std::vector<ChartPoint> none;
  return validIndex(index) ? m_series[static_cast<std::size_t>(index)].points : none;
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
  if (m_maxPointsPerPage == 0) {
    return 1;
  }
  std::size_t most = 0;
  for (const Series& series : m_series) {
    if (series.active) {
      most = std::max(most, series.points.size());
    }
  }
  if (most == 0) {
    return 1;
  }
  const auto perPage = static_cast<std::size_t>(m_maxPointsPerPage);
  return static_cast<std::int32_t>((most + perPage - 1) / perPage);
}

bool TrendChartModel::setPage(std::int32_t page) {
  const std::int32_t limited = std::clamp(page, std::int32_t{1}, pageCount());
  if (limited == m_page) {
    return false;
  }
  m_page = limited;
  return true;
}

ChartPageView TrendChartModel::pageView(int index) const {
  const std::vector<ChartPoint>& all = points(index);
  ChartPageView view;
  if (m_maxPointsPerPage == 0) {
    view.count = all.size();
    if (!all.empty()) {
      view.xMin = all.front().x;
      view.xMax = all.back().x;
    }
    widenSingleX(view);
    return view;
  }
  const auto perPage = static_cast<std::size_t>(m_maxPointsPerPage);
  const std::size_t first = static_cast<std::size_t>(m_page - 1) * perPage;
  view.first = std::min(first, all.size());
  view.count = std::min(perPage, all.size() - view.first);
  if (view.count == 0) {
    view.xMax = static_cast<double>(perPage - 1);
  } else if (view.count == perPage) {
    view.xMin = all[view.first].x;
    view.xMax = all[view.first + view.count - 1].x;
  } else {
    view.xMin = all[view.first].x;
    view.xMax = view.xMin + static_cast<double>(perPage - 1) * meanXStep(all);
  }
  widenSingleX(view);
  return view;
}

}  // namespace ostrel

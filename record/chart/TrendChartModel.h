#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ostrel {

// One chart point: X (a record number) and Y (a reading), both in chart units.
struct ChartPoint {
  double x = 0.0;
  double y = 0.0;
};

// What one page of a series shows: the points [first, first + count) of the series and the
// bottom axis range. A page after the last point is empty (count 0).
struct ChartPageView {
  std::size_t first = 0;
  std::size_t count = 0;
  double xMin = 0.0;
  double xMax = 0.0;
};

// The chart's data and paging, as the charting component's operations: two series in list
// order (0 the area series, 1 the line series), each active or not, with points kept in
// ascending X order; points per page (0 = no paging) and the current page (from 1).
// Main thread only; no allocation beyond the point vectors.
class TrendChartModel {
 public:
  static constexpr int seriesCount = 2;
  static constexpr std::int32_t startPointsPerPage = 100;

  TrendChartModel();

  // Makes series `index` the only active one: every series inactive in list order, then
  // `index` active. An index outside 0..seriesCount-1 leaves every series inactive.
  void ShowSeries(int index);
  void setActive(int index, bool active);
  [[nodiscard]] bool isActive(int index) const;
  // Index of the first active series, or -1 when none is active.
  [[nodiscard]] int activeSeries() const;

  // Removes every point of the series and adds `count` generated points (X 0, 1, ...;
  // Y 0). Generated points are placeholders: the next addPoint or setPoints on the
  // series removes them first.
  void fillSampleValues(int index, int count);
  [[nodiscard]] bool holdsSamples(int index) const;

  // Inserts a point behind every point with the same or a lower X (appending is the
  // usual case and takes constant time). Returns the index it was inserted at.
  std::size_t addPoint(int index, ChartPoint point);
  // Replaces every point of the series; sorts them by X, keeping the order of equal X.
  void setPoints(int index, std::vector<ChartPoint> points);
  [[nodiscard]] const std::vector<ChartPoint>& points(int index) const;

  [[nodiscard]] std::int32_t maxPointsPerPage() const { return m_maxPointsPerPage; }
  // Refuses (returns false, nothing changes) a value below 0. Otherwise stores it and
  // lowers the current page to the new page count when it exceeds it.
  bool setMaxPointsPerPage(std::int32_t pointsPerPage);

  // 1 when points per page is 0 or no active series holds a point; otherwise the largest
  // point count among the active series divided by points per page, rounded up.
  [[nodiscard]] std::int32_t pageCount() const;
  [[nodiscard]] std::int32_t page() const { return m_page; }
  // Limits the page to 1..pageCount(). Returns true when the page changed (a redraw is
  // needed), false when it stayed the same.
  bool setPage(std::int32_t page);

  // The current page of series `index`. X range: a full page spans its first to its last
  // point; the last page keeps the span of a full page (its first X plus points per page
  // - 1 steps of the series' mean X spacing, 1 when the series has fewer than 2 points).
  // Without paging the range spans all points. A range never has zero width: a single X
  // is widened by 1 on each side.
  [[nodiscard]] ChartPageView pageView(int index) const;

 private:
  struct Series {
    std::vector<ChartPoint> points;
    bool active = false;
    bool samples = false;
  };
  [[nodiscard]] bool validIndex(int index) const { return index >= 0 && index < seriesCount; }
  void dropSamples(Series& series);

  std::array<Series, seriesCount> m_series;
  std::int32_t m_maxPointsPerPage = startPointsPerPage;
  std::int32_t m_page = 1;
};

}  // namespace ostrel

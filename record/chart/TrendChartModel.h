#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "record/chart/ChartPlot.h"
#include "record/chart/ChartTrace.h"

namespace ostrel {

// The chart's data and paging, as the charting component's operations: two series in list
// order (0 the area series, 1 the line series), each active or not, both presenting the
// same rows (the readings in table order, gaps included); points per page (0 = no paging)
// and the current page (from 1). Main thread only.
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

  // Removes every row and puts `count` generated points in their place. Generated points
  // count for paging but plot nothing; the next appended row removes them first.
  void fillSampleValues(int count);
  [[nodiscard]] bool holdsSamples() const { return m_samples > 0; }

  // Appends the next row: a reading, or a gap (nullopt). Costs the same at any size.
  void appendRow(std::optional<ChartQuantityValue> reading);
  // Replaces every row (and any generated point) by those the caller fills in.
  [[nodiscard]] ChartTrace& replaceRows();
  [[nodiscard]] const ChartTrace& rows() const { return m_trace; }
  // Rows held, or generated points while they stand in for the rows.
  [[nodiscard]] std::size_t pointCount() const;

  [[nodiscard]] std::int32_t maxPointsPerPage() const { return m_maxPointsPerPage; }
  // Refuses (returns false, nothing changes) a value below 0. Otherwise stores it and
  // lowers the current page to the new page count when it exceeds it.
  bool setMaxPointsPerPage(std::int32_t pointsPerPage);

  // 1 when points per page is 0 or no active series holds a point; otherwise the point
  // count divided by points per page, rounded up.
  [[nodiscard]] std::int32_t pageCount() const;
  [[nodiscard]] std::int32_t page() const { return m_page; }
  // Limits the page to 1..pageCount(). Returns true when the page changed (a redraw is
  // needed), false when it stayed the same.
  bool setPage(std::int32_t page);

  // The rows the current page shows. A full page spans points per page rows, and so does
  // the last page however few it holds; without paging the page spans every row. A page
  // of generated points shows no row.
  [[nodiscard]] ChartRows pageRows() const;

 private:
  [[nodiscard]] bool validIndex(int index) const { return index >= 0 && index < seriesCount; }

  ChartTrace m_trace;
  std::size_t m_samples = 0;
  bool m_active[seriesCount] = {true, true};
  std::int32_t m_maxPointsPerPage = startPointsPerPage;
  std::int32_t m_page = 1;
};

}  // namespace ostrel

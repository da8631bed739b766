#pragma once

#include <QString>
#include <QWidget>
#include <cstddef>
#include <functional>
#include <optional>

#include "record/chart/ChartPlot.h"

class QRubberBand;

namespace ostrel {

class TrendChartModel;

// The chart's plot on screen: paints the model's current page with paintChartPlot whenever
// it is shown, so a change costs nothing until the plot is in view, and shows the reading
// under the mouse as a tool tip. Main thread only.
class ChartPlotView final : public QWidget {
 public:
  // `model` must outlive the view.
  ChartPlotView(const TrendChartModel& model, QWidget* parent);

  // The table row number of the model's first row (1 for a whole table).
  void setFirstRowNumber(std::size_t number);
  [[nodiscard]] std::size_t firstRowNumber() const { return m_firstRowNumber; }
  // The tool tip text of a model row; none by default.
  void setDescriber(std::function<QString(std::size_t row)> describe);

  // Zooming by dragging: a drag to the right across the plot shows only the rows it spans
  // (the value axis fits them); a drag to the left, or the chart's page buttons and any
  // change of page, show the whole page again.
  [[nodiscard]] const std::optional<ChartRows>& zoom() const { return m_zoom; }
  void resetZoom();

  // Paints what the view shows (page, zoom) into `bounds` of `painter`, for pictures of it.
  void paintPlot(QPainter& painter, const QRect& bounds) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void showBand(int x);
  const TrendChartModel& m_model;
  std::size_t m_firstRowNumber = 1;
  std::function<QString(std::size_t row)> m_describe;
  std::optional<ChartRows> m_zoom;
  QRubberBand* m_band = nullptr;  // owned by this view; shown while dragging
  QPoint m_dragStart;
  bool m_dragging = false;
};

}  // namespace ostrel

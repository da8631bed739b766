#pragma once

#include <QRect>
#include <QSize>
#include <optional>

class QWidget;

namespace ostrel {

// Where the enlarge switch reads and moves things: the main window's outer size and the
// chart's bounds, in pixels of the window's client area. Main thread only.
class ChartPlacement {
 public:
  virtual ~ChartPlacement() = default;
  // The main window's outer (frame) size, title bar and borders included.
  [[nodiscard]] virtual QSize windowOuterSize() const = 0;
  // Makes the main window's outer height `height`, keeping its width.
  virtual void setWindowOuterHeight(int height) = 0;
  [[nodiscard]] virtual QRect chartBounds() const = 0;
  virtual void setChartBounds(const QRect& bounds) = 0;
  // The chart's place where it lies in the window's content, which does not change when the
  // window scrolls. The same as the bounds in a window that does not scroll.
  [[nodiscard]] virtual QRect chartPlace() const { return chartBounds(); }
  virtual void setChartPlace(const QRect& place) { setChartBounds(place); }
  // The size of what the window's client area shows (inside its scroll bars), where the
  // bounds are counted; none when the chart's parent is the whole client area.
  [[nodiscard]] virtual std::optional<QSize> clientSize() const { return std::nullopt; }
};

// The placement of a chart widget inside a real window. Bounds are counted from the top
// left of `client`, an ancestor of the chart that stands for the window's client area (a
// scroll area's viewport, so that the enlarged chart covers what is in view); with no
// client they are the chart's geometry in its parent. The window is chart.window(); a
// window of fixed height keeps a fixed height (the new one).
//
// In a scroll area whose content follows the size of its children (ScrollContent), moving the
// chart resizes the content, and a content that shrinks scrolls the view: bounds that reach
// the client's right and bottom edges keep it from shrinking. setChartPlace scrolls the view
// afterwards so that the whole chart is in it.
class WidgetChartPlacement final : public ChartPlacement {
 public:
  explicit WidgetChartPlacement(QWidget& chart, QWidget* client = nullptr);

  [[nodiscard]] QSize windowOuterSize() const override;
  void setWindowOuterHeight(int height) override;
  [[nodiscard]] QRect chartBounds() const override;
  void setChartBounds(const QRect& bounds) override;
  // The chart's geometry in its parent (the scrolled content).
  [[nodiscard]] QRect chartPlace() const override;
  void setChartPlace(const QRect& place) override;
  // The client's size (the scroll area's viewport, without its scroll bars).
  [[nodiscard]] std::optional<QSize> clientSize() const override;

 private:
  [[nodiscard]] bool mapsToClient() const;

  QWidget& m_chart;
  QWidget* m_client;  // not owned; may be null
};

}  // namespace ostrel

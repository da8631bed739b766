#include "ui/chart/ChartPlacement.h"

#include <QScrollArea>
#include <QWidget>

namespace ostrel {

WidgetChartPlacement::WidgetChartPlacement(QWidget& chart, QWidget* client)
    : m_chart(chart), m_client(client) {}

QSize WidgetChartPlacement::windowOuterSize() const {
  return m_chart.window()->frameGeometry().size();
}

void WidgetChartPlacement::setWindowOuterHeight(int height) {
  QWidget* window = m_chart.window();
  const int frameExtra = window->frameGeometry().height() - window->height();
  const int clientHeight = height - frameExtra;
  if (window->minimumHeight() == window->maximumHeight()) {
    window->setFixedHeight(clientHeight);
  } else {
    window->resize(window->width(), clientHeight);
  }
}

bool WidgetChartPlacement::mapsToClient() const {
  QWidget* parent = m_chart.parentWidget();
  return m_client != nullptr && parent != nullptr && parent != m_client;
}

QRect WidgetChartPlacement::chartBounds() const {
  QRect bounds = m_chart.geometry();
  if (mapsToClient()) {
    bounds.moveTopLeft(m_chart.parentWidget()->mapTo(m_client, bounds.topLeft()));
  }
  return bounds;
}

void WidgetChartPlacement::setChartBounds(const QRect& bounds) {
  QRect inParent = bounds;
  if (mapsToClient()) {
    inParent.moveTopLeft(m_chart.parentWidget()->mapFrom(m_client, bounds.topLeft()));
  }
  m_chart.setGeometry(inParent);
}

QRect WidgetChartPlacement::chartPlace() const { return m_chart.geometry(); }

void WidgetChartPlacement::setChartPlace(const QRect& place) {
  m_chart.setGeometry(place);
  // The content took its new size at once (the chart is shown); the view may have kept a
  // scroll position that leaves part of the chart out of sight.
  if (m_client != nullptr && m_chart.isVisible()) {
    if (auto* area = qobject_cast<QScrollArea*>(m_client->parentWidget())) {
      area->ensureWidgetVisible(&m_chart, 0, 0);
    }
  }
}

std::optional<QSize> WidgetChartPlacement::clientSize() const {
  if (m_client == nullptr) return std::nullopt;
  return m_client->size();
}

}  // namespace ostrel

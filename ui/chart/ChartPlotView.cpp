#include "ui/chart/ChartPlotView.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QToolTip>
#include <algorithm>

#include "record/chart/TrendChartModel.h"
#include "ui/chart/ChartPainter.h"

namespace ostrel {

namespace {

constexpr int minDrag = 4;  // pixels: a shorter drag is a click

}  // namespace

ChartPlotView::ChartPlotView(const TrendChartModel& model, QWidget* parent)
    : QWidget(parent), m_model(model), m_band(new QRubberBand(QRubberBand::Rectangle, this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartPlotView::resetZoom() {
  if (m_zoom) {
    m_zoom.reset();
    update();
  }
}

void ChartPlotView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  m_dragStart = event->position().toPoint();
  m_dragging = true;
  showBand(m_dragStart.x());
  m_band->show();
}

void ChartPlotView::mouseMoveEvent(QMouseEvent* event) {
  if (m_dragging) {
    showBand(event->position().toPoint().x());
  }
}

// A drag zooms the rows only: the band spans the plot's whole height between the two x.
void ChartPlotView::showBand(int x) {
  const QRect plot = chartPlotArea(rect());
  m_band->setGeometry(QRect(QPoint(std::min(m_dragStart.x(), x), plot.top()),
                            QPoint(std::max(m_dragStart.x(), x), plot.bottom())));
}

void ChartPlotView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !m_dragging) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  m_dragging = false;
  m_band->hide();
  const int from = m_dragStart.x();
  const int to = event->position().toPoint().x();
  if (to - from <= -minDrag) {
    resetZoom();
    return;
  }
  if (to - from < minDrag) {
    return;
  }
  const QRect plot = chartPlotArea(rect());
  const ChartRows shown = chartShownRows(m_model, m_zoom);
  const auto rowAt = [&](int x) {
    const double share =
        static_cast<double>(std::clamp(x, plot.left(), plot.right() + 1) - plot.left()) /
        plot.width();
    return shown.first + static_cast<std::size_t>(share * static_cast<double>(shown.span));
  };
  const std::size_t first = rowAt(from);
  const std::size_t end = std::max(rowAt(to), first + 1);
  const std::size_t held = shown.first + shown.count;
  if (first >= held) {
    return;  // nothing recorded there yet
  }
  m_zoom = ChartRows{first, std::min(end, held) - first, end - first};
  update();
}

void ChartPlotView::setFirstRowNumber(std::size_t number) {
  m_firstRowNumber = number;
  update();
}

void ChartPlotView::setDescriber(std::function<QString(std::size_t row)> describe) {
  m_describe = std::move(describe);
}

void ChartPlotView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  paintPlot(painter, rect());
}

void ChartPlotView::paintPlot(QPainter& painter, const QRect& bounds) const {
  paintChartPlot(painter, bounds, m_model, m_firstRowNumber, m_zoom);
}

bool ChartPlotView::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) {
    return QWidget::event(event);
  }
  const auto* help = static_cast<QHelpEvent*>(event);
  const std::optional<std::size_t> row = chartRowAt(rect(), m_model, help->pos().x(), m_zoom);
  const QString text = row && m_describe ? m_describe(*row) : QString();
  if (text.isEmpty()) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), text, this);
  }
  return true;
}

}  // namespace ostrel

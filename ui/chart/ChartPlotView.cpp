#include "ui/chart/ChartPlotView.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include "record/chart/TrendChartModel.h"
#include "ui/chart/ChartPainter.h"

namespace ostrel {

ChartPlotView::ChartPlotView(const TrendChartModel& model, QWidget* parent)
    : QWidget(parent), m_model(model) {
  setAttribute(Qt::WA_OpaquePaintEvent);
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
  paintChartPlot(painter, rect(), m_model, m_firstRowNumber);
}

bool ChartPlotView::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) {
    return QWidget::event(event);
  }
  const auto* help = static_cast<QHelpEvent*>(event);
  const std::optional<std::size_t> row = chartRowAt(rect(), m_model, help->pos().x());
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

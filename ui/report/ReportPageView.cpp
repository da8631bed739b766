#include "ui/report/ReportPageView.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "ui/report/ReportGeometry.h"
#include "ui/report/ReportPainter.h"

namespace ostrel {

namespace {

constexpr int borderPixels = 12;
constexpr double minimumZoom = 0.1;
constexpr double maximumZoom = 8.0;

}  // namespace

ReportPageView::ReportPageView(const ReportLayout& layout, QWidget* parent)
    : QWidget(parent), m_layout(layout) {
  setPageNumber(1);
}

void ReportPageView::setPageNumber(int number) {
  number = std::clamp(number, 1, m_layout.pageCount());
  if (number == m_pageNumber) return;
  m_pageNumber = number;
  m_elements = m_layout.page(number);
  update();
}

void ReportPageView::setZoom(double zoom) {
  zoom = std::clamp(zoom, minimumZoom, maximumZoom);
  if (zoom == m_zoom) return;
  m_zoom = zoom;
  resize(sizeHint());
  updateGeometry();
  update();
}

double ReportPageView::dotsPerMm() const { return m_zoom * logicalDpiX() / 25.4; }

QSize ReportPageView::sizeHint() const {
  const double scale = dotsPerMm();
  return {static_cast<int>(std::ceil(report::pageWidthMm * scale)) + 2 * borderPixels,
          static_cast<int>(std::ceil(report::pageHeightMm * scale)) + 2 * borderPixels};
}

void ReportPageView::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().color(QPalette::Dark));
  const double scale = dotsPerMm();
  const double pageWidth = report::pageWidthMm * scale;
  const double left = std::max<double>(borderPixels, (width() - pageWidth) / 2);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  paintReportPage(painter, m_elements, scale, QPointF(left, borderPixels));
}

}  // namespace ostrel

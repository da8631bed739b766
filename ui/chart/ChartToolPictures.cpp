#include "ui/chart/ChartToolPictures.h"

#include <QPainter>
#include <QPolygon>

namespace ostrel {

namespace {

const QColor kBlue(0, 0, 255);
const QColor kNavy(0, 0, 128);
const QColor kSilver(192, 192, 192);

QPixmap transparentPixmap(int width, int height) {
  QPixmap pixmap(width, height);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// A filled triangle of width 6 and height 9 with its tip at (tipX, 4), pointing left when
// `left`, else right.
void drawTriangle(QPainter& painter, int tipX, bool left) {
  const int baseX = left ? tipX + 5 : tipX - 5;
  painter.drawPolygon(QPolygon({QPoint(tipX, 4), QPoint(baseX, 0), QPoint(baseX, 8)}));
}

QPixmap drawArrows(bool left, bool withBar) {
  QPixmap pixmap = transparentPixmap(14, 10);
  QPainter painter(&pixmap);
  painter.setPen(kBlue);
  painter.setBrush(kBlue);
  if (left) {
    const int start = withBar ? 3 : 1;
    drawTriangle(painter, start, true);
    drawTriangle(painter, start + 6, true);
    if (withBar) {
      painter.fillRect(QRect(0, 0, 2, 9), kBlue);
    }
  } else {
    const int end = withBar ? 10 : 12;
    drawTriangle(painter, end, false);
    drawTriangle(painter, end - 6, false);
    if (withBar) {
      painter.fillRect(QRect(12, 0, 2, 9), kBlue);
    }
  }
  return pixmap;
}

QPixmap drawFloppy() {
  QPixmap pixmap = transparentPixmap(16, 16);
  QPainter painter(&pixmap);
  painter.fillRect(QRect(1, 1, 14, 14), kNavy);
  painter.fillRect(QRect(4, 1, 8, 5), kSilver);     // metal shutter
  painter.fillRect(QRect(9, 2, 2, 3), kNavy);       // shutter window
  painter.fillRect(QRect(3, 8, 10, 7), Qt::white);  // label
  painter.setPen(QColor(128, 128, 128));
  painter.drawLine(4, 10, 11, 10);
  painter.drawLine(4, 12, 11, 12);
  painter.setPen(Qt::black);
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRect(0, 0, 15, 15));
  return pixmap;
}

QPixmap drawCross() {
  QPixmap pixmap = transparentPixmap(16, 16);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(200, 0, 0), 3, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
  painter.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
  return pixmap;
}

QPixmap drawMagnifier(bool plus) {
  QPixmap pixmap = transparentPixmap(25, 25);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(96, 64, 32), 4, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(15.5, 15.5), QPointF(22, 22));  // handle
  painter.setPen(QPen(Qt::black, 1.5));
  painter.setBrush(QColor(210, 235, 255));
  painter.drawEllipse(QPointF(10, 10), 7.5, 7.5);  // lens
  painter.setPen(QPen(Qt::black, 2));
  painter.drawLine(QPointF(6, 10), QPointF(14, 10));
  if (plus) {
    painter.drawLine(QPointF(10, 6), QPointF(10, 14));
  }
  return pixmap;
}

}  // namespace

QPixmap chartToolPicture(ChartToolPicture picture) {
  switch (picture) {
    case ChartToolPicture::Floppy:
      return drawFloppy();
    case ChartToolPicture::Cross:
      return drawCross();
    case ChartToolPicture::First:
      return drawArrows(true, true);
    case ChartToolPicture::Previous:
      return drawArrows(true, false);
    case ChartToolPicture::Next:
      return drawArrows(false, false);
    case ChartToolPicture::Last:
      return drawArrows(false, true);
    case ChartToolPicture::MagnifierPlus:
      return drawMagnifier(true);
    case ChartToolPicture::MagnifierMinus:
      return drawMagnifier(false);
  }
  return {};
}

}  // namespace ostrel

#include "ui/chart/ChartToolPictures.h"

#include <QPainter>
#include <QPolygon>

#include "ui/ButtonPictures.h"

namespace ostrel {

namespace {

const QColor blueColor(0, 0, 255);

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
  painter.setPen(blueColor);
  painter.setBrush(blueColor);
  if (left) {
    const int start = withBar ? 3 : 1;
    drawTriangle(painter, start, true);
    drawTriangle(painter, start + 6, true);
    if (withBar) {
      painter.fillRect(QRect(0, 0, 2, 9), blueColor);
    }
  } else {
    const int end = withBar ? 10 : 12;
    drawTriangle(painter, end, false);
    drawTriangle(painter, end - 6, false);
    if (withBar) {
      painter.fillRect(QRect(12, 0, 2, 9), blueColor);
    }
  }
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
      // The toolbar's own pictures, so that both saves and both deletes look alike.
      return savePicture().pixmap(16, 16);
    case ChartToolPicture::Cross:
      return deletePicture().pixmap(16, 16);
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

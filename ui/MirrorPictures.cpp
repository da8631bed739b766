#include "MirrorPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>

namespace ostrel {

namespace {

QPen blackPen(double width, Qt::PenCapStyle cap = Qt::FlatCap) {
  return QPen(Qt::black, width, Qt::SolidLine, cap, Qt::MiterJoin);
}

// 51 x 25: body outline with the terminal at the right; the charge bars are separate
// elements placed inside the body.
void paintBattery(QPainter& p) {
  p.setPen(blackPen(2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(1, 1, 44, 23));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawRect(QRectF(45, 7, 6, 11));
}

// 33 x 29: a ring with a dot in its centre and a line entering it from the left.
void paintRingWithDot(QPainter& p) {
  const QPointF centre(20, 14.5);
  p.setPen(blackPen(3));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(centre, 10.5, 10.5);
  p.drawLine(QPointF(0, centre.y()), QPointF(centre.x() - 10.5, centre.y()));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawEllipse(centre, 3.5, 3.5);
}

// 41 x 25: a dot with three concentric arcs opening to the right.
void paintDotWithArcs(QPainter& p) {
  const QPointF centre(7, 12.5);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawEllipse(centre, 4, 4);
  p.setPen(blackPen(2.6));
  p.setBrush(Qt::NoBrush);
  for (double r : {10.0, 17.5, 25.0}) {
    const QRectF ring(centre.x() - r, centre.y() - r * 0.46, 2 * r, 2 * r * 0.46);
    p.drawArc(ring, -50 * 16, 100 * 16);
  }
}

// 32 x 32: two computers joined by a cable; screens lit (cyan) or dark.
void paintComputers(QPainter& p, bool lit) {
  const QColor casing(192, 192, 192);
  const QColor screen = lit ? QColor(0, 255, 255) : QColor(0, 64, 64);
  auto computer = [&](double x, double y) {
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(casing);
    p.drawRect(QRectF(x, y, 14, 11));
    p.setBrush(screen);
    p.drawRect(QRectF(x + 2, y + 2, 10, 7));
    p.setBrush(casing);
    p.drawRect(QRectF(x + 4, y + 11, 6, 2));
    p.drawRect(QRectF(x + 1, y + 13, 12, 2));
  };
  p.setPen(QPen(Qt::black, 1.5));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF({{8, 16}, {8, 23}, {17, 23}}));
  computer(1.5, 1.5);
  computer(16.5, 15.5);
}

// 27 x 37: a zig-zag lightning bolt ending in an arrowhead at the bottom.
void paintLightning(QPainter& p) {
  p.setPen(blackPen(3.2));
  p.setBrush(Qt::NoBrush);
  p.drawPolyline(QPolygonF({{21, 1}, {9, 16}, {19, 16}, {9.5, 28.5}}));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawPolygon(QPolygonF({{4, 36.5}, {5.5, 24}, {14.5, 30}}));
}

// 27 x 29: a thick ring open at the upper right, a pointer from its centre into the gap.
void paintDial(QPainter& p) {
  const QPointF centre(13, 15.5);
  const double r = 9.5;
  p.setPen(blackPen(4));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), 80 * 16, 290 * 16);
  p.setPen(blackPen(2.5, Qt::RoundCap));
  p.drawLine(centre, QPointF(centre.x() + 10, centre.y() - 10));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawEllipse(centre, 2.5, 2.5);
}

QSizeF naturalSize(MirrorPicture picture) {
  switch (picture) {
    case MirrorPicture::Battery:
      return {51, 25};
    case MirrorPicture::RingWithDot:
      return {33, 29};
    case MirrorPicture::DotWithArcs:
      return {41, 25};
    case MirrorPicture::ComputersLit:
    case MirrorPicture::ComputersDark:
      return {32, 32};
    case MirrorPicture::Lightning:
      return {27, 37};
    case MirrorPicture::Dial:
      return {27, 29};
    case MirrorPicture::None:
      break;
  }
  return {1, 1};
}

}  // namespace

void paintMirrorPicture(QPainter& painter, const QRectF& box, MirrorPicture picture) {
  const QSizeF natural = naturalSize(picture);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.translate(box.topLeft());
  painter.scale(box.width() / natural.width(), box.height() / natural.height());
  switch (picture) {
    case MirrorPicture::Battery:
      paintBattery(painter);
      break;
    case MirrorPicture::RingWithDot:
      paintRingWithDot(painter);
      break;
    case MirrorPicture::DotWithArcs:
      paintDotWithArcs(painter);
      break;
    case MirrorPicture::ComputersLit:
      paintComputers(painter, true);
      break;
    case MirrorPicture::ComputersDark:
      paintComputers(painter, false);
      break;
    case MirrorPicture::Lightning:
      paintLightning(painter);
      break;
    case MirrorPicture::Dial:
      paintDial(painter);
      break;
    case MirrorPicture::None:
      break;
  }
  painter.restore();
}

}  // namespace ostrel

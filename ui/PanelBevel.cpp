#include "PanelBevel.h"

#include <QPainter>

namespace ostrel {

namespace {

const QColor highlight(255, 255, 255);
const QColor shadow(128, 128, 128);

QRect paintBevel(QPainter& p, const QRect& r, Bevel bevel) {
  if (bevel == Bevel::None) return r;
  const QColor topLeft = bevel == Bevel::Raised ? highlight : shadow;
  const QColor bottomRight = bevel == Bevel::Raised ? shadow : highlight;
  p.setPen(topLeft);
  p.drawLine(r.topLeft(), r.topRight());
  p.drawLine(r.topLeft(), r.bottomLeft());
  p.setPen(bottomRight);
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());
  return r.adjusted(1, 1, -1, -1);
}

}  // namespace

QRect paintPanel(QPainter& painter, const QRect& rect, const PanelLook& look) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.fillRect(rect, look.face);
  QRect inside = paintBevel(painter, rect, look.outer);
  inside.adjust(look.borderWidth, look.borderWidth, -look.borderWidth, -look.borderWidth);
  inside = paintBevel(painter, inside, look.inner);
  painter.restore();
  return inside;
}

}  // namespace ostrel

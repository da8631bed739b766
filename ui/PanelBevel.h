#pragma once

#include <QColor>
#include <QRect>

class QPainter;

namespace ostrel {

enum class Bevel : unsigned char { None, Raised, Lowered };

// The look of a panel: face colour, outer bevel, a border of face colour, inner bevel.
struct PanelLook {
  QColor face;
  Bevel outer = Bevel::Raised;
  Bevel inner = Bevel::None;
  int borderWidth = 0;
};

// Fills rect with the face and draws the 1-px bevels (light top-left and dark bottom-right
// for raised, the other way round for lowered). Returns the rectangle inside the bevels.
QRect paintPanel(QPainter& painter, const QRect& rect, const PanelLook& look);

}  // namespace ostrel

#pragma once

#include "MirrorLayout.h"

class QPainter;
class QRectF;

namespace ostrel {

// Paints one of the mirror's pictures scaled into box. Each picture is drawn in the
// coordinates of its natural size (the size the mirror gives it) and scaled from there.
void paintMirrorPicture(QPainter& painter, const QRectF& box, MirrorPicture picture);

}  // namespace ostrel

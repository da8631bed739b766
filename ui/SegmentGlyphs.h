#pragma once

#include <string_view>

#include "MirrorLayout.h"

class QPainter;
class QRectF;

namespace ostrel {

// The glyphs of the meter's display faces, drawn as black polygons (no typeface needed).
// A glyph is designed in em units: x from its cell's left edge, y from the top of the
// element's box, 1 em = the element's type size in pixels. Digits sit between 0.14 em
// and 0.90 em, so a box about 1.12 em high holds them as the display faces did.
//
// Segments: "0"-"9" seven-segment digits, "@" the segments of L, "-" the middle segment,
// "." a point, ":" a colon, "*" the ohm sign, "M", "G", "T" and a blank.
// Volt: "V". Bars: "!" one bar of the bar graph, "|" the first bar, "{" the closing bar.
// Characters a face does not know take a blank's room and draw nothing.

// Width of one character's cell, in em.
double glyphAdvance(GlyphFace face, char c);

// Paints text left-aligned at box.left() (or right-aligned at box.right()), from box.top().
// Does not clip; the caller sets the clip of the element's sub-panel.
void paintGlyphText(QPainter& painter, const QRectF& box, std::string_view text, GlyphFace face,
                    double typePx, bool bold, bool rightAligned);

}  // namespace ostrel

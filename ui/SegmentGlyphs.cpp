#include "SegmentGlyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <array>
#include <cstdint>

namespace ostrel {

namespace {

// Vertical metrics of every face, em from the top of the box.
constexpr double glyphTop = 0.14;
constexpr double glyphBase = 0.90;
constexpr double glyphMiddle = 0.52;
constexpr double segmentGap = 0.012;

// Seven-segment bits, bit 0 = a:
//     aaa
//    f   b
//     ggg
//    e   c
//     ddd
enum Segment : std::uint8_t { A = 1, B = 2, C = 4, D = 8, E = 16, F = 32, G = 64 };

constexpr std::array<std::uint8_t, 10> digitSegments = {
    A | B | C | D | E | F, B | C,         A | B | D | E | G,
    A | B | C | D | G,     B | C | F | G, A | C | D | F | G,
    A | C | D | E | F | G, A | B | C,     A | B | C | D | E | F | G,
    A | B | C | D | F | G};

std::uint8_t segmentsOf(char c) {
  if (c >= '0' && c <= '9') return digitSegments[static_cast<std::size_t>(c - '0')];
  if (c == '@') return D | E | F;
  if (c == '-') return G;
  return 0;
}

double strokeOf(bool bold) { return bold ? 0.095 : 0.075; }

// A horizontal or vertical segment with pointed ends, from p0 to p1 (em), thickness t.
QPolygonF segmentPolygon(QPointF p0, QPointF p1, double t) {
  const double h = t / 2;
  if (p0.y() == p1.y()) {
    return QPolygonF({p0,
                      {p0.x() + h, p0.y() - h},
                      {p1.x() - h, p1.y() - h},
                      p1,
                      {p1.x() - h, p1.y() + h},
                      {p0.x() + h, p0.y() + h}});
  }
  return QPolygonF({p0,
                    {p0.x() + h, p0.y() + h},
                    {p1.x() + h, p1.y() - h},
                    p1,
                    {p1.x() - h, p1.y() - h},
                    {p0.x() - h, p0.y() + h}});
}

// Seven segments between x0 and x1 (em). halfMiddle draws only the right half of g (the G).
void paintSegments(QPainter& p, std::uint8_t bits, double x0, double x1, double t,
                   bool halfMiddle = false) {
  const double l = x0 + t / 2;
  const double r = x1 - t / 2;
  const double top = glyphTop + t / 2;
  const double bottom = glyphBase - t / 2;
  const double g = segmentGap;
  auto horizontal = [&](double y, double from, double to) {
    p.drawPolygon(segmentPolygon({from + g, y}, {to - g, y}, t));
  };
  auto vertical = [&](double x, double from, double to) {
    p.drawPolygon(segmentPolygon({x, from + g}, {x, to - g}, t));
  };
  if (bits & A) horizontal(top, l, r);
  if (bits & B) vertical(r, top, glyphMiddle);
  if (bits & C) vertical(r, glyphMiddle, bottom);
  if (bits & D) horizontal(bottom, l, r);
  if (bits & E) vertical(l, glyphMiddle, bottom);
  if (bits & F) vertical(l, top, glyphMiddle);
  if (bits & G) horizontal(glyphMiddle, halfMiddle ? (l + r) / 2 : l, r);
}

void paintSquare(QPainter& p, double centreX, double centreY, double side) {
  p.drawRect(QRectF(centreX - side / 2, centreY - side / 2, side, side));
}

// Letters drawn as strokes of the segment thickness.
void paintStroked(QPainter& p, const QPainterPath& path, double t) {
  QPen pen(Qt::black, t, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
  p.strokePath(path, pen);
}

void paintOhm(QPainter& p, double advance, double t) {
  const double bottom = glyphBase - t / 2;
  const double w = advance * 0.72;
  const double x0 = (advance - w) / 2;
  const QRectF ring(x0 + w * 0.12, glyphTop + t / 2, w * 0.76, (glyphBase - glyphTop) * 0.78);
  QPainterPath path;
  path.moveTo(x0, bottom);
  path.lineTo(x0 + w * 0.3, bottom);
  path.arcTo(ring, 235, -290);
  path.lineTo(x0 + w, bottom);
  paintStroked(p, path, t);
}

void paintM(QPainter& p, double advance, double t) {
  const double l = advance * 0.1 + t / 2;
  const double r = advance * 0.9 - t / 2;
  QPainterPath path;
  path.moveTo(l, glyphBase);
  path.lineTo(l, glyphTop + t / 2);
  path.lineTo((l + r) / 2, glyphMiddle);
  path.lineTo(r, glyphTop + t / 2);
  path.lineTo(r, glyphBase);
  paintStroked(p, path, t);
}

void paintT(QPainter& p, double advance, double t) {
  const double l = advance * 0.08;
  const double r = advance * 0.92;
  p.drawPolygon(segmentPolygon({l, glyphTop + t / 2}, {r, glyphTop + t / 2}, t));
  p.drawRect(QRectF((l + r - t) / 2, glyphTop + t / 2, t, glyphBase - glyphTop - t / 2));
}

void paintV(QPainter& p, double advance, double t) {
  const double l = advance * 0.06;
  const double r = advance * 0.94;
  const double w = t * 1.3;
  p.drawPolygon(QPolygonF({{l, glyphTop},
                           {l + w, glyphTop},
                           {advance / 2, glyphBase - w * 1.6},
                           {r - w, glyphTop},
                           {r, glyphTop},
                           {advance / 2 + w / 2, glyphBase},
                           {advance / 2 - w / 2, glyphBase}}));
}

void paintSegmentsGlyph(QPainter& p, char c, double advance, double t) {
  switch (c) {
    case '.':
      paintSquare(p, advance / 2, glyphBase - 0.06, 0.12);
      return;
    case ':':
      paintSquare(p, advance / 2, glyphMiddle - 0.17, 0.11);
      paintSquare(p, advance / 2, glyphMiddle + 0.17, 0.11);
      return;
    case '*':
      paintOhm(p, advance, t);
      return;
    case 'M':
      paintM(p, advance, t);
      return;
    case 'T':
      paintT(p, advance, t);
      return;
    case '-':
      paintSegments(p, G, 0.0, advance, t);
      return;
    case 'G':
      paintSegments(p, A | C | D | E | F | G, advance * 0.12, advance * 0.88, t, true);
      return;
    default:
      paintSegments(p, segmentsOf(c), 0.035, advance - 0.03, t);
      return;
  }
}

// The bar faces: "!" is 8 x 32 px at 27 px; "|" and "{" are designed for 64 px and end at
// the same lines as the bars beside them.
void paintBarGlyph(QPainter& p, char c) {
  switch (c) {
    case '!':
      p.drawRect(QRectF(0.15, 0.0, 8.0 / 27, 32.0 / 27));
      return;
    case '|':
      p.drawRect(QRectF(12.0 / 64, 12.0 / 64, 8.0 / 64, 32.0 / 64));
      return;
    case '{':
      p.drawPolygon(QPolygonF({{4.0 / 64, 12.0 / 64},
                               {14.0 / 64, 12.0 / 64},
                               {34.0 / 64, 28.0 / 64},
                               {14.0 / 64, 44.0 / 64},
                               {4.0 / 64, 44.0 / 64}}));
      return;
    default:
      return;
  }
}

}  // namespace

double glyphAdvance(GlyphFace face, char c) {
  switch (face) {
    case GlyphFace::Segments:
      switch (c) {
        case '.':
          return 0.19;
        case ':':
          return 0.27;
        case '-':
          return 0.29;
        case '*':
          return 0.7;
        case 'M':
        case 'G':
          return 0.875;
        case 'T':
          return 0.67;
        case ' ':
          return 0.3;
        default:
          return (c >= '0' && c <= '9') || c == '@' ? 0.375 : 0.3;
      }
    case GlyphFace::Volt:
      return c == 'V' ? 0.62 : 0.3;
    case GlyphFace::Bars:
      switch (c) {
        case '!':
          return 0.63;
        case '|':
          return 0.5;
        case '{':
          return 0.61;
        default:
          return 0.3;
      }
    case GlyphFace::None:
      break;
  }
  return 0.3;
}

void paintGlyphText(QPainter& painter, const QRectF& box, std::string_view text, GlyphFace face,
                    double typePx, bool bold, bool rightAligned) {
  double width = 0;
  for (char c : text) width += glyphAdvance(face, c) * typePx;
  double x = rightAligned ? box.right() - width : box.left();
  const double t = strokeOf(bold);

  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setPen(Qt::NoPen);
  painter.setBrush(Qt::black);
  for (char c : text) {
    const double advance = glyphAdvance(face, c);
    painter.save();
    painter.translate(x, box.top());
    painter.scale(typePx, typePx);
    if (face == GlyphFace::Bars) {
      paintBarGlyph(painter, c);
    } else if (face == GlyphFace::Volt) {
      if (c == 'V') paintV(painter, advance, t);
    } else {
      paintSegmentsGlyph(painter, c, advance, t);
    }
    painter.restore();
    x += advance * typePx;
  }
  painter.restore();
}

}  // namespace ostrel

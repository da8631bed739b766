#include "ui/chart/ChartPainter.h"

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

#include "record/GbkText.h"
#include "record/chart/ChartPlot.h"
#include "record/chart/TrendChartModel.h"

namespace ostrel {

namespace {

const QColor silverColor(192, 192, 192);
const QColor gridColor(225, 225, 225);
const QColor areaFillColor(255, 255, 128);
const QColor areaLineColor(0, 128, 255);
const QColor lineColor(128, 255, 0);
const QColor leftWallColor(255, 255, 0);

// The band along the top edge that the tool strip covers, and the room of the axes.
constexpr int topBand = 28;
constexpr int leftRoom = 54;  // value labels and the left wall
constexpr int bottomRoom = 16;
constexpr int rightRoom = 10;
constexpr int leftWallSize = 11;
constexpr int tickLength = 3;
constexpr int minorTickCount = 4;

QFont axisFont() {
  QFont font;
  font.setPixelSize(10);
  return font;
}

QString label(const std::string& gbk) { return QString::fromStdString(gbkToUtf8(gbk)); }

struct Frame {
  QRect plot;
  double low;
  double high;

  [[nodiscard]] double y(double value) const {
    const double share = (value - low) / (high - low);
    return plot.bottom() + 1 - share * plot.height();
  }
};

void paintBackground(QPainter& p, const QRect& bounds, const QRect& plot) {
  QLinearGradient background(bounds.topLeft(), bounds.bottomLeft());
  background.setColorAt(0, silverColor);
  background.setColorAt(1, Qt::white);
  p.fillRect(bounds, background);
  p.fillRect(QRect(plot.left() - leftWallSize, plot.top(), leftWallSize, plot.height()),
             leftWallColor);
  p.fillRect(plot, Qt::white);
  p.setPen(silverColor);
  p.drawRect(plot.adjusted(-leftWallSize, 0, 0, 0).adjusted(0, 0, -1, -1));
}

// Minor marks between two major marks of the value axis, in axis units.
QList<double> minorTicks(const ChartPlot& plot, double from, double to) {
  QList<double> marks;
  if (plot.quantity == ChartQuantity::Resistance && to - from == 1.0) {
    for (double m : {2.0, 4.0, 6.0, 8.0}) {
      marks.append(from + std::log10(m));
    }
    return marks;
  }
  for (int i = 1; i <= minorTickCount; ++i) {
    marks.append(from + (to - from) * i / (minorTickCount + 1));
  }
  return marks;
}

void paintValueAxis(QPainter& p, const ChartPlot& plot, const Frame& f) {
  const QFontMetrics metrics(p.font());
  const int axisX = f.plot.left() - leftWallSize;
  for (qsizetype i = 0; i < static_cast<qsizetype>(plot.valueTicks.size()); ++i) {
    const ChartTick& tick = plot.valueTicks[static_cast<std::size_t>(i)];
    const int y = static_cast<int>(std::lround(f.y(tick.at)));
    p.setPen(gridColor);
    p.drawLine(f.plot.left(), y, f.plot.right(), y);
    p.setPen(Qt::black);
    p.drawLine(axisX - tickLength, y, axisX, y);
    const QString text = label(tick.labelGbk);
    p.drawText(QRect(0, y - metrics.height() / 2, axisX - tickLength - 1, metrics.height()),
               Qt::AlignRight | Qt::AlignVCenter, text);
    if (i + 1 < static_cast<qsizetype>(plot.valueTicks.size())) {
      for (double minor :
           minorTicks(plot, tick.at, plot.valueTicks[static_cast<std::size_t>(i + 1)].at)) {
        const int my = static_cast<int>(std::lround(f.y(minor)));
        p.drawLine(axisX - tickLength, my, axisX, my);
      }
    }
  }
}

void paintRowAxis(QPainter& p, const ChartPlot& plot, const Frame& f) {
  const QFontMetrics metrics(p.font());
  p.setPen(Qt::black);
  const int axisY = f.plot.bottom() + 1;
  for (const ChartTick& tick : plot.rowTicks) {
    const int x = f.plot.left() + static_cast<int>(tick.at);
    p.drawLine(x, axisY, x, axisY + tickLength);
    const QString text = label(tick.labelGbk);
    const int w = metrics.horizontalAdvance(text);
    // Centred under its tick, but moved inwards where it would run off the chart's edge.
    QRect box(x - w / 2 - 2, axisY + tickLength, w + 4, metrics.height());
    const int right = f.plot.right() + rightRoom;
    if (box.right() > right) box.moveRight(right);
    const int left = f.plot.left() - leftRoom;
    if (box.left() < left) box.moveLeft(left);
    p.drawText(box, Qt::AlignCenter, text);
  }
}

// Draws each run of columns between gaps: the area from the highest value down to the
// bottom of the plot, or the line; a column standing for many rows is drawn from its
// lowest to its highest value.
void paintSeries(QPainter& p, const ChartPlot& plot, const Frame& f, bool area) {
  const std::vector<ChartColumn>& columns = plot.columns;
  const double bottom = f.plot.bottom() + 1;
  std::size_t i = 0;
  while (i < columns.size()) {
    if (columns[i].gap) {
      ++i;
      continue;
    }
    QPolygonF line;
    QPolygonF fill;
    const double left = f.plot.left();
    fill.append(QPointF(left + columns[i].x, bottom));
    for (; i < columns.size() && !columns[i].gap; ++i) {
      const ChartColumn& c = columns[i];
      const double x = left + c.x;
      line.append(QPointF(x, f.y(c.high)));
      if (c.low != c.high) {
        line.append(QPointF(x, f.y(c.low)));
      }
      fill.append(QPointF(x, f.y(c.high)));
    }
    fill.append(QPointF(fill.back().x(), bottom));
    if (area) {
      p.setPen(Qt::NoPen);
      p.setBrush(areaFillColor);
      p.drawPolygon(fill);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(area ? areaLineColor : lineColor, area ? 1 : 2));
    if (line.size() == 1) {
      p.drawEllipse(line.front(), 1.5, 1.5);  // a lone reading between gaps
    } else {
      p.drawPolyline(line);
    }
  }
}

// Marks each over-range column at the top of the value axis with a small red wedge
// pointing up: the meter showed "OL" there, beyond what it can measure.
void paintOverRange(QPainter& p, const ChartPlot& plot, const Frame& f) {
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xD0, 0x00, 0x00));
  const double top = f.y(plot.high);
  for (const ChartColumn& c : plot.columns) {
    if (!c.over) continue;
    const double x = f.plot.left() + c.x;
    const QPointF wedge[] = {{x, top - 1.0}, {x - 3.0, top + 5.0}, {x + 3.0, top + 5.0}};
    p.drawPolygon(wedge, 3);
  }
}

}  // namespace

QRect chartPlotArea(const QRect& bounds) {
  return bounds.adjusted(leftRoom, topBand, -rightRoom, -bottomRoom);
}

ChartRows chartShownRows(const TrendChartModel& model, const std::optional<ChartRows>& zoom) {
  if (model.holdsSamples()) {
    return {};
  }
  if (!zoom) {
    return model.pageRows();
  }
  // Readings recorded since the drag show up inside the zoomed span.
  ChartRows rows = *zoom;
  const std::size_t held = model.rows().size();
  rows.first = std::min(rows.first, held);
  rows.count = std::min(rows.span, held - rows.first);
  return rows;
}

namespace {

// The voltage readings that share a page with resistance readings are not plotted: the note
// at the plot's top right says so, so that the gaps they leave are not taken for lost data.
void paintLeftOutNote(QPainter& p, const QRect& plotRect) {
  const QString note = QStringLiteral("Voltage readings not plotted");
  const QFontMetrics metrics(p.font());
  const QRect box(plotRect.right() - metrics.horizontalAdvance(note) - 6, plotRect.top() + 2,
                  metrics.horizontalAdvance(note) + 4, metrics.height());
  p.fillRect(box, Qt::white);
  p.setPen(Qt::darkGray);
  p.drawText(box, Qt::AlignCenter, note);
}

}  // namespace

std::optional<std::size_t> chartRowAt(const QRect& bounds, const TrendChartModel& model, int x,
                                      const std::optional<ChartRows>& zoom) {
  const QRect plot = chartPlotArea(bounds);
  if (x < plot.left() || x > plot.right() || model.holdsSamples()) {
    return std::nullopt;
  }
  const ChartRows rows = chartShownRows(model, zoom);
  const auto offset = static_cast<std::size_t>(static_cast<double>(x - plot.left()) *
                                               static_cast<double>(rows.span) / plot.width());
  if (offset >= rows.count) {
    return std::nullopt;
  }
  return rows.first + offset;
}

void paintChartPlot(QPainter& painter, const QRect& bounds, const TrendChartModel& model,
                    std::size_t firstRowNumber, const std::optional<ChartRows>& zoom) {
  const QRect plotRect = chartPlotArea(bounds);
  painter.save();
  painter.setFont(axisFont());
  paintBackground(painter, bounds, plotRect);
  const ChartRows rows = chartShownRows(model, zoom);
  const ChartPlot plot =
      layoutChartPlot(model.rows(), rows, plotRect.width(), plotRect.height(), firstRowNumber);
  const Frame frame{plotRect, plot.low, plot.high};
  paintValueAxis(painter, plot, frame);
  paintRowAxis(painter, plot, frame);
  const int active = model.activeSeries();
  if (active >= 0 && plot.quantity != ChartQuantity::None) {
    painter.setClipRect(plotRect.adjusted(0, -2, 0, 0));
    painter.setRenderHint(QPainter::Antialiasing, false);
    paintSeries(painter, plot, frame, active == 0);
    paintOverRange(painter, plot, frame);
  }
  if (plot.otherLeftOut) {
    painter.setClipping(false);
    paintLeftOutNote(painter, plotRect);
  }
  painter.restore();
}

}  // namespace ostrel

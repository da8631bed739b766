#include "ui/ButtonPictures.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <array>
#include <functional>

namespace ostrel {

namespace {

QIcon drawn(int size, const std::function<void(QPainter&)>& paint, double design = 16) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.scale(size / design, size / design);
  paint(painter);
  painter.end();
  return QIcon(pixmap);
}

void paintCross(QPainter& p) {
  p.setPen(QPen(Qt::black, 2.6, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(3, 3), QPointF(13, 13));
  p.drawLine(QPointF(13, 3), QPointF(3, 13));
}

void paintFloppy(QPainter& p) {
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(0, 0, 128));
  p.drawPolygon(QPolygonF({{1.5, 1.5}, {14.5, 1.5}, {14.5, 14.5}, {3.5, 14.5}, {1.5, 12.5}}));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(3.5, 1.5, 9, 6));
  p.setBrush(QColor(192, 192, 192));
  p.drawRect(QRectF(4.5, 10.5, 7, 4));
  p.setBrush(QColor(0, 0, 128));
  p.drawRect(QRectF(9, 11.5, 1.5, 2));
}

void paintOpenFolder(QPainter& p) {
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(128, 128, 0));
  p.drawPolygon(
      QPolygonF({{0.5, 4.5}, {5.5, 4.5}, {6.5, 5.5}, {11.5, 5.5}, {11.5, 14.5}, {0.5, 14.5}}));
  p.setBrush(QColor(255, 255, 0));
  p.drawPolygon(QPolygonF({{2.5, 8.5}, {15.5, 8.5}, {12.5, 14.5}, {0.5, 14.5}}));
  p.setPen(QPen(Qt::black, 1.2));
  p.setBrush(Qt::NoBrush);
  QPainterPath arrow;
  arrow.moveTo(8, 4);
  arrow.quadTo(11, 0.5, 14, 3);
  p.drawPath(arrow);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  p.drawPolygon(QPolygonF({{15.5, 1.5}, {15.5, 5.5}, {11.5, 5}}));
}

void paintPrinter(QPainter& p) {
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(4.5, 1.5, 7, 5));
  p.setBrush(QColor(192, 192, 192));
  p.drawRect(QRectF(1.5, 6.5, 13, 6));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(4.5, 10.5, 7, 4));
  p.setBrush(QColor(0, 255, 0));
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(11.5, 8, 2, 1.5));
}

// Designed on a 32-px grid: four bars of rising and falling height on a base line.
void paintBarChart(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(1, 1, 30, 30), 4, 4);
  const struct {
    double x, top;
    QColor colour;
  } bars[] = {
      {5, 16, QColor(220, 40, 40)},
      {11, 8, QColor(40, 160, 40)},
      {17, 12, QColor(40, 80, 220)},
      {23, 4, QColor(240, 170, 0)},
  };
  for (const auto& bar : bars) {
    p.setBrush(bar.colour);
    p.setPen(QPen(QColor(0, 0, 0, 160), 0.8));
    p.drawRect(QRectF(bar.x, bar.top, 5, 26 - bar.top));
  }
  p.setPen(QPen(Qt::black, 1.5));
  p.drawLine(QPointF(3, 26.5), QPointF(29, 26.5));
}

}  // namespace

QIcon deletePicture() { return drawn(16, paintCross); }
QIcon savePicture() { return drawn(16, paintFloppy); }
QIcon openPicture() { return drawn(16, paintOpenFolder); }
QIcon printPicture() { return drawn(16, paintPrinter); }

namespace {

constexpr std::array<int, 4> applicationIconSizes = {16, 32, 48, 64};

QIcon drawApplicationIcon() {
  QIcon icon;
  for (int size : applicationIconSizes) {
    icon.addPixmap(drawn(size, paintBarChart, 32).pixmap(size, size));
  }
  return icon;
}

// The program's icon, drawn when it is first asked for: a platform that shows no window
// decorations never asks, and the window and the application both set it at start-up.
// Every answer comes from the icon drawn at the listed sizes, so it looks the same as one
// drawn at once.
class ApplicationIconEngine final : public QIconEngine {
 public:
  QIconEngine* clone() const override { return new ApplicationIconEngine; }
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    icon().paint(painter, rect, Qt::AlignCenter, mode, state);
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return icon().pixmap(size, mode, state);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                       qreal scale) override {
    return icon().pixmap(size, scale, mode, state);
  }
  QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return icon().actualSize(size, mode, state);
  }
  QList<QSize> availableSizes(QIcon::Mode /*mode*/, QIcon::State /*state*/) override {
    QList<QSize> sizes;
    for (int size : applicationIconSizes) sizes.append(QSize(size, size));
    return sizes;
  }
  bool isNull() override { return false; }

 private:
  const QIcon& icon() {
    if (m_icon.isNull()) m_icon = drawApplicationIcon();
    return m_icon;
  }

  QIcon m_icon;
};

}  // namespace

QIcon applicationIcon() { return QIcon(new ApplicationIconEngine); }

}  // namespace ostrel

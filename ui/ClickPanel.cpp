#include "ClickPanel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>

#include "WindowFonts.h"

namespace ostrel {

ClickPanel::ClickPanel(const QString& caption, QWidget* parent)
    : QWidget(parent), m_caption(caption) {
  setCursor(Qt::PointingHandCursor);
  setFont(arialFont(16));
  setFocusPolicy(Qt::TabFocus);
}

void ClickPanel::setCaption(const QString& caption) {
  if (caption == m_caption) return;
  m_caption = caption;
  update();
}

void ClickPanel::click() {
  if (m_onClick) m_onClick();
}

void ClickPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect inside = paintPanel(
      painter, rect(), {palette().color(QPalette::Button), Bevel::Raised, Bevel::Raised, 0});
  painter.setPen(Qt::black);
  painter.setFont(font());
  painter.drawText(inside, Qt::AlignCenter, m_caption);
  if (hasFocus()) {
    painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
    painter.drawRect(inside.adjusted(2, 2, -3, -3));
  }
}

void ClickPanel::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        click();
        return;
      }
      break;
    default:
      break;
  }
  QWidget::keyPressEvent(event);
}

void ClickPanel::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void ClickPanel::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

void ClickPanel::mousePressEvent(QMouseEvent* event) {
  m_pressed = event->button() == Qt::LeftButton;
}

void ClickPanel::mouseReleaseEvent(QMouseEvent* event) {
  const bool wasPressed = m_pressed;
  m_pressed = false;
  if (wasPressed && event->button() == Qt::LeftButton &&
      rect().contains(event->position().toPoint())) {
    click();
  }
}

BevelPanel::BevelPanel(const PanelLook& look, QWidget* parent) : QWidget(parent), m_look(look) {}

void BevelPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PanelLook look = m_look;
  if (!look.face.isValid()) look.face = palette().color(QPalette::Button);
  paintPanel(painter, rect(), look);
}

}  // namespace ostrel

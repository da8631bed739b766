#pragma once

#include <QString>
#include <QWidget>
#include <functional>

#include "PanelBevel.h"

namespace ostrel {

// A panel that acts as a button: centred caption in Arial 16 px on button face, raised
// outer and inner bevel, hand cursor. A click (press and release over it with the left
// button) runs the click handler, and so do Space and Enter while it has the keyboard focus
// (reached with Tab; a dotted frame marks it). Main thread only.
class ClickPanel : public QWidget {
 public:
  ClickPanel(const QString& caption, QWidget* parent);

  [[nodiscard]] QString caption() const { return m_caption; }
  void setCaption(const QString& caption);
  void setClickHandler(std::function<void()> handler) { m_onClick = std::move(handler); }
  // Runs the click handler as a click by the user would.
  void click();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  QString m_caption;
  std::function<void()> m_onClick;
  bool m_pressed = false;
};

// A plain panel that only paints its face and bevels (the toolbar Panel7).
class BevelPanel : public QWidget {
 public:
  BevelPanel(const PanelLook& look, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PanelLook m_look;
};

}  // namespace ostrel

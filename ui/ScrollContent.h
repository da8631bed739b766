#pragma once

#include <QWidget>

namespace ostrel {

// The scrolled content of the main window: a button-face widget that always has the size of
// the bounding box of its shown children (from its top-left corner), so the window's scroll
// bars reach every control, also after one is moved or enlarged. Main thread only.
class ScrollContent : public QWidget {
 public:
  explicit ScrollContent(QWidget* parent = nullptr);

  // Recomputes the size now; also done on every move, resize, show and hide of a child.
  void fitToChildren();

 protected:
  void childEvent(QChildEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace ostrel

#pragma once

#include <QLabel>
#include <QLineEdit>
#include <functional>

class QCheckBox;
class QFrame;
class QToolButton;
class QWidget;

namespace ostrel {

// Lets "0" to "9" and backspace through and discards (sets to the null character) every
// other typed character. Keys that type nothing (arrows, Delete) are not characters and
// never reach it.
void MaxrecordKeyPress(QChar& key);

// The points-per-page edit: a one-line edit whose typed and pasted characters pass
// MaxrecordKeyPress; editing keys work as in any edit.
class MaxrecordEdit final : public QLineEdit {
 public:
  explicit MaxrecordEdit(QWidget* parent);
};

// A clickable picture at its natural size; runs onClick when a left click is released
// over it.
class ChartPicture final : public QLabel {
 public:
  ChartPicture(const QPixmap& picture, QWidget* parent);
  std::function<void()> onClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// The controls along the chart's top edge, children of the chart at fixed places (pixels
// inside the chart), each with its object name, start state and hint. Owned by the chart
// through Qt parenthood; the pointers stay valid as long as the chart.
struct ChartToolStrip {
  explicit ChartToolStrip(QWidget& chart);

  QFrame* Bevel1;
  QCheckBox* BtFill;
  MaxrecordEdit* Maxrecord;
  QToolButton* BtSave;
  QToolButton* BtNew;
  QToolButton* BtFirst;
  QToolButton* BTPrevious;
  QToolButton* Bt10;
  QToolButton* BtNext;
  QToolButton* BTlast;
  ChartPicture* TbFd;
  ChartPicture* TbSx;
};

}  // namespace ostrel

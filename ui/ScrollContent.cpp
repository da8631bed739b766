#include "ScrollContent.h"

#include <QChildEvent>

namespace ostrel {

ScrollContent::ScrollContent(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);
}

void ScrollContent::fitToChildren() {
  QRect bounds(0, 0, 1, 1);
  for (QObject* child : children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (widget && !widget->isHidden() && !widget->isWindow()) bounds |= widget->geometry();
  }
  const QSize size(bounds.right() + 1, bounds.bottom() + 1);
  if (size != this->size()) setFixedSize(size);
}

void ScrollContent::childEvent(QChildEvent* event) {
  if (event->added() && event->child()->isWidgetType()) {
    event->child()->installEventFilter(this);
  } else if (event->removed()) {
    event->child()->removeEventFilter(this);
  }
  QWidget::childEvent(event);
}

bool ScrollContent::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::HideToParent:
    case QEvent::ShowToParent:
      if (watched->parent() == this) fitToChildren();
      break;
    default:
      break;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace ostrel

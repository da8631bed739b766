#include "ui/chart/ChartToolStrip.h"

#include <QCheckBox>
#include <QFrame>
#include <QMouseEvent>
#include <QToolButton>

#include "ui/KeyPressFilter.h"
#include "ui/WindowFonts.h"
#include "ui/chart/ChartToolPictures.h"

namespace ostrel {

namespace {

constexpr char16_t backspace = 8;

QFont stripFont() {
  static const QString family =
      installedFamily({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans")});
  QFont font;
  font.setFamily(family);
  font.setPixelSize(11);
  return font;
}

void setSilver(QWidget& widget, QPalette::ColorRole role) {
  QPalette palette = widget.palette();
  palette.setColor(role, QColor(192, 192, 192));
  palette.setColor(QPalette::WindowText, Qt::black);
  palette.setColor(QPalette::Text, Qt::black);
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

template <typename W>
W* place(W* widget, const char* name, const QRect& bounds, const QString& hint) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(bounds);
  widget->setToolTip(hint);
  widget->setCursor(Qt::ArrowCursor);
  return widget;
}

QToolButton* speedButton(QWidget& chart, const char* name, const QRect& bounds, const QString& hint,
                         ChartToolPicture picture) {
  auto* button = place(new QToolButton(&chart), name, bounds, hint);
  const QPixmap pixmap = chartToolPicture(picture);
  button->setIcon(QIcon(pixmap));
  button->setIconSize(pixmap.size());
  button->setFocusPolicy(Qt::TabFocus);  // in the Tab order; Space runs it
  return button;
}

}  // namespace

void MaxrecordKeyPress(QChar& key) {
  const bool digit = key >= QLatin1Char('0') && key <= QLatin1Char('9');
  if (!digit && key != QChar(backspace)) {
    key = QChar();
  }
}

MaxrecordEdit::MaxrecordEdit(QWidget* parent) : QLineEdit(parent) {
  new KeyPressFilter(
      [](char& key) {
        QChar typed = QLatin1Char(key);
        MaxrecordKeyPress(typed);
        key = typed.toLatin1();
      },
      this);
}

ChartPicture::ChartPicture(const QPixmap& picture, QWidget* parent) : QLabel(parent) {
  setPixmap(picture);
}

void ChartPicture::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) &&
      onClick) {
    onClick();
  }
  QLabel::mouseReleaseEvent(event);
}

ChartToolStrip::ChartToolStrip(QWidget& chart) {
  const QFont font = stripFont();
  Bevel1 = place(new QFrame(&chart), "Bevel1", QRect(2, 2, 40, 20), QString());
  Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setSilver(*Bevel1, QPalette::Window);

  BtFill = place(new QCheckBox(QStringLiteral("Fill"), &chart), "BtFill", QRect(1, 5, 36, 17),
                 QStringLiteral("Graphic Fill"));
  BtFill->setFont(font);
  BtFill->setChecked(true);
  setSilver(*BtFill, QPalette::Window);

  Maxrecord = place(new MaxrecordEdit(&chart), "Maxrecord", QRect(48, 3, 41, 21), QString());
  Maxrecord->setFont(font);
  Maxrecord->setText(QStringLiteral("100"));
  setSilver(*Maxrecord, QPalette::Base);

  BtSave = speedButton(chart, "BtSave", QRect(93, 3, 35, 21),
                       QStringLiteral("Save  Active Graphic"), ChartToolPicture::Floppy);
  BtNew = speedButton(chart, "BtNew", QRect(127, 3, 35, 21), QStringLiteral("Delete Graphic"),
                      ChartToolPicture::Cross);
  BtFirst = speedButton(chart, "BtFirst", QRect(163, 3, 25, 21), QStringLiteral("First"),
                        ChartToolPicture::First);
  BTPrevious = speedButton(chart, "BTPrevious", QRect(187, 3, 25, 21), QStringLiteral("Previous"),
                           ChartToolPicture::Previous);
  Bt10 = place(new QToolButton(&chart), "Bt10", QRect(211, 3, 25, 21), QStringLiteral("Page No."));
  Bt10->setText(QStringLiteral("1"));
  Bt10->setFont(font);
  Bt10->setFocusPolicy(Qt::NoFocus);
  QPalette blue = Bt10->palette();
  blue.setColor(QPalette::ButtonText, Qt::blue);
  Bt10->setPalette(blue);
  BtNext = speedButton(chart, "BtNext", QRect(235, 3, 25, 21), QStringLiteral("Next"),
                       ChartToolPicture::Next);
  BTlast = speedButton(chart, "BTlast", QRect(263, 3, 25, 21), QStringLiteral("last"),
                       ChartToolPicture::Last);

  TbFd = place(new ChartPicture(chartToolPicture(ChartToolPicture::MagnifierPlus), &chart), "TbFd",
               QRect(288, 3, 25, 25), QStringLiteral("Graphic Enlarge"));
  TbSx = place(new ChartPicture(chartToolPicture(ChartToolPicture::MagnifierMinus), &chart), "TbSx",
               QRect(288, 4, 25, 25), QStringLiteral("Graphic Restore"));
  TbSx->hide();
}

}  // namespace ostrel

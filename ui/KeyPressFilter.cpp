#include "ui/KeyPressFilter.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <optional>

namespace ostrel {

namespace {

constexpr char unknownCharacter = '\x7f';

// A character as the filters see it: ASCII as is, anything else as 0x7F.
char filterCharacter(QChar c) {
  return c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : unknownCharacter;
}

// The character a key press types, as the edit would receive it; nullopt for editing keys
// that type none (Delete reports the text "\x7f", Ctrl shortcuts report control codes, and
// neither inserts anything).
std::optional<char> typedCharacter(const QKeyEvent& key) {
  switch (key.key()) {
    case Qt::Key_Backspace:
      return '\b';
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return '\r';
    case Qt::Key_Escape:
      return '\x1b';
    default:
      break;
  }
  const Qt::KeyboardModifiers mods = key.modifiers();
  // Ctrl+Alt is AltGr on many layouts, which does type characters.
  if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier)) return std::nullopt;
  const QString text = key.text();
  if (text.isEmpty()) return std::nullopt;
  const char16_t c = text.front().unicode();
  if (c < 0x20 || c == 0x7f) return std::nullopt;
  return filterCharacter(text.front());
}

}  // namespace

KeyPressFilter::KeyPressFilter(CharFilter filter, QLineEdit* edit)
    : QObject(edit), m_filter(std::move(filter)), m_edit(edit) {
  edit->setAcceptDrops(false);  // a drop would bypass the filter
  edit->installEventFilter(this);
}

QString KeyPressFilter::filtered(const QString& text) const {
  QString kept;
  for (const QChar c : text) {
    if (c.unicode() < 0x20) continue;
    char key = filterCharacter(c);
    if (m_filter) m_filter(key);
    if (key != '\0') kept.append(c);
  }
  return kept;
}

void KeyPressFilter::pasteFiltered(const QString& text) {
  if (m_edit->isReadOnly()) return;
  const QString kept = filtered(text);
  if (!kept.isEmpty()) m_edit->insert(kept);
}

void KeyPressFilter::showContextMenu(QEvent* event) {
  const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
  QMenu* menu = m_edit->createStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  // The edit's own Paste action, found by its (translated) text: Qt names it no other way.
  const QString pasteText = QLineEdit::tr("&Paste");
  for (QAction* action : menu->actions()) {
    if (!action->text().startsWith(pasteText)) continue;
    QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
    connect(action, &QAction::triggered, this,
            [this] { pasteFiltered(QApplication::clipboard()->text(QClipboard::Clipboard)); });
  }
  menu->popup(menuEvent->globalPos());
}

bool KeyPressFilter::keyPress(const QKeyEvent& key) {
  if (key.matches(QKeySequence::Paste)) {
    pasteFiltered(QApplication::clipboard()->text(QClipboard::Clipboard));
    return true;
  }
  const std::optional<char> typed = typedCharacter(key);
  if (!typed || !m_filter) return false;
  char c = *typed;
  m_filter(c);
  return c == '\0';
}

bool KeyPressFilter::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_edit) return QObject::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::KeyPress:
      return keyPress(*static_cast<QKeyEvent*>(event));
    case QEvent::ContextMenu:
      showContextMenu(event);
      return true;
    case QEvent::MouseButtonRelease:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton) {
        if (QApplication::clipboard()->supportsSelection()) {
          pasteFiltered(QApplication::clipboard()->text(QClipboard::Selection));
        }
        return true;
      }
      return false;
    default:
      return false;
  }
}

}  // namespace ostrel

#include "KeyPressFilter.h"

#include <QKeyEvent>
#include <optional>

namespace ostrel {

namespace {

// The character a key press types, as the edit would receive it; nullopt for keys that
// type none.
std::optional<char> typedCharacter(const QKeyEvent& key) {
  const Qt::KeyboardModifiers mods = key.modifiers();
  if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key.key() >= Qt::Key_A &&
      key.key() <= Qt::Key_Z) {
    return static_cast<char>(key.key() - Qt::Key_A + 1);
  }
  switch (key.key()) {
    case Qt::Key_Backspace:
      return '\b';
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return '\r';
    case Qt::Key_Escape:
      return '\x1b';
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return std::nullopt;
    default:
      break;
  }
  const QString text = key.text();
  if (text.isEmpty()) return std::nullopt;
  const char16_t c = text.front().unicode();
  if (c < 0x20 && c != 0) return static_cast<char>(c);
  return c < 0x7F ? static_cast<char>(c) : '\x7f';
}

}  // namespace

KeyPressFilter::KeyPressFilter(CharFilter filter, QObject* parent)
    : QObject(parent), m_filter(std::move(filter)) {}

bool KeyPressFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || !m_filter) return QObject::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  std::optional<char> typed = typedCharacter(*key);
  if (!typed) return false;
  char c = *typed;
  m_filter(c);
  return c == '\0';
}

}  // namespace ostrel

#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QKeyEvent;
class QLineEdit;

namespace ostrel {

// Runs a character filter on every character typed into the one-line edit it is installed
// on, as the character would arrive at the edit: printable characters, backspace (8), Enter
// (13) and Escape (27). A filter that sets the character to '\0' swallows the key press; any
// other value lets the key through as typed. Non-ASCII characters reach the filter as 0x7F,
// which no filter lets through.
//
// Editing keys are not typed characters and work as in any edit: Delete, arrows, Home/End,
// Tab, and the Ctrl shortcuts (select all, copy, cut, undo). Pasted text, by key, by the
// context menu or by a middle click, is inserted with only the characters the filter lets
// through; a paste that keeps none changes nothing. Main thread only.
class KeyPressFilter : public QObject {
 public:
  using CharFilter = std::function<void(char& key)>;

  // Installs itself on `edit`, which owns it.
  KeyPressFilter(CharFilter filter, QLineEdit* edit);

  // The characters of `text` that the filter lets through (control characters never).
  [[nodiscard]] QString filtered(const QString& text) const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool keyPress(const QKeyEvent& key);
  void pasteFiltered(const QString& text);
  void showContextMenu(QEvent* event);

  CharFilter m_filter;
  QLineEdit* m_edit;
};

}  // namespace ostrel

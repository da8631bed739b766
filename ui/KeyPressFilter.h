#pragma once

#include <QObject>
#include <functional>

namespace ostrel {

// Runs a character filter on every character typed into the widget it is installed on,
// as the character would arrive at the widget: printable characters, backspace (8), Enter
// (13), Escape (27) and Ctrl+letter as control codes 1..26. A filter that sets the
// character to '\0' swallows the key press; any other value lets the key through as typed. Keys
// that type no character (arrows, Delete, Home, Tab for focus moves) pass unfiltered. Non-ASCII
// characters reach the filter as 0x7F, which no filter lets through. Main thread only.
class KeyPressFilter : public QObject {
 public:
  using CharFilter = std::function<void(char& key)>;

  KeyPressFilter(CharFilter filter, QObject* parent);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CharFilter m_filter;
};

}  // namespace ostrel

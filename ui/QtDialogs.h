#pragma once

#include <memory>

#include "Dialogs.h"
#include "ui/ApplicationTitle.h"

class QFileDialog;
class QObject;
class QTextBrowser;

namespace ostrel {

// The real dialogs: Qt's file dialogs (not the platform's), message boxes, QDesktopServices
// for documents and a text browser as the help window. A file dialog is built when first
// asked for and destroyed when it closes, taking its name completer's pop-up with it: the
// save dialog starts with an empty name every time, the open dialog with the name last
// chosen in it. Qt's file dialog keeps its folder history in a settings file; from
// construction on, that file is placed where none can be written, since the program stores
// no settings.
class QtDialogs : public Dialogs {
 public:
  QtDialogs();
  ~QtDialogs() override;

  std::optional<QString> chooseSaveFile(QWidget* parent) override;
  std::optional<QString> chooseOpenFile(QWidget* parent) override;
  void showMessage(QWidget* parent, const QString& text) override;
  void showError(QWidget* parent, const QString& caption, const QString& text) override;
  bool askYesNo(QWidget* parent, const QString& text) override;
  UnsavedReadingsAnswer askSaveReadings(QWidget* parent, const QString& text) override;
  bool openDocument(const QString& path) override;
  bool showHelpWindow(QWidget* parent, const QString& page) override;
  // Asks xdg-mime, without waiting for it, which program opens HTML: a browser gets the
  // page through openDocument, the help window stands in when there is none (xdg-open
  // itself reports a missing browser only by an exit status, after the fact).
  bool openManual(QWidget* parent, const QString& page) override;

  // The file dialogs as configured, for inspection; built on demand, they live until their
  // next use ends.
  [[nodiscard]] QFileDialog& SaveDialog2();
  [[nodiscard]] QFileDialog& OpenDialog1();

 private:
  std::unique_ptr<QFileDialog> m_save;
  std::unique_ptr<QFileDialog> m_open;
  QString m_lastOpened;
  std::unique_ptr<QTextBrowser> m_help;  // made on first use, then shown again
  // Parent of running browser queries: they end, unheard, with this object.
  std::unique_ptr<QObject> m_queries;
};

}  // namespace ostrel

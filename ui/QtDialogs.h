#pragma once

#include <memory>

#include "Dialogs.h"
#include "ui/ApplicationTitle.h"

class QFileDialog;

namespace ostrel {

// The real dialogs: Qt's file dialogs (not the platform's), message boxes, and
// QDesktopServices for documents. The two file dialogs live as long as this object, so the
// open dialog shows the name last chosen in it; the save dialog starts empty every time.
class QtDialogs : public Dialogs {
 public:
  QtDialogs();
  ~QtDialogs() override;

  std::optional<QString> chooseSaveFile(QWidget* parent) override;
  std::optional<QString> chooseOpenFile(QWidget* parent) override;
  void showMessage(QWidget* parent, const QString& text) override;
  void showError(QWidget* parent, const QString& caption, const QString& text) override;
  bool askYesNo(QWidget* parent, const QString& text) override;
  bool openDocument(const QString& path) override;

  // The file dialogs as configured, for inspection.
  [[nodiscard]] QFileDialog& SaveDialog2();
  [[nodiscard]] QFileDialog& OpenDialog1();

 private:
  std::unique_ptr<QFileDialog> m_save;
  std::unique_ptr<QFileDialog> m_open;
  QString m_lastOpened;
};

}  // namespace ostrel

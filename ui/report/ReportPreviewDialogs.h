#pragma once

#include <QString>
#include <functional>

class QPrinter;
class QWidget;

namespace ostrel {

// The dialogs the report preview opens, replaceable so that it can be driven without a
// user. The defaults are QFileDialog, QPrintDialog and QMessageBox.
struct ReportPreviewDialogs {
  // The file to write, or an empty text when the user cancels.
  std::function<QString(QWidget* parent, const QString& caption, const QString& filter)>
      saveFileName;
  // Lets the user choose printer, copies and page range (pages 1..pageCount); false when
  // cancelled.
  std::function<bool(QPrinter& printer, int pageCount, QWidget* parent)> setUpPrinter;
  std::function<void(QWidget* parent, const QString& message)> showError;

  static ReportPreviewDialogs standard();
};

}  // namespace ostrel

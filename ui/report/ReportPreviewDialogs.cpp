#include "ui/report/ReportPreviewDialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace ostrel {

ReportPreviewDialogs ReportPreviewDialogs::standard() {
  ReportPreviewDialogs dialogs;
  dialogs.saveFileName = [](QWidget* parent, const QString& caption, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
  };
  dialogs.setUpPrinter = [](QPrinter& printer, int pageCount, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    dialog.setMinMax(1, pageCount);
    dialog.setFromTo(1, pageCount);
    dialog.setOptions(QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintToFile |
                      QAbstractPrintDialog::PrintCollateCopies);
    return dialog.exec() == QDialog::Accepted;
  };
  dialogs.showError = [](QWidget* parent, const QString& message) {
    QMessageBox::critical(parent, QStringLiteral("Error"), message);
  };
  return dialogs;
}

}  // namespace ostrel

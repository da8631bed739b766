#include "QtDialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QShortcut>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QUrl>

namespace ostrel {

namespace {

const QStringList saveFilters = {QStringLiteral("Excel File(*.xls)"), QStringLiteral("XML(*.xml)"),
                                 QStringLiteral("Txt File(*.txt)"),
                                 QStringLiteral("Excel Workbook (*.xlsx)")};
const QStringList openFilters = {QStringLiteral("Excel File(*.xls)"), QStringLiteral("XML (*.xml)"),
                                 QStringLiteral("Txt File(*.txt)")};

// The extension of a filter such as "XML(*.xml)", without the dot.
QString filterExtension(const QString& filter) {
  const qsizetype star = filter.lastIndexOf(QStringLiteral("*."));
  const qsizetype close = filter.lastIndexOf(u')');
  if (star < 0 || close < star) return {};
  return filter.mid(star + 2, close - star - 2);
}

std::optional<QString> runFileDialog(QFileDialog& dialog, QWidget* parent) {
  dialog.setParent(parent, dialog.windowFlags());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

// Qt's file dialog reads and writes its history, last folder and view in the user's
// "QtProject" settings. Pointing user settings at a folder that cannot exist (a path below a
// device file) makes those reads come back empty and the writes fail quietly.
void keepUserSettingsUnwritten() {
  static const bool done = [] {
    const QString nowhere = QStringLiteral("/dev/null");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, nowhere);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, nowhere);
    return true;
  }();
  (void)done;
}

std::unique_ptr<QFileDialog> makeSaveDialog() {
  auto dialog = std::make_unique<QFileDialog>();
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setNameFilters(saveFilters);
  dialog->selectNameFilter(saveFilters.constFirst());
  dialog->setDefaultSuffix(QStringLiteral("xls"));
  // A name typed without an extension takes the extension of the chosen filter.
  QObject::connect(
      dialog.get(), &QFileDialog::filterSelected, dialog.get(),
      [d = dialog.get()](const QString& filter) { d->setDefaultSuffix(filterExtension(filter)); });
  return dialog;
}

std::unique_ptr<QFileDialog> makeOpenDialog() {
  auto dialog = std::make_unique<QFileDialog>();
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setNameFilters(openFilters);
  dialog->selectNameFilter(openFilters.constFirst());
  return dialog;
}

}  // namespace

QtDialogs::QtDialogs() { keepUserSettingsUnwritten(); }

QtDialogs::~QtDialogs() {
  // A dialog may have been parented to a window that is already gone.
  if (m_save) m_save->setParent(nullptr);
  if (m_open) m_open->setParent(nullptr);
}

std::optional<QString> QtDialogs::chooseSaveFile(QWidget* parent) {
  auto chosen = runFileDialog(SaveDialog2(), parent);
  m_save.reset();
  return chosen;
}

std::optional<QString> QtDialogs::chooseOpenFile(QWidget* parent) {
  QFileDialog& dialog = OpenDialog1();
  if (!m_lastOpened.isEmpty()) dialog.selectFile(m_lastOpened);
  auto chosen = runFileDialog(dialog, parent);
  m_open.reset();
  if (chosen) m_lastOpened = *chosen;
  return chosen;
}

void QtDialogs::showMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, applicationTitle, text, QMessageBox::Ok, parent);
  box.exec();
}

void QtDialogs::showError(QWidget* parent, const QString& caption, const QString& text) {
  QMessageBox::critical(parent, caption, text);
}

bool QtDialogs::askYesNo(QWidget* parent, const QString& text) {
  return QMessageBox::question(parent, QStringLiteral("Confirm"), text,
                               QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

UnsavedReadingsAnswer QtDialogs::askSaveReadings(QWidget* parent, const QString& text) {
  const QMessageBox::StandardButton answer = QMessageBox::question(
      parent, QStringLiteral("Confirm"), text,
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
  if (answer == QMessageBox::Save) return UnsavedReadingsAnswer::Save;
  if (answer == QMessageBox::Discard) return UnsavedReadingsAnswer::Discard;
  return UnsavedReadingsAnswer::Cancel;
}

bool QtDialogs::openDocument(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool QtDialogs::showHelpWindow(QWidget* /*parent*/, const QString& page) {
  if (!m_help) {
    m_help = std::make_unique<QTextBrowser>();
    m_help->setObjectName(QStringLiteral("HelpWindow"));
    m_help->setWindowTitle(QStringLiteral("Ostrel Manual"));
    m_help->setOpenExternalLinks(true);
    m_help->resize(760, 640);
    QObject::connect(new QShortcut(QKeySequence(Qt::Key_Escape), m_help.get()),
                     &QShortcut::activated, m_help.get(), &QWidget::close);
  }
  m_help->setSource(QUrl::fromLocalFile(page));
  if (m_help->document()->isEmpty()) return false;
  m_help->show();
  m_help->raise();
  m_help->activateWindow();
  return true;
}

bool QtDialogs::openManual(QWidget* parent, const QString& page) {
  const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (query.isEmpty()) return Dialogs::openManual(parent, page);
  if (!m_queries) m_queries = std::make_unique<QObject>();
  auto* process = new QProcess(m_queries.get());
  const auto answered = [this, process, page](bool hasBrowser) {
    process->deleteLater();
    if (!(hasBrowser && openDocument(page))) showHelpWindow(nullptr, page);
  };
  QObject::connect(process, &QProcess::finished, m_queries.get(),
                   [process, answered](int exitCode, QProcess::ExitStatus status) {
                     answered(status == QProcess::NormalExit && exitCode == 0 &&
                              !process->readAllStandardOutput().trimmed().isEmpty());
                   });
  QObject::connect(process, &QProcess::errorOccurred, m_queries.get(),
                   [answered](QProcess::ProcessError error) {
                     if (error == QProcess::FailedToStart) answered(false);
                   });
  process->start(query,
                 {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
  return true;
}

QFileDialog& QtDialogs::SaveDialog2() {
  if (!m_save) m_save = makeSaveDialog();
  return *m_save;
}

QFileDialog& QtDialogs::OpenDialog1() {
  if (!m_open) m_open = makeOpenDialog();
  return *m_open;
}

}  // namespace ostrel

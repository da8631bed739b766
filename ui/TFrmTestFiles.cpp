// Save Data and Open Data: the file dialogs, the table files and their messages.
#include <QFile>

#include "QtDialogs.h"
#include "ReadingsGrid.h"
#include "TFrmTest.h"
#include "TestsWindow.h"
#include "record/TableFiles.h"
#include "ui/AppState.h"

namespace ostrel {

namespace {

QString messageText(const std::string& message) { return QString::fromLocal8Bit(message); }

constexpr auto unsavedQuestion =
    "The table holds readings recorded since it was last saved.\n"
    "Save them first? Discard drops them for good.";

}  // namespace

void TFrmTest::Save_asClick() { saveTable(); }

bool TFrmTest::keepUnsavedReadings() {
  if (!m_unsavedReadings) return true;
  switch (m_dialogs->askSaveReadings(this, QString::fromUtf8(unsavedQuestion))) {
    case UnsavedReadingsAnswer::Save:
      return saveTable();
    case UnsavedReadingsAnswer::Discard:
      return true;
    case UnsavedReadingsAnswer::Cancel:
      break;
  }
  return false;
}

bool TFrmTest::saveTable() {
  const std::optional<QString> fileName = m_dialogs->chooseSaveFile(this);
  if (!fileName) return false;
  cds1.DisableControls();
  const FileResult result = SaveTableToFile(
      cds1, QFile::encodeName(*fileName).toStdString(), m_state.DecimalSeparatorText,
      m_testsWindow != nullptr ? m_testsWindow->workbookTests() : WorkbookTests{});
  cds1.EnableControls();
  // Saving walks the table to its end: the grid shows the last record afterwards.
  DBGrid1->showLastRow();
  if (result.ok) m_unsavedReadings = false;
  if (!result.message.empty()) m_dialogs->showMessage(this, messageText(result.message));
  return result.ok;
}

void TFrmTest::OpenClick() {
  const std::optional<QString> fileName = m_dialogs->chooseOpenFile(this);
  if (!fileName) return;
  // A packet takes the table's place; a text file only appends to it.
  const bool replaces = isDataPacketName(fileName->toStdString());
  if (replaces && !keepUnsavedReadings()) return;
  cds1.DisableControls();
  const FileResult result =
      LoadTableFromFile(QFile::encodeName(*fileName).toStdString(), cds1, false);
  cds1.EnableControls();
  if (result.ok && replaces) {
    m_unsavedReadings = false;
    if (m_onRecordsDropped) m_onRecordsDropped();
  }
  if (!result.ok) {
    m_dialogs->showError(this, QStringLiteral("Error"),
                         result.message.empty() ? QStringLiteral("Failed to Load File!")
                                                : messageText(result.message));
  }
}

}  // namespace ostrel

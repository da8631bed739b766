// Save Data and Open Data: the file dialogs, the table files and their messages.
#include <QFile>

#include "QtDialogs.h"
#include "ReadingsGrid.h"
#include "TFrmTest.h"
#include "record/TableFiles.h"
#include "ui/AppState.h"

namespace ostrel {

namespace {

QString messageText(const std::string& message) { return QString::fromLocal8Bit(message); }

}  // namespace

void TFrmTest::Save_asClick() {
  const std::optional<QString> fileName = m_dialogs->chooseSaveFile(this);
  if (!fileName) return;
  cds1.DisableControls();
  const FileResult result = SaveTableToFile(cds1, QFile::encodeName(*fileName).toStdString(),
                                            m_state.DecimalSeparatorText);
  cds1.EnableControls();
  // Saving walks the table to its end: the grid shows the last record afterwards.
  DBGrid1->showLastRow();
  if (!result.message.empty()) m_dialogs->showMessage(this, messageText(result.message));
}

void TFrmTest::OpenClick() {
  const std::optional<QString> fileName = m_dialogs->chooseOpenFile(this);
  if (!fileName) return;
  cds1.DisableControls();
  const FileResult result =
      LoadTableFromFile(QFile::encodeName(*fileName).toStdString(), cds1, false);
  cds1.EnableControls();
  if (result.ok && isDataPacketName(fileName->toStdString()) && m_onRecordsDropped) {
    m_onRecordsDropped();
  }
  if (!result.ok) {
    m_dialogs->showError(this, QStringLiteral("Error"),
                         result.message.empty() ? QStringLiteral("Failed to Load File!")
                                                : messageText(result.message));
  }
}

}  // namespace ostrel

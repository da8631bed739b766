#include "WindowJournal.h"

#include <QFile>
#include <QMetaObject>
#include <QStringList>

#include "QtDialogs.h"
#include "ReadingsGrid.h"
#include "TFrmTest.h"
#include "record/JournalRecovery.h"
#include "record/JournalWriter.h"
#include "ui/AppState.h"

namespace ostrel {

namespace {

QString pathText(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

QString unreadableReport(const std::vector<UnreadableJournal>& journals) {
  QStringList lines;
  for (const UnreadableJournal& journal : journals) {
    const QString reason = QString::fromLocal8Bit(journal.reason);
    if (!journal.keptAs.empty()) {
      lines << QStringLiteral("The recording journal %1 could not be read (%2). It was kept as %3.")
                   .arg(pathText(journal.path), reason, pathText(journal.keptAs));
    } else {
      lines << QStringLiteral(
                   "The recording journal %1 could not be read (%2) and could not be renamed "
                   "(%3). It was left where it is.")
                   .arg(pathText(journal.path), reason,
                        QString::fromLocal8Bit(journal.renameError));
    }
  }
  return lines.join(u'\n');
}

}  // namespace

WindowJournal::WindowJournal(TFrmTest& window, std::string folder, std::unique_ptr<Dialogs> dialogs)
    : m_window(window),
      m_folder(std::move(folder)),
      m_dialogs(dialogs ? std::move(dialogs) : std::make_unique<QtDialogs>()) {}

WindowJournal::~WindowJournal() {
  m_window.setRecordedHook({});
  m_window.setRecordsDroppedHook({});
}

const char* const WindowJournal::unprotectedMessage =
    "Neither XDG_STATE_HOME nor HOME is set, so there is no folder for the recording journal: "
    "readings are not protected against a crash until they are saved.";

QString WindowJournal::recoverQuestion(std::size_t readings, std::size_t dropped) {
  QString question = readings == 1
                         ? QStringLiteral(
                               "Ostrel did not end normally last time. Recover the reading "
                               "recorded then?")
                         : QStringLiteral(
                               "Ostrel did not end normally last time. Recover the %1 readings "
                               "recorded then?")
                               .arg(readings);
  if (dropped == 1) {
    question +=
        QStringLiteral("\nOne damaged line of the journal could not be read; it is left out.");
  } else if (dropped > 1) {
    question +=
        QStringLiteral("\n%1 damaged lines of the journal could not be read; they are left out.")
            .arg(dropped);
  }
  question += readings == 1 ? QStringLiteral("\nNo deletes it for good.")
                            : QStringLiteral("\nNo deletes them for good.");
  return question;
}

void WindowJournal::start() {
  if (m_folder.empty() && !m_toldUnprotected) {
    m_toldUnprotected = true;
    m_dialogs->showMessage(&m_window, QString::fromUtf8(unprotectedMessage));
  }
  if (m_folder.empty() || m_writer) return;
  offerLeftReadings();
  if (!m_writer) {
    const std::string folder = m_folder;
    m_writer = std::make_unique<JournalWriter>(
        [folder](std::string& error) -> std::unique_ptr<JournalSink> {
          return JournalFile::create(folder, error);
        },
        stoppedHandler());
  }
  ReadingsTable& table = m_window.table();
  m_window.setRecordedHook(
      [this, &table](std::size_t row) { m_writer->append(table.record(row)); });
  m_window.setRecordsDroppedHook([this] { m_writer->clear(); });
}

void WindowJournal::offerLeftReadings() {
  JournalScan scan = scanLeftJournals(m_folder, LongTimeFormat::fromEnvironment());
  if (!scan.untrusted.empty()) {
    m_dialogs->showError(
        &m_window, applicationTitle,
        QStringLiteral("The recording journal folder %1 is not trusted (%2): no readings are "
                       "recovered from it.")
            .arg(pathText(m_folder), QString::fromLocal8Bit(scan.untrusted)));
    return;
  }
  if (scan.left && m_window.table().empty()) {
    LeftJournal& left = *scan.left;
    const std::size_t count = left.records->recordCount();
    if (m_dialogs->askYesNo(&m_window, recoverQuestion(count, left.droppedLines))) {
      RecordingCounters& counters = m_window.state().recording;
      counters.RecordNo = left.records->no(count - 1).value_or(0) + 1;
      counters.LastRecordedValue = left.records->text(count - 1, ReadingsTable::Value).value_or("");
      m_window.table().swapRecords(*left.records);
      if (auto* grid = m_window.findChild<ReadingsGrid*>(QStringLiteral("DBGrid1"))) {
        grid->showLastRow();
      }
      m_writer = std::make_unique<JournalWriter>(std::move(left.file), stoppedHandler());
    } else if (const std::string error = left.file->remove(); !error.empty()) {
      m_dialogs->showError(&m_window, applicationTitle,
                           QStringLiteral("The recording journal %1 could not be deleted (%2).")
                               .arg(pathText(left.file->path()), QString::fromLocal8Bit(error)));
    }
  }
  if (!scan.unreadable.empty()) {
    m_dialogs->showError(&m_window, applicationTitle, unreadableReport(scan.unreadable));
  }
}

std::function<void(const std::string&)> WindowJournal::stoppedHandler() {
  return [this](const std::string& reason) {
    // Runs on the writer thread: the message box is shown from the main thread.
    QMetaObject::invokeMethod(
        this, [this, text = QString::fromLocal8Bit(reason)] { journalStopped(text); },
        Qt::QueuedConnection);
  };
}

void WindowJournal::journalStopped(const QString& reason) {
  m_dialogs->showError(
      &m_window, applicationTitle,
      QStringLiteral("The recording journal stopped (%1). Recording goes on, but the readings "
                     "recorded from now on are lost if Ostrel does not end normally: save them "
                     "with \"Save Data\".")
          .arg(reason));
}

void WindowJournal::endCleanly() {
  m_window.setRecordedHook({});
  m_window.setRecordsDroppedHook({});
  if (!m_writer) return;
  if (const std::string error = m_writer->finish(); !error.empty()) {
    m_dialogs->showError(
        &m_window, applicationTitle,
        QStringLiteral("The recording journal in %1 could not be removed (%2). Its readings "
                       "will be offered again at the next start.")
            .arg(pathText(m_folder), QString::fromLocal8Bit(error)));
  }
}

void WindowJournal::flush() {
  if (m_writer) m_writer->flush();
}

}  // namespace ostrel

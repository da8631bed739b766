#include "WindowJournal.h"

#include <pthread.h>
#include <QFile>
#include <QMetaObject>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <mutex>

#include "QtDialogs.h"
#include "ReadingsGrid.h"
#include "TFrmTest.h"
#include "base/SystemCalls.h"
#include "record/JournalFolder.h"
#include "record/JournalRecovery.h"
#include "record/JournalWriter.h"
#include "ui/AppState.h"
#include "ui/work/BackgroundWork.h"

namespace ostrel {

// The journal folder, opened (made when missing) by whichever thread needs it first: the scan
// or the writer at the first reading. Both then work in the same open folder.
class JournalFolderOnce {
 public:
  explicit JournalFolderOnce(std::string path) : m_path(std::move(path)) {}
  const std::string& path() const { return m_path; }
  const JournalFolderOpening& get() {
    std::call_once(m_once, [this] { m_opening = openJournalFolder(m_path, true); });
    return m_opening;
  }

 private:
  std::string m_path;
  std::once_flag m_once;
  JournalFolderOpening m_opening;
};

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

// The report of a journal that a clean end could not remove (finished: JournalWriter::finish,
// whose message holds the journal's name and the reason).
QString notRemovedMessage(const Result<>& finished) {
  return QStringLiteral(
             "The recording journal could not be removed (%1). Its readings will be offered "
             "again at the next start.")
      .arg(QString::fromLocal8Bit(finished.message()));
}

}  // namespace

WindowJournal::WindowJournal(TFrmTest& window, std::string folder, std::unique_ptr<Dialogs> dialogs)
    : m_window(window),
      m_folder(std::move(folder)),
      m_dialogs(dialogs ? std::move(dialogs) : std::make_unique<QtDialogs>()) {}

WindowJournal::~WindowJournal() {
  stopScan();
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
  // This run's journal is made at its first reading, locked before it gets its name: the
  // scan takes it for a running window's and leaves it alone. In a folder that is not
  // trusted there is none; the scan's report says so.
  m_folderOnce = std::make_shared<JournalFolderOnce>(m_folder);
  m_writer = std::make_unique<JournalWriter>(
      [folder = m_folderOnce]() -> Result<std::unique_ptr<JournalSink>> {
        const JournalFolderOpening& opening = folder->get();
        if (!opening.untrusted.empty()) return Result<>::cancel(opening.untrusted);
        if (!opening.folder)
          return Result<>::failure(folder->path() + ": " + reason(opening.error));
        Result<std::unique_ptr<JournalFile>> made = JournalFile::create(opening.folder);
        if (!made.ok()) return made;
        return {std::move(made.value())};
      },
      stoppedHandler());
  ReadingsTable& table = m_window.table();
  m_window.setRecordedHook([this, &table](std::size_t row) {
    m_writer->append(table.record(row));
    ++m_liveRecords;
  });
  m_window.setRecordsDroppedHook([this] {
    m_writer->clear();
    m_liveRecords = 0;
  });

  m_scanning = true;
  m_cancelScan = false;
  m_scanThread = std::thread([this, folder = m_folderOnce] {
    ::pthread_setname_np(::pthread_self(), "ostrel-journal");
    auto scan = std::make_shared<JournalScan>();
    const JournalFolderOpening& opening = folder->get();
    if (opening.folder) {
      *scan = scanLeftJournals(opening.folder, LongTimeFormat::fromEnvironment(), &m_cancelScan);
    }
    scan->untrusted = opening.untrusted;
    if (scan->cancelled) return;
    // Handled on the main thread; dropped with this object if it goes first.
    QMetaObject::invokeMethod(
        this, [this, scan] { scanDone(scan); }, Qt::QueuedConnection);
  });
}

void WindowJournal::stopScan() {
  m_cancelScan = true;
  if (m_scanThread.joinable()) m_scanThread.join();
  m_scanning = false;
}

void WindowJournal::scanDone(const std::shared_ptr<JournalScan>& result) {
  if (!m_scanning) return;  // ended meanwhile
  // The thread has handed its result over and is ending.
  if (m_scanThread.joinable()) m_scanThread.join();
  // A save or load is under way: its outcome decides whether the table is still only this
  // run's readings, so the question waits for it.
  if (m_window.fileWork().busy()) {
    QTimer::singleShot(100, this, [this, result] { scanDone(result); });
    return;
  }
  JournalScan& scan = *result;
  if (!scan.untrusted.empty()) {
    m_scanning = false;
    m_dialogs->showError(
        &m_window, applicationTitle,
        QStringLiteral("The recording journal folder %1 is not trusted (%2): no readings are "
                       "recovered from it, and none are written to it. Readings are not "
                       "protected against a crash until they are saved.")
            .arg(pathText(m_folder), QString::fromLocal8Bit(scan.untrusted)));
    return;
  }
  if (scan.left) offer(*scan.left);
  m_scanning = false;
  if (!scan.unreadable.empty()) {
    m_dialogs->showError(&m_window, applicationTitle, unreadableReport(scan.unreadable));
  }
}

void WindowJournal::offer(LeftJournal& left) {
  // A table holding more than the readings recorded since the start (a file loaded meanwhile)
  // is not mixed with them: the journal is released and offered at a later start.
  if (m_window.table().recordCount() != m_liveRecords) return;
  const std::size_t count = left.records->recordCount();
  // The question's own event loop goes on recording: what it records counts as recorded
  // during the scan.
  const bool yes = m_dialogs->askYesNo(&m_window, recoverQuestion(count, left.droppedLines));
  if (!m_scanning) return;  // ended while the question was open
  if (yes) {
    if (m_window.table().recordCount() != m_liveRecords) return;
    recoverBeforeTheLiveReadings(left);
  } else if (const Result<> removed = left.file->remove(); !removed.ok()) {
    m_dialogs->showError(
        &m_window, applicationTitle,
        QStringLiteral("The recording journal %1 could not be deleted (%2).")
            .arg(pathText(left.file->path()), QString::fromLocal8Bit(removed.message())));
  }
}

void WindowJournal::recoverBeforeTheLiveReadings(LeftJournal& left) {
  ReadingsTable& table = m_window.table();
  ReadingsTable& merged = *left.records;
  const std::size_t recovered = merged.recordCount();
  const std::size_t live = table.recordCount();
  const std::int32_t lastNo = merged.no(recovered - 1).value_or(0);
  for (std::size_t row = 0; row < live; ++row) {
    RecordFields fields = table.record(row);
    fields.No = lastNo + 1 + static_cast<std::int32_t>(row);
    merged.append(fields, table.changeState(row));
  }
  RecordingCounters& counters = m_window.state().recording;
  counters.RecordNo = lastNo + 1 + static_cast<std::int32_t>(live);
  if (live == 0) {
    counters.LastRecordedValue = merged.text(recovered - 1, ReadingsTable::Value).value_or("");
  }
  table.swapRecords(merged);
  m_window.markReadingsUnsaved();
  if (auto* grid = m_window.findChild<ReadingsGrid*>(QStringLiteral("DBGrid1"))) {
    grid->showLastRow();
  }

  // The recovered journal goes on, with the readings of this run after its own; this run's
  // journal goes only once they are on disk there (a crash between the two leaves them twice
  // rather than nowhere).
  auto recoveredJournal = std::make_unique<JournalWriter>(std::move(left.file), stoppedHandler());
  for (std::size_t row = recovered; row < table.recordCount(); ++row) {
    recoveredJournal->append(table.record(row));
  }
  recoveredJournal->flush();
  const std::unique_ptr<JournalWriter> own = std::exchange(m_writer, std::move(recoveredJournal));
  if (const Result<> finished = own->finish(); !finished.ok()) {
    m_dialogs->showError(&m_window, applicationTitle, notRemovedMessage(finished));
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
  stopScan();
  m_window.setRecordedHook({});
  m_window.setRecordsDroppedHook({});
  if (!m_writer) return;
  if (const Result<> finished = m_writer->finish(); !finished.ok()) {
    // The window is closing: the report goes to standard error too, where a log of the
    // session keeps it. The message holds the journal's name and the system's reason.
    const QString message = notRemovedMessage(finished);
    std::fprintf(stderr, "ostrel: %s\n", message.toLocal8Bit().constData());
    m_dialogs->showError(&m_window, applicationTitle, message);
  }
}

void WindowJournal::flush() {
  if (m_writer) m_writer->flush();
}

}  // namespace ostrel

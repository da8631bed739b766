// Save Data and Open Data: the file dialogs, the table files and their messages. The file
// work runs on a worker thread (see ui/work/BackgroundWork.h) over a snapshot of cds1 or into
// a new table, so that recording goes on meanwhile.
#include <QFile>
#include <QFileInfo>
#include <QTime>
#include <QToolButton>
#include <memory>

#include "ClickPanel.h"
#include "QtDialogs.h"
#include "ReadingsGrid.h"
#include "TFrmTest.h"
#include "TestsWindow.h"
#include "record/TableFiles.h"
#include "record/WorkbookFile.h"
#include "ui/AppState.h"
#include "ui/work/BackgroundWork.h"

namespace ostrel {

namespace {

QString messageText(const std::string& message) { return QString::fromLocal8Bit(message); }

constexpr auto unsavedQuestion =
    "The table holds readings recorded since it was last saved.\n"
    "Save them first? Discard drops them for good.";

FileProgress toWorkProgress(WorkProgress& progress) {
  return [&progress](std::size_t done, std::size_t total) { return progress.report(done, total); };
}

// Records copied per turn of the event loop when a snapshot is taken: a few milliseconds.
constexpr std::size_t snapshotSlice = 16384;

// A job's prepare step that copies rows [0, count) of `from` into `to`, a slice per call.
std::function<bool()> snapshotSlices(const ReadingsTable& from, std::size_t count,
                                     std::shared_ptr<ReadingsTable> to) {
  return [&from, count, to = std::move(to)] {
    const std::size_t first = to->recordCount();
    copyRecords(from, first, std::min(snapshotSlice, count - first), *to);
    return to->recordCount() >= count;
  };
}

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

void TFrmTest::setFileWorkBusy(bool busy) {
  const std::initializer_list<QWidget*> conflicting{SpeedButton1, SpeedButton2, SpeedButton3,
                                                    MajPrint, Panel3};
  for (QWidget* control : conflicting) {
    control->setEnabled(!busy);
  }
}

bool TFrmTest::saveTable() {
  if (m_work->busy()) return false;
  const std::optional<QString> fileName = m_dialogs->chooseSaveFile(this);
  if (!fileName) return false;
  // The file holds the table as it is now; readings recorded while it is written stay in
  // the table and count as unsaved.
  const std::size_t records = cds1.recordCount();
  auto snapshot = std::make_shared<ReadingsTable>();
  auto result = std::make_shared<Result<>>();
  const std::string name = QFile::encodeName(*fileName).toStdString();
  const std::string separator = m_state.DecimalSeparatorText;
  const WorkbookTests tests =
      m_testsWindow != nullptr ? m_testsWindow->workbookTests() : WorkbookTests{};

  BackgroundWork::Job job;
  job.threadName = "ostrel-save";
  job.title = QStringLiteral("Save Data");
  job.label = QStringLiteral("Saving %1 (the %2 records the table held at %3)")
                  .arg(QFileInfo(*fileName).fileName())
                  .arg(records)
                  .arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
  job.prepare = snapshotSlices(cds1, records, snapshot);
  job.run = [snapshot, result, name, separator, tests](WorkProgress& progress) {
    *result = SaveTableToFile(*snapshot, name, separator, tests, toWorkProgress(progress));
    snapshot->clear();  // its memory goes on this thread
  };
  bool saved = false;
  job.finished = [&saved, this, result, records](bool cancelled) {
    // Saving walks the table to its end: the grid shows the last record afterwards.
    DBGrid1->showLastRow();
    // A Cancel that came after the file was complete cancelled nothing: the save is told.
    if (cancelled && !result->ok()) return;
    if (result->ok() && cds1.recordCount() == records) m_unsavedReadings = false;
    if (!result->message().empty()) m_dialogs->showMessage(this, messageText(result->message()));
    saved = result->ok();
  };
  m_work->runAndWait(std::move(job));
  return saved;
}

void TFrmTest::OpenClick() {
  if (m_work->busy()) return;
  const std::optional<QString> fileName = m_dialogs->chooseOpenFile(this);
  if (!fileName) return;
  // A packet takes the table's place; a text file only appends to it.
  const bool replaces = isDataPacketName(fileName->toStdString());
  if (replaces && !keepUnsavedReadings()) return;
  // The load goes into a new table: empty for a packet, a snapshot of cds1 for a text file.
  // When it ends, the readings recorded meanwhile follow the loaded records with their own
  // numbers, as if the file had been loaded at the moment the load began.
  const std::size_t start = cds1.recordCount();
  auto loaded = std::make_shared<ReadingsTable>();
  auto result = std::make_shared<LoadResult>();
  const std::string name = QFile::encodeName(*fileName).toStdString();

  BackgroundWork::Job job;
  job.threadName = "ostrel-load";
  job.title = QStringLiteral("Open Data");
  job.label = QStringLiteral("Loading %1").arg(QFileInfo(*fileName).fileName());
  if (!replaces) job.prepare = snapshotSlices(cds1, start, loaded);
  auto handToViews = std::make_shared<LoadedTableStep>();
  job.run = [loaded, result, name, handToViews, replaces,
             prepare = m_prepareLoadedTable](WorkProgress& progress) {
    *result = LoadTableFromFile(name, *loaded, false, toWorkProgress(progress));
    if (prepare && (result->ok() || !replaces) && !progress.cancelled()) {
      *handToViews = prepare(*loaded);
    }
  };
  const QDateTime fileTime = QFileInfo(*fileName).lastModified();
  job.finished = [this, loaded, result, start, replaces, handToViews, fileTime](bool cancelled) {
    if (cancelled) return;                         // the table stays as it was
    const bool merge = result->ok() || !replaces;  // a failed text load keeps the lines before
    if (merge) {
      const std::size_t recordedFrom = std::min(start, cds1.recordCount());
      const std::size_t recorded = cds1.recordCount() - recordedFrom;
      const std::size_t firstRecorded = loaded->recordCount();
      copyRecords(cds1, recordedFrom, recorded, *loaded);
      if (*handToViews) (*handToViews)(*loaded);
      cds1.swapRecords(*loaded);
      // The file's readings come first: they were taken before it was last written.
      if (start == 0 || (replaces && result->ok())) setTableEnd(fileTime);
      if (replaces && result->ok()) {
        m_unsavedReadings = recorded > 0;
        if (m_onRecordsDropped) m_onRecordsDropped();
        // The journal starts again with the readings recorded during the load.
        for (std::size_t row = firstRecorded; m_onRecorded && row < cds1.recordCount(); ++row) {
          m_onRecorded(row);
        }
      }
    }
    if (!result->ok()) {
      // The fixed message, and under it why, as the load found it.
      m_dialogs->showError(this, QStringLiteral("Error"),
                           messageText(result->message() + "\n" + result->reason()));
    }
  };
  m_work->runAndWait(std::move(job));
}

}  // namespace ostrel

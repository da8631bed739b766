#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "Dialogs.h"

namespace ostrel {

class JournalFolderOnce;
class JournalWriter;
class TFrmTest;
struct JournalScan;
struct LeftJournal;

// The main window's recording journal: every reading the window records is kept in a file of
// the state folder until the window ends cleanly, so that a crash, a killed session or a power
// cut loses none of them. The program's main() makes one; a window without it (the tests'
// windows) keeps no journal.
//
// Journals left behind are looked for on a thread of their own ("ostrel-journal"), so that
// the window answers while a long journal is read; the recovery question comes when that scan
// is done. The scan shares nothing with the main thread but its cancel flag: its result is
// handed back as a queued call.
//
// Main thread only. The window must outlive this object.
class WindowJournal : public QObject {
 public:
  // folder: where the journals live (journalFolder()); empty turns the journal off.
  // dialogs: the message boxes; nullptr for the real ones.
  WindowJournal(TFrmTest& window, std::string folder, std::unique_ptr<Dialogs> dialogs = nullptr);
  // Without endCleanly() the journal stays on disk, to be offered at the next start.
  ~WindowJournal() override;
  WindowJournal(const WindowJournal&) = delete;
  WindowJournal& operator=(const WindowJournal&) = delete;

  // Shown once by start() when there is no state folder (neither variable set).
  static const char* const unprotectedMessage;

  // Call once the window is shown. Without a state folder it says once that readings are
  // not protected and journals nothing. Otherwise every reading recorded from now on is
  // journaled (in a journal of this run), and the scan for journals left behind starts; it
  // returns at once. When the scan is done, and the table holds only the readings recorded
  // since this start (none, or those recorded during the scan), it asks whether to recover
  // the readings of a journal that no running window holds. Yes puts them before the readings
  // recorded meanwhile, which are numbered on after them (as is the next reading), and goes
  // on in the recovered journal, where those readings are added before this run's journal is
  // removed; No deletes that journal, as the question says. A table holding anything else
  // (a file loaded during the scan) is not asked about: the journal stays for a later start.
  // Journals that could not be read (renamed aside) are reported after the question.
  // The folder is opened once, by the scan or the first reading, whichever comes first; a
  // folder that is not trusted (see untrustedFolderReason) is told once and never written:
  // the window records without a journal.
  void start();
  // The window ended normally ("Exit" or closed): a scan still running is stopped (the journal
  // it read stays as it was) and this run's journal is removed.
  // A journal that cannot be removed stays, and is reported on standard error (with its name
  // and the reason) and in an error box.
  void endCleanly();
  // Blocks until every reading recorded so far is on disk (or the journal stopped).
  void flush();
  // True from start() until the scan's result was handled (question answered).
  [[nodiscard]] bool scanning() const { return m_scanning; }

  // dropped: damaged lines of the journal that are left out, told after the question.
  static QString recoverQuestion(std::size_t readings, std::size_t dropped = 0);

 private:
  void scanDone(const std::shared_ptr<JournalScan>& result);
  void offer(LeftJournal& left);
  void recoverBeforeTheLiveReadings(LeftJournal& left);
  void stopScan();
  void journalStopped(const QString& reason);
  std::function<void(const std::string&)> stoppedHandler();

  TFrmTest& m_window;
  std::string m_folder;
  std::shared_ptr<JournalFolderOnce> m_folderOnce;  // shared with the scan and writer threads
  bool m_toldUnprotected = false;  // the message for a missing state folder was shown
  std::unique_ptr<Dialogs> m_dialogs;
  std::unique_ptr<JournalWriter> m_writer;
  // The rows recorded since start() (or since the table's records were last dropped): while
  // the table holds only these, a left journal can be offered.
  std::size_t m_liveRecords = 0;
  bool m_scanning = false;
  std::atomic<bool> m_cancelScan{false};
  std::thread m_scanThread;  // the scan; joined by stopScan() or when its result is handled
};

}  // namespace ostrel

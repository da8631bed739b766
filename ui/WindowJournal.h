#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "Dialogs.h"

namespace ostrel {

class JournalWriter;
class TFrmTest;

// The main window's recording journal: every reading the window records is kept in a file of
// the state folder until the window ends cleanly, so that a crash, a killed session or a power
// cut loses none of them. The program's main() makes one; a window without it (the tests'
// windows) keeps no journal.
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

  // Call once the window is shown, before anything is recorded. Without a state folder it
  // says once that readings are not protected and journals nothing. Asks whether to recover the
  // readings of a journal that no running window holds (Yes loads them into the empty table
  // and numbering continues after them; No deletes that journal, as the question says), reports
  // journals that could not be read (renamed aside), then journals every reading recorded from now
  // on.
  void start();
  // The window ended normally ("Exit" or closed): the journal is removed.
  // A journal that cannot be removed is reported in an error box.
  void endCleanly();
  // Blocks until every reading recorded so far is on disk (or the journal stopped).
  void flush();

  // dropped: damaged lines of the journal that are left out, told after the question.
  static QString recoverQuestion(std::size_t readings, std::size_t dropped = 0);

 private:
  void offerLeftReadings();
  void journalStopped(const QString& reason);
  std::function<void(const std::string&)> stoppedHandler();

  TFrmTest& m_window;
  std::string m_folder;
  bool m_toldUnprotected = false;  // the message for a missing state folder was shown
  std::unique_ptr<Dialogs> m_dialogs;
  std::unique_ptr<JournalWriter> m_writer;
};

}  // namespace ostrel

// ostrel: the desktop program. Reads no arguments and no settings; of the environment only
// the state folder (XDG_STATE_HOME, else HOME) where the recording journal is kept.
#include <QApplication>
#include <QScreen>
#include <csignal>
#include <cstdlib>

#include "app/ProgramHid.h"
#include "app/WindowLink.h"
#include "record/FileReplace.h"
#include "record/JournalFile.h"
#include "ui/AppState.h"
#include "ui/ButtonPictures.h"
#include "ui/ReportAndChart.h"
#include "ui/TFrmTest.h"
#include "ui/WindowJournal.h"

int main(int argc, char** argv) {
  // A save beyond a file size limit (ulimit -f) fails with EFBIG like a full disk and is
  // reported; the signal's default would end the program and lose the unsaved table.
  std::signal(SIGXFSZ, SIG_IGN);
  // Ended by a signal in the middle of a save, the window leaves no temporary file behind.
  ostrel::removeReplacementFilesOnStopSignals();
  ostrel::AppState state;  // start values before any window exists

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ostrel"));
  QApplication::setWindowIcon(ostrel::applicationIcon());

  ostrel::TFrmTest FrmTest(state);
  ostrel::WindowJournal journal(
      FrmTest, ostrel::journalFolder(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")));
  ostrel::ReportAndChart reportAndChart(FrmTest, state);
  const std::unique_ptr<ostrel::ProgramHid> hid = ostrel::makeProgramHid();
  ostrel::WindowLink link(FrmTest, hid->platform(), hid->captionSuffix());
  FrmTest.adjustSize();
  if (const QScreen* screen = FrmTest.screen()) {
    QRect frame = FrmTest.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    FrmTest.move(frame.topLeft());
  }
  FrmTest.show();
  journal.start();
  const int status = QApplication::exec();
  journal.endCleanly();  // "Exit" or the window closed: a normal end keeps nothing
  return status;
}

// A window program run by the journal tests as a child process: the window with its journal
// and its link on the virtual meter, wired and ended as the program's main() does it.
//
// journal_window_child MODE COUNT: connects, records COUNT readings (the record limit), waits
// until they are in the journal, prints the grid's rows (cells joined by tabs) and "ready" on
// standard output, then: "wait" runs on until killed, "exit" clicks Exit, "close" closes the
// window. The state folder comes from XDG_STATE_HOME.
#include <QAbstractItemModel>
#include <QApplication>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "StubDialogs.h"
#include "app/WindowLink.h"
#include "record/JournalFile.h"
#include "sim/meter/VirtualMeter.h"
#include "ui/AppState.h"
#include "ui/TFrmTest.h"
#include "ui/WindowJournal.h"

namespace {

void printGrid(ostrel::TFrmTest& window) {
  const QAbstractItemModel* model =
      window.findChild<QTableView*>(QStringLiteral("DBGrid1"))->model();
  for (int row = 0; row < model->rowCount(); ++row) {
    QStringList cells;
    for (int column = 0; column < model->columnCount(); ++column) {
      cells << model->data(model->index(row, column)).toString();
    }
    std::printf("%s\n", cells.join(u'\t').toUtf8().constData());
  }
  std::printf("ready\n");
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string mode = argv[1];
  const int count = std::atoi(argv[2]);

  ostrel::AppState state;
  state.recording.RecordLimit = count;
  QApplication app(argc, argv);
  ostrel::test::DialogLog log;
  log.unsavedAnswer = ostrel::UnsavedReadingsAnswer::Discard;  // Exit drops what was recorded
  ostrel::TFrmTest window(state, std::make_unique<ostrel::test::StubDialogs>(log));
  ostrel::WindowJournal journal(
      window, ostrel::journalFolder(std::getenv("XDG_STATE_HOME"), std::getenv("HOME")),
      std::make_unique<ostrel::test::StubDialogs>(log));
  ostrel::SimHidPlatform platform;
  ostrel::sim::VirtualMeter meter(platform);
  ostrel::WindowLink link(window, platform);
  window.show();
  journal.start();
  window.Panel2Click();

  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (window.table().recordCount() < static_cast<std::size_t>(count)) return;
    poll.stop();
    journal.flush();
    printGrid(window);
    if (mode == "exit") window.Panel3Click();
    if (mode == "close") window.close();
  });
  poll.start(20);
  const int status = QApplication::exec();
  journal.endCleanly();
  return status;
}

// ostrel: the desktop program. Reads no arguments, no environment and no settings.
#include <QApplication>
#include <QScreen>

#include "app/ProgramHid.h"
#include "app/WindowLink.h"
#include "ui/AppState.h"
#include "ui/ButtonPictures.h"
#include "ui/ReportAndChart.h"
#include "ui/TFrmTest.h"

int main(int argc, char** argv) {
  ostrel::AppState state;  // start values before any window exists

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("ostrel"));
  QApplication::setWindowIcon(ostrel::applicationIcon());

  ostrel::TFrmTest FrmTest(state);
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
  return QApplication::exec();
}

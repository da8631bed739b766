// Start-up to an idle event loop, for counting instructions under callgrind:
//   startup_probe window    the window program as main() assembles it (no meter attached)
//   startup_probe minimal   a plain Qt Widgets window of the same size, the floor
//   startup_probe text      that window showing one line of text in the default font: what
//                           the first text on screen costs any Qt program on this machine
// Either quits as soon as its window has been painted once and its event loop has nothing
// left to do.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <cstring>

#include "app/WindowLink.h"
#include "sim/hid/SimHidPlatform.h"
#include "ui/AppState.h"
#include "ui/ButtonPictures.h"
#include "ui/ReportAndChart.h"
#include "ui/TFrmTest.h"

namespace {

// Notes that the widget it watches received a paint event.
class PaintWatch final : public QObject {
 public:
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return false;
  }
  bool painted = false;
};

// Quits the first time the event loop is about to wait with `window` painted: the window's
// first paint comes from a timer of the platform after the show, so an event loop quit
// before it waits would count a window that was never drawn.
int runUntilPaintedAndIdle(QWidget& window) {
  PaintWatch paint;
  window.installEventFilter(&paint);
  QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                   qApp, [&paint] {
                     if (paint.painted) QCoreApplication::quit();
                   });
  return QApplication::exec();
}

int windowProgram() {
  ostrel::AppState state;
  QApplication::setApplicationName(QStringLiteral("ostrel"));
  QApplication::setWindowIcon(ostrel::applicationIcon());
  ostrel::TFrmTest FrmTest(state);
  ostrel::ReportAndChart reportAndChart(FrmTest, state);
  ostrel::SimHidPlatform platform;
  ostrel::WindowLink link(FrmTest, platform);
  FrmTest.adjustSize();
  FrmTest.show();
  return runUntilPaintedAndIdle(FrmTest);
}

int minimalWindow(bool oneLineOfText) {
  QWidget window;
  window.resize(619, 526 + 21);  // the main window's client area and menu bar
  if (oneLineOfText) new QLabel(QStringLiteral("Connect"), &window);
  window.show();
  return runUntilPaintedAndIdle(window);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc == 2 && std::strcmp(argv[1], "window") == 0) return windowProgram();
  if (argc == 2 && std::strcmp(argv[1], "minimal") == 0) return minimalWindow(false);
  if (argc == 2 && std::strcmp(argv[1], "text") == 0) return minimalWindow(true);
  return 2;
}

// ostrel: the desktop program.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral(" "));
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("Ostrel 1.00"));
  window.show();
  return QApplication::exec();
}

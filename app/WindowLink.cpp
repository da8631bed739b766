#include "app/WindowLink.h"

#include <QApplication>
#include <QMessageBox>

#include "link/ConnectionControl.h"
#include "link/THidDeviceController.h"
#include "ui/AppState.h"
#include "ui/ApplicationTitle.h"
#include "ui/TFrmTest.h"

namespace ostrel {

WindowLink::WindowLink(TFrmTest& window, HidPlatform& platform, const std::string& captionSuffix)
    : m_window(window), m_controller(std::make_unique<THidDeviceController>(platform)) {
  if (!captionSuffix.empty()) {
    window.setWindowTitle(window.windowTitle() + QString::fromStdString(captionSuffix));
  }
  ConnectionControl::Callbacks callbacks;
  callbacks.showFrame = [&window](const std::string& meterFrame) {
    return window.ShowData860(meterFrame) == FrameDecoder::Outcome::Decoded;
  };
  callbacks.captionChanged = [&window](const std::string& caption) {
    window.setConnectCaption(QString::fromStdString(caption));
  };
  callbacks.showInfo = [&window](const std::string& message) {
    QMessageBox::information(&window, applicationTitle, QString::fromStdString(message));
  };
  m_connection = std::make_unique<ConnectionControl>(*m_controller, window.link(),
                                                     window.state().assembler, callbacks);
  window.setConnectCaption(QString::fromStdString(m_connection->caption()));
  window.setConnectHandler([this] { m_connection->Panel2Click(); });
  window.setSetFeatureHandler([this] { m_connection->SetFeatureClick(); });
  window.setTimer2RestartHook([this] { m_connection->restartTimer2(); });
}

WindowLink::~WindowLink() {
  m_window.setConnectHandler({});
  m_window.setSetFeatureHandler({});
  m_window.setTimer2RestartHook({});
  m_connection.reset();  // reading stops, devices are given back
  m_controller.reset();
}

}  // namespace ostrel

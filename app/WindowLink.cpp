#include "app/WindowLink.h"

#include <QApplication>
#include <QMessageBox>
#include <utility>

#include "app/MeterLink.h"
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
  callbacks.captionChanged = [&window](const std::string& caption) {
    window.setConnectCaption(QString::fromStdString(caption));
  };
  callbacks.showInfo = [&window](const std::string& message) {
    QMessageBox::information(&window, applicationTitle, QString::fromStdString(message));
  };
  m_link = std::make_unique<MeterLink>(*m_controller, window.link(), window.state().assembler,
                                       window.pipeline(), std::move(callbacks),
                                       [&window] { window.refreshMirror(); });
  window.setConnectCaption(QString::fromStdString(m_link->connection().caption()));
  window.setConnectHandler([this] { m_link->connection().Panel2Click(); });
  window.setSetFeatureHandler([this] { m_link->connection().SetFeatureClick(); });
}

WindowLink::~WindowLink() {
  m_window.setConnectHandler({});
  m_window.setSetFeatureHandler({});
  m_link.reset();  // reading stops, devices are given back
  m_controller.reset();
}

}  // namespace ostrel

#pragma once

#include <memory>
#include <string>

namespace ostrel {

class HidPlatform;
class MeterLink;
class TFrmTest;
class THidDeviceController;

// The meter link of the main window: the device controller on the given platform and the
// meter link (MeterLink: frames to the window's pipeline, its Timer2 hook back) wired to
// Panel2, the SetFeature button, the hidden link controls and the mirror, repainted after each
// frame. The window and the platform must outlive it; destroying it stops reading and gives the
// devices back, so it goes before the window and the platform.
// Main thread only.
class WindowLink {
 public:
  WindowLink(TFrmTest& window, HidPlatform& platform, const std::string& captionSuffix = {});
  ~WindowLink();
  WindowLink(const WindowLink&) = delete;
  WindowLink& operator=(const WindowLink&) = delete;

 private:
  TFrmTest& m_window;
  std::unique_ptr<THidDeviceController> m_controller;
  std::unique_ptr<MeterLink> m_link;
};

}  // namespace ostrel

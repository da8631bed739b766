#pragma once

#include <functional>
#include <memory>

#include "link/HidPlatform.h"

struct udev;
struct udev_monitor;
class QSocketNotifier;

namespace ostrel {

// HID on Linux: hidraw nodes listed and identified through libudev and sysfs, opened and sent
// feature reports through hidapi (hidraw backend), read from the hidraw node directly (only the
// main thread calls hidapi). Device-change notices come from a udev monitor
// of the hidraw subsystem whose socket the main thread's event loop watches. Create and destroy on
// the main thread, after the Qt application object.
class LinuxHidPlatform final : public HidPlatform {
 public:
  LinuxHidPlatform();
  ~LinuxHidPlatform() override;
  LinuxHidPlatform(const LinuxHidPlatform&) = delete;
  LinuxHidPlatform& operator=(const LinuxHidPlatform&) = delete;

  bool available() const override;
  // Every hidraw node, whatever its bus or interface number. The instance is the sequence number
  // the kernel gives each new HID device (the ".0007" of "0003:1A86:E008.0007"), so a re-plug gets
  // a new one.
  std::vector<HidInterface> listInterfaces() override;
  // ReadWrite opens the node through hidapi; QueryOnly reads identity and strings from udev and
  // sysfs without opening the node, so a device the user may not open can still be listed.
  std::unique_ptr<HidInfoHandle> open(const std::string& path, HidOpenMode mode) override;
  std::unique_ptr<HidReader> openReader(const std::string& path, std::uint32_t& error) override;
  void setDeviceChangeHandler(std::function<void()> handler) override;

 private:
  void onMonitorReadable();

  udev* m_udev = nullptr;
  udev_monitor* m_monitor = nullptr;
  std::unique_ptr<QSocketNotifier> m_notifier;
  std::function<void()> m_changeHandler;
  bool m_hidapiReady = false;
};

}  // namespace ostrel

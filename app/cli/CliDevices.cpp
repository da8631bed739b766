#include <QCoreApplication>
#include <cstdio>

#include "CliCommands.h"
#include "link/ConnectionControl.h"
#include "link/LinuxHidPlatform.h"
#include "link/THidDevice.h"
#include "link/THidDeviceController.h"

namespace ostrel::cli {

// One line per HID interface: its device list entry text, a tab, its path. The cable the window
// would select is marked with '*' in front.
int runDevices(const std::vector<std::string>& args) {
  if (!args.empty()) {
    std::fputs("usage: ostrel-cli devices\n", stderr);
    return 2;
  }
  int argc = 1;
  char name[] = "ostrel-cli";
  char* argv[] = {name, nullptr};
  const QCoreApplication app(argc, argv);
  LinuxHidPlatform platform;
  if (!platform.available()) {
    std::fputs("ostrel-cli devices: HID support is not available on this system\n", stderr);
    return 1;
  }
  THidDeviceController controller(platform);
  // A device's strings can be read only while it is checked out or inside a controller event, so
  // the entries are made inside OnEnumerate, as the window makes them.
  controller.SetOnEnumerate([](THidDevice& device, int /*Idx*/) {
    const std::string text = DeviceEntryText(device);
    std::printf("%s %s\t%s\n", text == cableEntryText ? "*" : " ", text.c_str(),
                device.PnPInfo().DevicePath.c_str());
    return true;
  });
  if (controller.EnumerateDevices() == 0) std::fputs("no HID devices found\n", stderr);
  return 0;
}

}  // namespace ostrel::cli

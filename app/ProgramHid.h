#pragma once

#include <memory>
#include <string>

#include "link/HidPlatform.h"

namespace ostrel {

// The HID side the window program runs on: the system's devices for ostrel, the virtual meter
// for ostrel-demo (each executable links one definition of makeProgramHid). Created after the
// application object; must outlive the link that uses its platform.
class ProgramHid {
 public:
  virtual ~ProgramHid() = default;
  virtual HidPlatform& platform() = 0;
  // Appended to the window's caption (" (virtual meter)" for the demonstration).
  [[nodiscard]] virtual std::string captionSuffix() const { return {}; }
};

std::unique_ptr<ProgramHid> makeProgramHid();

}  // namespace ostrel

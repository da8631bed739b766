// ostrel-demo: the desktop program with the virtual meter as its only HID device, for trying
// the program without a meter. Everything else is the program's own main().
#include "app/ProgramHid.h"
#include "sim/hid/SimHidPlatform.h"
#include "sim/meter/VirtualMeter.h"

namespace ostrel {

namespace {

class DemoProgramHid final : public ProgramHid {
 public:
  HidPlatform& platform() override { return m_platform; }
  [[nodiscard]] std::string captionSuffix() const override { return " (virtual meter)"; }

 private:
  SimHidPlatform m_platform;
  sim::VirtualMeter m_meter{m_platform};
};

}  // namespace

std::unique_ptr<ProgramHid> makeProgramHid() { return std::make_unique<DemoProgramHid>(); }

}  // namespace ostrel

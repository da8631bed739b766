#include "app/ProgramHid.h"
#include "link/LinuxHidPlatform.h"

namespace ostrel {

namespace {

class LinuxProgramHid final : public ProgramHid {
 public:
  HidPlatform& platform() override { return m_platform; }

 private:
  LinuxHidPlatform m_platform;
};

}  // namespace

std::unique_ptr<ProgramHid> makeProgramHid() { return std::make_unique<LinuxProgramHid>(); }

}  // namespace ostrel

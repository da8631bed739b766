// ostrel-demo: the desktop program with the virtual meter as its only HID device, for trying
// the program without a meter. Everything else is the program's own main(). Its one option,
// "--fast N", runs the virtual meter's clock N times faster (its timed test then lasts
// 10 minutes / N).
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "app/ProgramHid.h"
#include "sim/hid/SimHidPlatform.h"
#include "sim/meter/MeterScript.h"
#include "sim/meter/VirtualMeter.h"

namespace ostrel {

namespace {

// The clock speed the command line asks for: 1 without "--fast"; the usage and exit status 2
// for anything else.
int clockSpeedFromArguments() {
  const QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() <= 1) return 1;
  if (arguments.size() == 3 && arguments[1] == QLatin1String("--fast")) {
    const QByteArray text = arguments[2].toUtf8();
    if (const auto speed = sim::clockSpeedFromText(text.toStdString())) return *speed;
  }
  std::fprintf(stderr, "usage: ostrel-demo [--fast N]  (N from 1 to %d)\n", sim::maxClockSpeed);
  std::exit(2);
}

class DemoProgramHid final : public ProgramHid {
 public:
  explicit DemoProgramHid(int clockSpeed) : m_meter(m_platform, sim::demoSession(clockSpeed)) {}
  HidPlatform& platform() override { return m_platform; }
  [[nodiscard]] std::string captionSuffix() const override { return " (virtual meter)"; }

 private:
  SimHidPlatform m_platform;
  sim::VirtualMeter m_meter;
};

}  // namespace

std::unique_ptr<ProgramHid> makeProgramHid() {
  return std::make_unique<DemoProgramHid>(clockSpeedFromArguments());
}

}  // namespace ostrel

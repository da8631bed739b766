#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "link/LinuxHidPlatform.h"
#include "link/THidDevice.h"
#include "link/THidDeviceController.h"
#include "tests/link/LinkTestSupport.h"
#include "tests/link/UhidDevice.h"

namespace ostrel {
namespace {

using namespace std::chrono_literals;

// The cable's report descriptor: vendor page, no report IDs, 8-byte input and output, 5-byte
// feature.
constexpr std::array<std::uint8_t, 33> CableDescriptor = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF,
    0x00, 0x75, 0x08, 0x95, 0x08, 0x09, 0x02, 0x81, 0x02, 0x09, 0x02,
    0x95, 0x08, 0x91, 0x02, 0x09, 0x03, 0x95, 0x05, 0xB1, 0x02, 0xC0};

// Runs the real backend against a uhid device; skips where the machine has no /dev/uhid (run it as
// root on a machine or VM with the uhid module).
TEST(LinuxHidPlatform, ListsReadsAndConfiguresAUhidCable) {
  const auto cable = test::UhidDevice::create("USB to Serial", 0x1A86, 0xE008, CableDescriptor);
  if (!cable) {
    GTEST_SKIP() << "no /dev/uhid on this machine: the hidraw path cannot be exercised";
  }
  LinuxHidPlatform platform;
  ASSERT_TRUE(platform.available());
  THidDeviceController controller(platform);
  const auto findCable = [&controller]() -> int {
    controller.DeviceChange();
    for (int i = 0; i < controller.Count(); ++i) {
      const THidDevice* device = controller.Device(i);
      if (device->VendorID() == 0x1A86 && device->ProductID() == 0xE008) {
        return i;
      }
    }
    return -1;
  };
  int index = -1;
  ASSERT_TRUE(test::pumpUntil([&] { return (index = findCable()) >= 0; }));
  std::unique_ptr<THidDevice> device = controller.CheckOutDevice(index);
  ASSERT_NE(device, nullptr);
  EXPECT_TRUE(device->ReadWriteAccess());
  EXPECT_EQ(device->ProductString(), u"USB to Serial");
  EXPECT_EQ(device->SerialNumberString(), u"");  // made without a unique id (HID_UNIQ)

  const std::vector<std::uint8_t> lineSettings{0x00, 0x60, 0x09, 0x00, 0x00, 0x03, 0, 0, 0, 0};
  EXPECT_TRUE(device->SendFeature(lineSettings));
  ASSERT_EQ(cable->featureReports().size(), 1U);
  EXPECT_EQ(cable->featureReports()[0], lineSettings);

  std::vector<std::vector<std::uint8_t>> reports;
  device->SetDataHandler(
      [&](THidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
        std::vector<std::uint8_t> report{id};
        report.insert(report.end(), data, data + size);
        reports.push_back(report);
      });
  ASSERT_TRUE(test::pumpUntil([&] {
    cable->sendInput(std::vector<std::uint8_t>{0xF2, 0x0D, 0x0A, 0, 0, 0, 0, 0});
    return !reports.empty();
  }));
  EXPECT_EQ(reports[0], (std::vector<std::uint8_t>{0x00, 0xF2, 0x0D, 0x0A, 0, 0, 0, 0, 0}));
  device->SetDataHandler({});
}

}  // namespace
}  // namespace ostrel

#include <gtest/gtest.h>
#include <linux/input.h>

#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fstream>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "link/LinuxHidPlatform.h"
#include "link/THidDevice.h"
#include "link/THidDeviceController.h"
#include "sim/uhid/CableDescriptor.h"
#include "sim/uhid/UhidDevice.h"
#include "tests/link/LinkTestSupport.h"

namespace ostrel {
namespace {

using namespace std::chrono_literals;

// The cable as a kernel HID device on /dev/uhid: the real hidraw path without hardware. It
// has no USB parent (a virtual bus), so udev names it from HID_NAME. It answers the host's
// feature requests on a thread of its own, keeping what each SET_REPORT carried, and refuses
// GET_REPORT (EIO): a request never leaves the host waiting.
class AnsweringCable {
 public:
  // nullptr when /dev/uhid cannot be used (no uhid module, no rights).
  static std::unique_ptr<AnsweringCable> plug() {
    std::unique_ptr<AnsweringCable> cable;
    try {
      cable.reset(new AnsweringCable);
      cable->m_device.create(
          {uhid::cableName, BUS_VIRTUAL, uhid::cableVendorId, uhid::cableProductId, ""},
          uhid::cableReportDescriptor);
    } catch (const std::system_error&) {
      return nullptr;
    }
    cable->m_responder = std::thread([raw = cable.get()] { raw->answerRequests(); });
    return cable;
  }

  ~AnsweringCable() {
    m_stop = true;
    if (m_responder.joinable()) m_responder.join();
  }
  AnsweringCable(const AnsweringCable&) = delete;
  AnsweringCable& operator=(const AnsweringCable&) = delete;

  void sendInput(std::span<const std::uint8_t> report) { m_device.sendInput(report); }

  std::vector<std::vector<std::uint8_t>> featureReports() const {
    const std::lock_guard lock(m_mutex);
    return m_features;
  }

 private:
  AnsweringCable() = default;

  // Ends at the destructor, or when /dev/uhid fails: the test then sees no answer.
  void answerRequests() {
    try {
      while (!m_stop) {
        if (const auto event = m_device.waitEvent(20ms)) answer(*event);
      }
    } catch (const std::system_error&) {
    }
  }

  void answer(const uhid_event& event) {
    if (event.type == UHID_SET_REPORT) {
      const auto& request = event.u.set_report;
      const std::size_t size = std::min<std::size_t>(request.size, sizeof(request.data));
      {
        const std::lock_guard lock(m_mutex);
        m_features.emplace_back(request.data, request.data + size);
      }
      m_device.replySetReport(request.id, 0);
    } else if (event.type == UHID_GET_REPORT) {
      m_device.replyGetReport(event.u.get_report.id, EIO, {});
    }
  }

  uhid::UhidDevice m_device;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::vector<std::vector<std::uint8_t>> m_features;
  std::thread m_responder;
};

// Runs the real backend against a uhid device; skips where the machine has no /dev/uhid (run it as
// root on a machine or VM with the uhid module).
TEST(LinuxHidPlatform, ListsReadsAndConfiguresAUhidCable) {
  const auto cable = AnsweringCable::plug();
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

// The cable has no numbered reports: hidraw hands its reports over without an ID byte, and the
// reader puts the ID 0 in front, as every reader hands reports out. A plain file in a private
// folder stands in for the node (one report to read, then nothing), so this runs without
// /dev/uhid; its name has no hidraw entry in sysfs, so it has no report descriptor, as a device
// without numbered reports has no Report ID item.
TEST(LinuxHidPlatform, AReportWithoutNumberGetsTheIdZeroInFront) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string node = folder.filePath(QStringLiteral("cable-report-stand-in")).toStdString();
  const std::vector<std::uint8_t> wire{0xF2, 0x0D, 0x0A, 0, 0, 0, 0, 0};
  std::ofstream(node, std::ios::binary)
      .write(reinterpret_cast<const char*>(wire.data()), static_cast<std::streamsize>(wire.size()));

  LinuxHidPlatform platform;
  std::uint32_t error = 1;
  const std::unique_ptr<HidReader> reader = platform.openReader(node, error);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(error, 0U);
  std::vector<std::uint8_t> buffer(9, 0xEE);  // the cable's input report length, ID included
  const std::stop_source stop;
  const HidReadResult read = reader->read(buffer, 20ms, stop.get_token());
  EXPECT_EQ(read.error, 0U);
  ASSERT_EQ(read.bytes, 9U);
  EXPECT_EQ(buffer, (std::vector<std::uint8_t>{0x00, 0xF2, 0x0D, 0x0A, 0, 0, 0, 0, 0}));
  EXPECT_EQ(reader->read(buffer, 20ms, stop.get_token()).bytes, 0U) << "one report, read once";
}

}  // namespace
}  // namespace ostrel

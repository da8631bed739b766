#include "link/LinuxHidPlatform.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QString>
#include <array>
#include <cerrno>
#include <utility>

#include "base/UniqueFd.h"
#include "link/HidReportDescriptor.h"
#include "link/LinuxHidIdentity.h"

namespace ostrel {

namespace {

constexpr std::size_t stringBufferUnits = 256;

struct HidDeviceClose {
  void operator()(hid_device* device) const { hid_close(device); }
};
using HidDevicePtr = std::unique_ptr<hid_device, HidDeviceClose>;

std::optional<std::u16string> hidapiString(int result,
                                           const std::array<wchar_t, stringBufferUnits>& buffer) {
  if (result < 0) {
    return std::nullopt;
  }
  return QString::fromWCharArray(buffer.data()).toStdU16String();
}

// hidapi finds no strings for a device without a USB parent (uhid, for one); udev's name then
// stands.
std::optional<std::u16string> orFromUdev(std::optional<std::u16string> fromHidapi,
                                         const std::u16string& fromUdev) {
  if (fromHidapi && !fromHidapi->empty()) {
    return fromHidapi;
  }
  return fromUdev.empty() ? fromHidapi : std::optional<std::u16string>(fromUdev);
}

// Info handle of a node opened read-write: strings and feature reports through hidapi.
class HidapiInfoHandle final : public HidInfoHandle {
 public:
  HidapiInfoHandle(HidDevicePtr device, LinuxHidIdentity identity, std::string path)
      : m_device(std::move(device)), m_identity(std::move(identity)), m_path(std::move(path)) {}

  std::optional<HidAttributes> attributes() override { return m_identity.attributes; }
  std::optional<std::u16string> productString() override {
    std::array<wchar_t, stringBufferUnits> buffer{};
    return orFromUdev(
        hidapiString(hid_get_product_string(m_device.get(), buffer.data(), buffer.size() - 1),
                     buffer),
        m_identity.product);
  }
  std::optional<std::u16string> serialNumberString() override {
    std::array<wchar_t, stringBufferUnits> buffer{};
    return orFromUdev(
        hidapiString(hid_get_serial_number_string(m_device.get(), buffer.data(), buffer.size() - 1),
                     buffer),
        m_identity.serial);
  }
  // hidapi takes the serial on hidraw from the kernel's HID_UNIQ; udev's comes from the kernel too.
  HidSerialSource serialSource() override { return HidSerialSource::SystemRecord; }
  // hidraw has no way to ask for string 0 (the language list): this answers nullopt there.
  std::optional<std::u16string> indexedString(int index) override {
    std::array<wchar_t, stringBufferUnits> buffer{};
    return hidapiString(
        hid_get_indexed_string(m_device.get(), index, buffer.data(), buffer.size() - 1), buffer);
  }
  bool sendFeature(std::span<const std::uint8_t> report) override {
    return !report.empty() &&
           hid_send_feature_report(m_device.get(), report.data(), report.size()) >= 0;
  }
  std::size_t inputReportLength() override {
    return parseReportDescriptor(readReportDescriptor(m_path)).input;
  }

 private:
  HidDevicePtr m_device;
  LinuxHidIdentity m_identity;
  std::string m_path;
};

// Info handle that never opens the node: identity and strings as udev and sysfs give them.
class SysfsInfoHandle final : public HidInfoHandle {
 public:
  SysfsInfoHandle(LinuxHidIdentity identity, std::string path)
      : m_identity(std::move(identity)), m_path(std::move(path)) {}

  std::optional<HidAttributes> attributes() override { return m_identity.attributes; }
  std::optional<std::u16string> productString() override { return m_identity.product; }
  std::optional<std::u16string> serialNumberString() override { return m_identity.serial; }
  HidSerialSource serialSource() override { return HidSerialSource::SystemRecord; }
  std::optional<std::u16string> indexedString(int /*index*/) override { return std::nullopt; }
  bool sendFeature(std::span<const std::uint8_t> /*report*/) override { return false; }
  std::size_t inputReportLength() override {
    return parseReportDescriptor(readReportDescriptor(m_path)).input;
  }

 private:
  LinuxHidIdentity m_identity;
  std::string m_path;
};

// The read handle: the hidraw node itself, read without blocking after poll(), so that a wake-up
// descriptor can end the wait the moment a stop is requested (hidapi's timed read cannot be
// interrupted, and a stop would wait for its whole slice).
// hidraw delivers reports of a device without numbered reports without their ID byte; the ID 0 is
// put back in front so that every reader hands out byte 0 = report ID.
class HidrawReader final : public HidReader {
 public:
  HidrawReader(UniqueFd node, UniqueFd wake, bool numberedReports)
      : m_node(std::move(node)), m_wake(std::move(wake)), m_numbered(numberedReports) {}

  HidReadResult read(std::span<std::uint8_t> buffer, std::chrono::milliseconds slice,
                     std::stop_token stop) override {
    if (buffer.empty() || (!m_numbered && buffer.size() < 2)) {
      return {0, EINVAL};
    }
    // Runs on the thread that requests the stop; eventfd writes are async-signal-safe and never
    // block for a counter this small.
    const std::stop_callback wakeOnStop(stop, [fd = m_wake.get()] {
      const std::uint64_t one = 1;
      [[maybe_unused]] const auto written = ::write(fd, &one, sizeof one);
    });
    if (stop.stop_requested()) {
      return {};
    }
    std::array<pollfd, 2> fds{pollfd{m_node.get(), POLLIN, 0}, pollfd{m_wake.get(), POLLIN, 0}};
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(slice.count()));
    if (ready < 0) {
      return errno == EINTR ? HidReadResult{} : HidReadResult{0, static_cast<std::uint32_t>(errno)};
    }
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      return {0, EIO};  // the device is gone
    }
    if (ready == 0 || !(fds[0].revents & POLLIN)) {
      return {};  // the slice ended, or a stop was requested
    }
    const std::span<std::uint8_t> target = m_numbered ? buffer : buffer.subspan(1);
    const ssize_t count = ::read(m_node.get(), target.data(), target.size());
    if (count < 0) {
      return errno == EAGAIN || errno == EINTR
                 ? HidReadResult{}
                 : HidReadResult{0, static_cast<std::uint32_t>(errno)};
    }
    if (count == 0) {
      return {};
    }
    if (!m_numbered) {
      buffer[0] = 0;
      return {static_cast<std::size_t>(count) + 1, 0};
    }
    return {static_cast<std::size_t>(count), 0};
  }

 private:
  UniqueFd m_node;
  UniqueFd m_wake;
  bool m_numbered;
};

}  // namespace

LinuxHidPlatform::LinuxHidPlatform() : m_udev(udev_new()), m_hidapiReady(hid_init() == 0) {
  if (m_udev == nullptr) {
    return;
  }
  m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
  if (m_monitor != nullptr &&
      udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) == 0 &&
      udev_monitor_enable_receiving(m_monitor) == 0) {
    m_notifier =
        std::make_unique<QSocketNotifier>(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { onMonitorReadable(); });
  }
}

LinuxHidPlatform::~LinuxHidPlatform() {
  m_notifier.reset();
  if (m_monitor != nullptr) {
    udev_monitor_unref(m_monitor);
  }
  if (m_udev != nullptr) {
    udev_unref(m_udev);
  }
  if (m_hidapiReady) {
    hid_exit();
  }
}

bool LinuxHidPlatform::available() const { return m_udev != nullptr && m_hidapiReady; }

std::vector<HidInterface> LinuxHidPlatform::listInterfaces() {
  std::vector<HidInterface> interfaces;
  if (!available()) {
    return interfaces;
  }
  udev_enumerate* enumerate = udev_enumerate_new(m_udev);
  udev_enumerate_add_match_subsystem(enumerate, "hidraw");
  udev_enumerate_scan_devices(enumerate);
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
    udev_device* node = udev_device_new_from_syspath(m_udev, udev_list_entry_get_name(entry));
    if (node == nullptr) {
      continue;
    }
    if (const char* devnode = udev_device_get_devnode(node)) {
      if (const auto identity = readLinuxHidIdentity(m_udev, devnode)) {
        interfaces.push_back({devnode, identity->instance});
      }
    }
    udev_device_unref(node);
  }
  udev_enumerate_unref(enumerate);
  return interfaces;
}

std::unique_ptr<HidInfoHandle> LinuxHidPlatform::open(const std::string& path, HidOpenMode mode) {
  auto identity = readLinuxHidIdentity(m_udev, path);
  if (!identity) {
    return nullptr;
  }
  if (mode == HidOpenMode::QueryOnly) {
    return std::make_unique<SysfsInfoHandle>(std::move(*identity), path);
  }
  HidDevicePtr device(hid_open_path(path.c_str()));
  if (!device) {
    return nullptr;
  }
  return std::make_unique<HidapiInfoHandle>(std::move(device), std::move(*identity), path);
}

std::unique_ptr<HidReader> LinuxHidPlatform::openReader(const std::string& path,
                                                        std::uint32_t& error) {
  UniqueFd node(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!node.valid()) {
    error = errno != 0 ? static_cast<std::uint32_t>(errno) : static_cast<std::uint32_t>(ENODEV);
    return nullptr;
  }
  UniqueFd wake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!wake.valid()) {
    error = static_cast<std::uint32_t>(errno);
    return nullptr;
  }
  error = 0;
  const bool numbered = parseReportDescriptor(readReportDescriptor(path)).numberedReports;
  return std::make_unique<HidrawReader>(std::move(node), std::move(wake), numbered);
}

void LinuxHidPlatform::setDeviceChangeHandler(std::function<void()> handler) {
  m_changeHandler = std::move(handler);
}

void LinuxHidPlatform::onMonitorReadable() {
  bool changed = false;
  while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
    const std::string action =
        udev_device_get_action(device) != nullptr ? udev_device_get_action(device) : "";
    changed = changed || action == "add" || action == "remove";
    udev_device_unref(device);
  }
  if (changed && m_changeHandler) {
    const auto handler = m_changeHandler;
    handler();
  }
}

}  // namespace ostrel

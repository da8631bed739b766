#include "sim/hid/SimHidPlatform.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <algorithm>
#include <cerrno>

namespace ostrel {

// Info handle of a virtual interface; answers only while the instance it was opened on is plugged.
class SimHidPlatform::InfoHandle final : public HidInfoHandle {
 public:
  InfoHandle(SimHidPlatform& platform, DeviceId id, std::uint32_t instance, bool readWrite)
      : m_platform(platform), m_id(id), m_instance(instance), m_readWrite(readWrite) {}

  std::optional<HidAttributes> attributes() override {
    return ask<HidAttributes>([](const Device& d) {
      return d.spec.identifiable ? std::optional<HidAttributes>(d.spec.attributes) : std::nullopt;
    });
  }
  std::optional<std::u16string> productString() override {
    return ask<std::u16string>([](const Device& d) { return d.spec.product; });
  }
  std::optional<std::u16string> serialNumberString() override {
    return ask<std::u16string>([](const Device& d) { return d.spec.serial; });
  }
  HidSerialSource serialSource() override {
    const std::lock_guard lock(m_platform.m_mutex);
    return m_platform.m_devices.at(m_id).spec.serialSource;
  }
  std::optional<std::u16string> indexedString(int index) override {
    return ask<std::u16string>(
        [index](const Device& d) { return index == 0 ? d.spec.string0 : std::nullopt; });
  }
  bool sendFeature(std::span<const std::uint8_t> report) override {
    const std::lock_guard lock(m_platform.m_mutex);
    Device* device = current();
    if (device == nullptr || !m_readWrite || report.empty()) {
      return false;
    }
    device->featureLog.emplace_back(report.begin(), report.end());
    return true;
  }
  std::size_t inputReportLength() override {
    const std::lock_guard lock(m_platform.m_mutex);
    const Device* device = current();
    return device == nullptr ? 0 : device->spec.inputReportLength;
  }

 private:
  Device* current() {
    auto found = m_platform.m_devices.find(m_id);
    return found != m_platform.m_devices.end() && found->second.plugged &&
                   found->second.instance == m_instance
               ? &found->second
               : nullptr;
  }
  template <typename T, typename Query>
  std::optional<T> ask(Query query) {
    const std::lock_guard lock(m_platform.m_mutex);
    const Device* device = current();
    return device == nullptr ? std::nullopt : query(*device);
  }

  SimHidPlatform& m_platform;
  DeviceId m_id;
  std::uint32_t m_instance;
  bool m_readWrite;
};

// Reader of a virtual interface: blocks like a real read until a report is queued, the slice ends
// or the device goes away.
class SimHidPlatform::Reader final : public HidReader {
 public:
  Reader(SimHidPlatform& platform, DeviceId id, std::uint32_t instance)
      : m_platform(platform), m_id(id), m_instance(instance) {}
  ~Reader() override {
    const std::lock_guard lock(m_platform.m_mutex);
    --m_platform.m_devices.at(m_id).openReaders;
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  HidReadResult read(std::span<std::uint8_t> buffer, std::chrono::milliseconds slice,
                     std::stop_token stop) override {
    ReportFeeder feeder;
    {
      std::unique_lock lock(m_platform.m_mutex);
      Device& device = m_platform.m_devices.at(m_id);
      if (device.failReads > 0) {
        --device.failReads;
        return {0, device.failReadError};
      }
      if (device.reports.empty() && device.feeder && !stop.stop_requested()) {
        feeder = device.feeder;
        ++device.feederCalls;
      }
    }
    if (feeder) {
      auto report = feeder(slice, stop);
      {
        const std::lock_guard lock(m_platform.m_mutex);
        --m_platform.m_devices.at(m_id).feederCalls;
      }
      m_platform.m_reportsChanged.notify_all();
      if (report) {
        return copy(*report, buffer);
      }
    }
    std::unique_lock lock(m_platform.m_mutex);
    Device& device = m_platform.m_devices.at(m_id);
    m_platform.m_reportsChanged.wait_for(lock, stop, slice,
                                         [&] { return gone(device) || !device.reports.empty(); });
    if (stop.stop_requested() && !gone(device)) {
      return {};
    }
    if (gone(device)) {
      return {0, ENODEV};
    }
    if (device.reports.empty()) {
      return {};
    }
    std::vector<std::uint8_t> report = std::move(device.reports.front());
    device.reports.pop_front();
    return copy(report, buffer);
  }

 private:
  bool gone(const Device& device) const { return !device.plugged || device.instance != m_instance; }
  static HidReadResult copy(const std::vector<std::uint8_t>& report,
                            std::span<std::uint8_t> buffer) {
    const std::size_t bytes = std::min(report.size(), buffer.size());
    std::copy_n(report.begin(), bytes, buffer.begin());
    return {bytes, 0};
  }

  SimHidPlatform& m_platform;
  DeviceId m_id;
  std::uint32_t m_instance;
};

SimHidPlatform::SimHidPlatform() : m_noticeContext(std::make_unique<QObject>()) {}

SimHidPlatform::~SimHidPlatform() = default;

SimHidPlatform::DeviceId SimHidPlatform::addDevice(SimHidDeviceSpec spec, bool plugged) {
  DeviceId id = 0;
  {
    const std::lock_guard lock(m_mutex);
    id = m_nextId++;
    if (spec.path.empty()) {
      spec.path = "sim-hid-" + std::to_string(id);
    }
    m_devices[id].spec = std::move(spec);
  }
  if (plugged) {
    plug(id);
  }
  return id;
}

void SimHidPlatform::plug(DeviceId id) {
  {
    const std::lock_guard lock(m_mutex);
    Device& device = m_devices.at(id);
    device.plugged = true;
    device.instance = m_nextInstance++;
  }
  postChangeNotice();
}

void SimHidPlatform::unplug(DeviceId id) {
  {
    const std::lock_guard lock(m_mutex);
    Device& device = m_devices.at(id);
    device.plugged = false;
    device.reports.clear();
  }
  m_reportsChanged.notify_all();
  postChangeNotice();
}

void SimHidPlatform::setReadWrite(DeviceId id, bool readWrite) {
  const std::lock_guard lock(m_mutex);
  m_devices.at(id).spec.readWrite = readWrite;
}

void SimHidPlatform::pushInputReport(DeviceId id, std::vector<std::uint8_t> report) {
  {
    const std::lock_guard lock(m_mutex);
    Device& device = m_devices.at(id);
    const bool full =
        device.spec.reportQueueLimit != 0 && device.reports.size() >= device.spec.reportQueueLimit;
    if (device.plugged && full) {
      ++device.droppedReports;
    } else if (device.plugged) {
      device.reports.push_back(std::move(report));
    }
  }
  m_reportsChanged.notify_all();
}

void SimHidPlatform::setReportFeeder(DeviceId id, ReportFeeder feeder) {
  std::unique_lock lock(m_mutex);
  Device& device = m_devices.at(id);
  device.feeder = std::move(feeder);
  // The old feeder's owner may go away next: no call of it may still be running.
  m_reportsChanged.wait(lock, [&device] { return device.feederCalls == 0; });
}

void SimHidPlatform::failReaderOpens(DeviceId id, int count, std::uint32_t error) {
  const std::lock_guard lock(m_mutex);
  m_devices.at(id).failOpens = count;
  m_devices.at(id).failOpenError = error;
}

void SimHidPlatform::failReads(DeviceId id, int count, std::uint32_t error) {
  const std::lock_guard lock(m_mutex);
  m_devices.at(id).failReads = count;
  m_devices.at(id).failReadError = error;
}

std::vector<std::vector<std::uint8_t>> SimHidPlatform::featureLog(DeviceId id) const {
  const std::lock_guard lock(m_mutex);
  return m_devices.at(id).featureLog;
}

std::size_t SimHidPlatform::featureCount(DeviceId id) const {
  const std::lock_guard lock(m_mutex);
  return m_devices.at(id).featureLog.size();
}

std::vector<std::uint8_t> SimHidPlatform::lastFeature(DeviceId id) const {
  const std::lock_guard lock(m_mutex);
  const auto& log = m_devices.at(id).featureLog;
  return log.empty() ? std::vector<std::uint8_t>{} : log.back();
}

std::uint32_t SimHidPlatform::instance(DeviceId id) const {
  const std::lock_guard lock(m_mutex);
  return m_devices.at(id).instance;
}

const std::string& SimHidPlatform::path(DeviceId id) const {
  const std::lock_guard lock(m_mutex);
  return m_devices.at(id).spec.path;
}

std::size_t SimHidPlatform::queuedReports(DeviceId id) const {
  const std::lock_guard lock(m_mutex);
  return m_devices.at(id).reports.size();
}

std::size_t SimHidPlatform::droppedReports(DeviceId id) const {
  const std::lock_guard lock(m_mutex);
  return m_devices.at(id).droppedReports;
}

int SimHidPlatform::openReaders(DeviceId id) const {
  const std::lock_guard lock(m_mutex);
  return m_devices.at(id).openReaders;
}

int SimHidPlatform::readerOpenAttempts(DeviceId id) const {
  const std::lock_guard lock(m_mutex);
  return m_devices.at(id).openAttempts;
}

std::vector<HidInterface> SimHidPlatform::listInterfaces() {
  const std::lock_guard lock(m_mutex);
  std::vector<HidInterface> interfaces;
  for (const auto& [id, device] : m_devices) {
    if (device.plugged) {
      interfaces.push_back({device.spec.path, device.instance});
    }
  }
  return interfaces;
}

SimHidPlatform::Device* SimHidPlatform::findPlugged(const std::string& path) {
  const auto found = std::find_if(m_devices.begin(), m_devices.end(), [&path](const auto& entry) {
    return entry.second.plugged && entry.second.spec.path == path;
  });
  return found == m_devices.end() ? nullptr : &found->second;
}

std::unique_ptr<HidInfoHandle> SimHidPlatform::open(const std::string& path, HidOpenMode mode) {
  const std::lock_guard lock(m_mutex);
  const Device* device = findPlugged(path);
  const bool readWrite = mode == HidOpenMode::ReadWrite;
  if (device == nullptr || !device->spec.openable || (readWrite && !device->spec.readWrite)) {
    return nullptr;
  }
  const auto found = std::find_if(m_devices.begin(), m_devices.end(),
                                  [device](const auto& e) { return &e.second == device; });
  return std::make_unique<InfoHandle>(*this, found->first, device->instance, readWrite);
}

std::unique_ptr<HidReader> SimHidPlatform::openReader(const std::string& path,
                                                      std::uint32_t& error) {
  const std::lock_guard lock(m_mutex);
  Device* device = findPlugged(path);
  error = 0;
  if (device == nullptr) {
    error = ENOENT;
    return nullptr;
  }
  ++device->openAttempts;
  if (device->failOpens > 0) {
    --device->failOpens;
    error = device->failOpenError;
    return nullptr;
  }
  if (!device->spec.openable || !device->spec.readWrite) {
    error = EACCES;
    return nullptr;
  }
  ++device->openReaders;
  const auto found = std::find_if(m_devices.begin(), m_devices.end(),
                                  [device](const auto& e) { return &e.second == device; });
  return std::make_unique<Reader>(*this, found->first, device->instance);
}

void SimHidPlatform::setDeviceChangeHandler(std::function<void()> handler) {
  m_changeHandler = std::move(handler);
}

void SimHidPlatform::postChangeNotice() {
  // Queued like the real notice; dropped when the platform goes first.
  QMetaObject::invokeMethod(
      m_noticeContext.get(),
      [this] {
        if (const auto handler = m_changeHandler) {
          handler();
        }
      },
      Qt::QueuedConnection);
}

}  // namespace ostrel

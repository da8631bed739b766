#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "link/HidPlatform.h"

class QObject;

namespace ostrel {

// How a virtual HID interface presents itself.
struct SimHidDeviceSpec {
  std::string path;  // empty: "sim-hid-<id>"
  HidAttributes attributes;
  std::optional<std::u16string> product = std::u16string{};  // nullopt: the request fails
  std::optional<std::u16string> serial;                      // nullopt: the request fails
  std::optional<std::u16string> string0;                     // language list; nullopt as on hidraw
  HidSerialSource serialSource = HidSerialSource::DeviceRequest;  // SystemRecord as on hidraw
  bool readWrite = true;              // false: only query-only opens succeed
  bool openable = true;               // false: no open succeeds at all
  bool identifiable = true;           // false: attributes cannot be read
  std::size_t inputReportLength = 9;  // report ID byte included
  // Reports queued and not yet read, at most; a report pushed onto a full queue is dropped, as
  // the kernel's hidraw queue (64 reports) drops the newest. 0: no limit.
  std::size_t reportQueueLimit = 0;
};

// A HID platform of virtual interfaces for tests and the virtual meter.
// Main thread: adding, plugging, unplugging, and the device-change notices, which are posted to the
// main thread's Qt event loop (process events to see them). Any thread: pushInputReport() and the
// failure switches; the readers run on read threads. The platform must outlive every handle, reader
// and device object made from it.
class SimHidPlatform final : public HidPlatform {
 public:
  using DeviceId = int;
  // Called on the read thread whenever a read finds the report queue empty; returns one report
  // (byte 0 the report ID) or nullopt, and may wait up to `slice` (e.g. to pace reports every 12
  // ms), returning early once `stop` (the read's stop request) is set, as a real read does.
  using ReportFeeder = std::function<std::optional<std::vector<std::uint8_t>>(
      std::chrono::milliseconds slice, std::stop_token stop)>;

  SimHidPlatform();
  ~SimHidPlatform() override;
  SimHidPlatform(const SimHidPlatform&) = delete;
  SimHidPlatform& operator=(const SimHidPlatform&) = delete;

  // Adds an interface, plugged in (with a change notice) unless `plugged` is false.
  DeviceId addDevice(SimHidDeviceSpec spec, bool plugged = true);
  // Each plug gives the interface a new instance identity. Both post a change notice.
  void plug(DeviceId id);
  // Ends outstanding reads with ENODEV and drops queued reports.
  void unplug(DeviceId id);
  void setReadWrite(DeviceId id, bool readWrite);
  void setAvailable(bool available) { m_available = available; }

  // Queues one input report, byte 0 the report ID (a longer report is cut to the reader's buffer).
  void pushInputReport(DeviceId id, std::vector<std::uint8_t> report);
  // Returns once no call of the previous feeder is running any more, so its owner may then go.
  void setReportFeeder(DeviceId id, ReportFeeder feeder);
  // The next `count` reader opens fail with `error`.
  void failReaderOpens(DeviceId id, int count, std::uint32_t error);
  // The next `count` reads fail with `error` (the reader is then closed by its thread).
  void failReads(DeviceId id, int count, std::uint32_t error);

  // Feature reports sent to the interface, oldest first, each with its report ID byte.
  std::vector<std::vector<std::uint8_t>> featureLog(DeviceId id) const;
  // The log's length and its newest entry (empty when none), without copying the log: for
  // a peer that looks at every report, however long the link has been retrying.
  std::size_t featureCount(DeviceId id) const;
  std::vector<std::uint8_t> lastFeature(DeviceId id) const;
  std::uint32_t instance(DeviceId id) const;
  const std::string& path(DeviceId id) const;
  // Input reports queued and not yet read.
  std::size_t queuedReports(DeviceId id) const;
  // Reports dropped because the queue was full (see reportQueueLimit).
  std::size_t droppedReports(DeviceId id) const;
  // Readers now open on the interface (0 or 1 when one thread reads it).
  int openReaders(DeviceId id) const;
  // Reader opens attempted so far, failed ones included.
  int readerOpenAttempts(DeviceId id) const;

  bool available() const override { return m_available; }
  std::vector<HidInterface> listInterfaces() override;
  std::unique_ptr<HidInfoHandle> open(const std::string& path, HidOpenMode mode) override;
  std::unique_ptr<HidReader> openReader(const std::string& path, std::uint32_t& error) override;
  void setDeviceChangeHandler(std::function<void()> handler) override;

 private:
  class InfoHandle;
  class Reader;
  friend class InfoHandle;
  friend class Reader;

  struct Device {
    SimHidDeviceSpec spec;
    bool plugged = false;
    std::uint32_t instance = 0;
    std::deque<std::vector<std::uint8_t>> reports;
    ReportFeeder feeder;
    std::vector<std::vector<std::uint8_t>> featureLog;
    int failOpens = 0;
    std::uint32_t failOpenError = 0;
    int failReads = 0;
    std::uint32_t failReadError = 0;
    int openReaders = 0;
    int openAttempts = 0;
    std::size_t droppedReports = 0;
    int feederCalls = 0;  // feeder calls running on read threads
  };

  Device* findPlugged(const std::string& path);
  void postChangeNotice();

  mutable std::mutex m_mutex;
  std::condition_variable_any m_reportsChanged;  // waits end early on a read's stop request
  std::map<DeviceId, Device> m_devices;
  DeviceId m_nextId = 1;
  std::uint32_t m_nextInstance = 1;
  bool m_available = true;
  std::function<void()> m_changeHandler;  // main thread only
  std::unique_ptr<QObject> m_noticeContext;
};

}  // namespace ostrel

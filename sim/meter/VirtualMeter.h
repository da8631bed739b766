#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <vector>

#include "sim/frames/FrameBuilder.h"
#include "sim/hid/SimHidPlatform.h"

namespace ostrel::sim {

// A meter behind its USB to Serial bridge (1a86:e008, product "USB to Serial") on the simulated
// HID platform. It sends nothing until the bridge received the 2400-baud line settings since the
// last plug; then it plays its frames over and over, each packed into 8-byte input reports and
// followed by reports without data, one report every 12 ms (the pace of the 2400-baud line).
//
// Thread affinity: construction, plug(), unplug() on the main thread (platform rule); the report
// feeder runs on the device's read thread; setSilent() and sendGarbage() from any thread. The
// platform must outlive the meter. The meter may go while its device is still being read (a test
// that ends early leaves the link running): its destruction waits for the report under way and
// detaches it from the device, whose reads then find nothing.
class VirtualMeter {
 public:
  static constexpr std::chrono::milliseconds reportPeriod{12};
  // Reports per frame period: the data reports and the idle ones after them (~250 ms).
  static constexpr std::size_t reportsPerFrame = 20;

  // frames empty: demoSession().
  explicit VirtualMeter(SimHidPlatform& platform, std::vector<FrameBuilder::Frame> frames = {});
  ~VirtualMeter();
  VirtualMeter(const VirtualMeter&) = delete;
  VirtualMeter& operator=(const VirtualMeter&) = delete;

  [[nodiscard]] SimHidPlatform::DeviceId deviceId() const { return m_id; }
  void unplug();
  void plug();
  // A silent meter sends no reports at all (as when it is switched off).
  void setSilent(bool silent) { m_silent = silent; }
  // An idle meter's bridge keeps sending, but only reports without data (the meter's line is
  // quiet). Frames resume where they stopped.
  void setIdleOnly(bool idleOnly) { m_idleOnly = idleOnly; }
  // The next `count` frames go out damaged (their end bytes wrong), as line noise would.
  void sendGarbage(int count) { m_garbageFrames = count; }
  // Frames whose sending has begun so far.
  [[nodiscard]] int framesSent() const { return m_framesSent; }

 private:
  std::optional<std::vector<std::uint8_t>> nextReport(std::chrono::milliseconds slice,
                                                      const std::stop_token& stop);
  [[nodiscard]] bool lineConfigured() const;
  void beginFrame();

  SimHidPlatform& m_platform;
  std::vector<FrameBuilder::Frame> m_frames;
  SimHidPlatform::DeviceId m_id = 0;
  std::atomic<bool> m_plugged{true};
  std::atomic<bool> m_silent{false};
  std::atomic<bool> m_idleOnly{false};
  std::atomic<int> m_garbageFrames{0};
  std::atomic<int> m_framesSent{0};
  std::atomic<std::size_t> m_featuresAtPlug{0};
  // Read thread only:
  std::mutex m_streamMutex;  // a new read thread may start while the old one ends
  std::size_t m_frameIndex = 0;
  std::vector<std::vector<std::uint8_t>> m_pending;  // reports of the frame period under way
  std::size_t m_nextPending = 0;
  std::chrono::steady_clock::time_point m_nextDue{};
};

}  // namespace ostrel::sim

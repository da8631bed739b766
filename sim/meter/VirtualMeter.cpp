#include "sim/meter/VirtualMeter.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "sim/frames/ReportStream.h"
#include "sim/meter/MeterScript.h"

namespace ostrel::sim {

namespace {

// The bridge's line settings for 2400 baud, as its feature report (report ID first).
constexpr std::array<std::uint8_t, 10> lineSettings2400 = {0x00, 0x60, 0x09, 0x00, 0x00,
                                                           0x03, 0x00, 0x00, 0x00, 0x00};

SimHidDeviceSpec bridgeSpec() {
  SimHidDeviceSpec spec;
  spec.path = "sim-hid-virtual-meter";
  spec.attributes = {0x1A86, 0xE008, 0x0100};
  spec.product = u"USB to Serial";
  spec.inputReportLength = 9;
  return spec;
}

// Waits until `deadline`; a stop request of the read ends the wait early (false).
bool waitUntil(std::chrono::steady_clock::time_point deadline, const std::stop_token& stop) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_until(lock, stop, deadline, [] { return false; });
  return !stop.stop_requested();
}

}  // namespace

VirtualMeter::VirtualMeter(SimHidPlatform& platform, std::vector<FrameBuilder::Frame> frames)
    : m_platform(platform), m_frames(std::move(frames)) {
  if (m_frames.empty()) m_frames = demoSession();
  m_id = m_platform.addDevice(bridgeSpec());
  m_platform.setReportFeeder(m_id,
                             [this](std::chrono::milliseconds slice, const std::stop_token& stop) {
                               return nextReport(slice, stop);
                             });
}

VirtualMeter::~VirtualMeter() { m_platform.setReportFeeder(m_id, {}); }

void VirtualMeter::unplug() {
  m_plugged = false;
  m_platform.unplug(m_id);
}

void VirtualMeter::plug() {
  m_featuresAtPlug = m_platform.featureCount(m_id);
  m_platform.plug(m_id);
  m_plugged = true;
}

bool VirtualMeter::lineConfigured() const {
  // Asked before every report: it must not cost more the longer the link has retried.
  if (m_platform.featureCount(m_id) <= m_featuresAtPlug) return false;
  const std::vector<std::uint8_t> last = m_platform.lastFeature(m_id);
  return std::equal(last.begin(), last.end(), lineSettings2400.begin(), lineSettings2400.end());
}

void VirtualMeter::beginFrame() {
  FrameBuilder::Frame frame = m_frames[m_frameIndex];
  m_frameIndex = (m_frameIndex + 1) % m_frames.size();
  if (m_garbageFrames > 0) {
    --m_garbageFrames;
    frame[frame.size() - 2] ^= 0x5A;  // the 0D 0A end no longer there
  }
  ++m_framesSent;
  m_pending.clear();
  m_nextPending = 0;
  for (const InputReport& report : packSerialBytes(frame)) m_pending.push_back(reportBytes(report));
  while (m_pending.size() < reportsPerFrame) m_pending.push_back(reportBytes(idleReport()));
}

std::optional<std::vector<std::uint8_t>> VirtualMeter::nextReport(std::chrono::milliseconds slice,
                                                                  const std::stop_token& stop) {
  if (!m_plugged || m_silent || !lineConfigured()) {
    waitUntil(std::chrono::steady_clock::now() + std::min(slice, reportPeriod), stop);
    return std::nullopt;
  }
  const std::lock_guard lock(m_streamMutex);
  const auto now = std::chrono::steady_clock::now();
  if (m_nextDue > now) {
    if (m_nextDue - now > slice) return std::nullopt;
    if (!waitUntil(m_nextDue, stop)) return std::nullopt;
  }
  m_nextDue = std::max(m_nextDue, now) + reportPeriod;
  if (m_idleOnly) return reportBytes(idleReport());
  if (m_nextPending >= m_pending.size()) beginFrame();
  return m_pending[m_nextPending++];
}

}  // namespace ostrel::sim

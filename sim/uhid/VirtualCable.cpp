#include "sim/uhid/VirtualCable.h"

#include <linux/input.h>

#include <algorithm>
#include <cerrno>
#include <iostream>
#include <utility>

#include "sim/uhid/CableDescriptor.h"
#include "sim/uhid/FrameFile.h"

namespace ostrel::uhid {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto reportPeriod = std::chrono::microseconds(CableLine::reportPeriodUs);
// Falling further behind than this (a stalled machine) restarts the report clock
// instead of sending a burst of reports.
constexpr auto maxLag = std::chrono::milliseconds(200);

}  // namespace

VirtualCable::VirtualCable(CableOptions options)
    : m_line(std::move(options.frames), options.framePeriodUs, options.repeat),
      m_unplugs(std::move(options.unplugs)),
      m_leadIn(options.leadIn),
      m_serial(std::move(options.serial)) {
  if (!options.logPath.empty()) m_logFile.open(options.logPath, std::ios::trunc);
}

void VirtualCable::run(const volatile std::sig_atomic_t& stop) {
  plug();
  auto nextReport = Clock::now() + reportPeriod;
  while (!stop) {
    if (!m_device.exists()) {
      if (Clock::now() >= m_replugAt) {
        plug();
        nextReport = Clock::now() + reportPeriod;
      } else {
        m_device.waitEvent(
            std::chrono::duration_cast<std::chrono::milliseconds>(m_replugAt - Clock::now()));
      }
      continue;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(nextReport - Clock::now());
    if (auto event = m_device.waitEvent(wait)) {
      handle(*event);
      continue;
    }
    const auto now = Clock::now();
    if (now < nextReport) continue;
    nextReport = now - nextReport > maxLag ? now + reportPeriod : nextReport + reportPeriod;
    if (m_reportsBeforeLeaving < 0 && unplugDue())
      m_reportsBeforeLeaving = m_unplugs[m_nextUnplug].quietReports;
    if (m_reportsBeforeLeaving < 0) {
      sendNextReport();
    } else if (m_reportsBeforeLeaving-- > 0) {
      sendIdleReport();
    } else {
      unplug();
    }
  }
  m_device.destroy();
  log("exit");
}

void VirtualCable::plug() {
  m_settings = CableSettings{};
  m_open = false;
  m_lastReportEmpty = true;
  m_line.restartAtNextFrame();
  m_device.create({cableName, BUS_USB, cableVendorId, cableProductId, m_serial},
                  cableReportDescriptor);
  log("plugged");
}

void VirtualCable::unplug() {
  m_reportsBeforeLeaving = -1;
  m_replugAt = Clock::now() + m_unplugs[m_nextUnplug].away;
  ++m_nextUnplug;
  m_device.destroy();
  log("unplugged");
}

bool VirtualCable::unplugDue() const {
  // Only in a pause between frames, after the report that ends a frame.
  return m_nextUnplug < m_unplugs.size() && m_lastReportEmpty &&
         m_line.framesCompleted() >= m_unplugs[m_nextUnplug].afterFrames;
}

void VirtualCable::sendNextReport() {
  if (!m_open || !m_settings.lineReady()) return;
  if (Clock::now() < m_framesFrom) {
    sendIdleReport();
    return;
  }
  const CableLine::Step step = m_line.nextReport();
  m_device.sendInput(step.report);
  m_lastReportEmpty = (step.report[0] & 0x0F) == 0;
  if (step.completedFrame) {
    log("frame " + std::to_string(m_line.framesCompleted()) + " " +
        hexBytes(m_line.frames()[*step.completedFrame]));
  }
}

void VirtualCable::sendIdleReport() {
  if (!m_open || !m_settings.lineReady()) return;
  InputReport report{};
  report[0] = 0xF0;
  m_device.sendInput(report);
}

void VirtualCable::handle(const uhid_event& event) {
  switch (event.type) {
    case UHID_OPEN:
      m_open = true;
      log("open");
      break;
    case UHID_CLOSE:
      m_open = false;
      log("close");
      break;
    case UHID_OUTPUT: {
      const auto& output = event.u.output;
      const std::size_t size = std::min<std::size_t>(output.size, sizeof(output.data));
      log("output " + hexBytes({output.data, size}));
      break;
    }
    case UHID_GET_REPORT:
      handleGetReport(event.u.get_report);
      break;
    case UHID_SET_REPORT:
      handleSetReport(event.u.set_report);
      break;
    default:
      break;  // START and STOP need no answer
  }
}

void VirtualCable::handleSetReport(const uhid_set_report_req& request) {
  const std::size_t size = std::min<std::size_t>(request.size, sizeof(request.data));
  const std::span<const std::uint8_t> data(request.data, size);
  if (request.rtype != UHID_FEATURE_REPORT) {
    log("set-report type " + std::to_string(request.rtype) + " " + hexBytes(data));
    m_device.replySetReport(request.id, 0);
    return;
  }
  const bool wasReady = m_settings.lineReady();
  log("set-feature " + hexBytes(m_settings.setFeature(request.rnum, data)));
  if (!wasReady && m_settings.lineReady()) m_framesFrom = Clock::now() + m_leadIn;
  m_device.replySetReport(request.id, 0);
  log("line " + std::to_string(m_settings.baud()) + " baud");
}

void VirtualCable::handleGetReport(const uhid_get_report_req& request) {
  if (request.rtype != UHID_FEATURE_REPORT) {
    log("get-report type " + std::to_string(request.rtype) + " refused");
    m_device.replyGetReport(request.id, EIO, {});
    return;
  }
  log("get-feature");
  m_device.replyGetReport(request.id, 0, m_settings.featureReply());
}

void VirtualCable::log(const std::string& line) {
  std::cout << line << std::endl;
  if (m_logFile) m_logFile << line << std::endl;
}

}  // namespace ostrel::uhid

#pragma once

#include <chrono>
#include <csignal>
#include <cstddef>
#include <fstream>
#include <string>
#include <vector>

#include "sim/uhid/CableLine.h"
#include "sim/uhid/CableSettings.h"
#include "sim/uhid/UhidDevice.h"

namespace ostrel::uhid {

// One removal of the cable: once `afterFrames` frames have been sent in all, the
// cable stays in the pause after the frame for `quietReports` reports without data
// (at least one, so the host has read the frame's end), then goes away for `away`,
// and then comes back as a new, unconfigured device. The frames wait meanwhile.
struct Unplug {
  static constexpr int defaultQuietReports = 8;
  std::size_t afterFrames = 0;
  std::chrono::milliseconds away{0};
  int quietReports = defaultQuietReports;
};

struct CableOptions {
  std::vector<SerialFrame> frames;
  std::uint32_t framePeriodUs = 250'000;
  bool repeat = false;  // play the frames over and over
  // From the line settings (at each plug) to the meter's first frame; reports without
  // data meanwhile.
  std::chrono::milliseconds leadIn{0};
  std::vector<Unplug> unplugs;  // in the order they happen
  std::string logPath;          // empty: standard output only
  std::string serial;           // the serial number the cable reports; empty: none
};

// The cable on /dev/uhid: answers the host's report requests, plays the frames
// once the line runs at 2400 baud and the host has the device open (a USB host
// polls the cable only then), and logs, one line each, what the host asked for
// and what was played. Runs on the calling thread until stop becomes non-zero.
//
// Log lines: "plugged", "unplugged", "open", "close", "set-feature <hex>" (the
// bytes the cable received), "line <baud> baud", "get-feature", "output <hex>",
// "frame <count of frames sent, from 1> <hex>" (when the frame's last byte was
// sent).
class VirtualCable {
 public:
  explicit VirtualCable(CableOptions options);

  void run(const volatile std::sig_atomic_t& stop);

 private:
  void plug();
  void unplug();
  void handle(const uhid_event& event);
  void handleSetReport(const uhid_set_report_req& request);
  void handleGetReport(const uhid_get_report_req& request);
  void sendNextReport();
  bool unplugDue() const;
  void sendIdleReport();
  void log(const std::string& line);

  UhidDevice m_device;
  CableSettings m_settings;
  CableLine m_line;
  std::vector<Unplug> m_unplugs;
  std::chrono::milliseconds m_leadIn;
  std::string m_serial;
  std::chrono::steady_clock::time_point m_framesFrom;  // end of the lead-in
  std::size_t m_nextUnplug = 0;
  std::chrono::steady_clock::time_point m_replugAt;
  bool m_open = false;
  bool m_lastReportEmpty = true;
  int m_reportsBeforeLeaving = -1;  // counting down to a removal; -1 when none is due
  std::ofstream m_logFile;
};

}  // namespace ostrel::uhid

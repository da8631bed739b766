#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "link/HidReadHandOff.h"
#include "link/frame/HidReportFilter.h"

namespace ostrel {

class HidPlatform;
class HidReader;

// State a device shares with its read thread; written on the main thread, read by the thread.
struct HidReadShared {
  std::atomic<bool> accessible{false};  // PluggedIn and (CheckedOut or InControllerEvent)
  std::atomic<int> sleepTimeMs{100};    // wait slice of the read thread
};

// The read thread of one device: one read at a time, each report and each failed read start handed
// to the main thread synchronously through the channel. Created, stopped and destroyed on the main
// thread; the thread itself touches only its reader, its ReportBuffer, its filter, `shared` and the
// channel.
//
// A pause asked for by the handler does not stop the reading: the reports read during it are
// dropped, so the system's report queue never fills up (a full queue loses the newest reports, and
// with them the boundaries between the bridge's frames). Once the pause is over, the filter is told
// of the gap and decides where handing over resumes.
class THidDeviceReadThread {
 public:
  // Starts the thread at once. `runner` runs each hand-off on the main thread; `filter` (may be
  // null) sees every report read outside a pause and drops those that cannot matter.
  THidDeviceReadThread(HidPlatform& platform, std::string path, std::size_t inputReportLength,
                       const HidReadShared& shared, HidReadHandOff::Runner runner,
                       std::unique_ptr<HidReportFilter> filter = nullptr);
  // Stops the thread (see stop()).
  ~THidDeviceReadThread();
  THidDeviceReadThread(const THidDeviceReadThread&) = delete;
  THidDeviceReadThread& operator=(const THidDeviceReadThread&) = delete;

  // Main thread: tells the thread to end and waits for it, running the hand-offs it queues
  // meanwhile (a pending report is handled before the thread ends). A read in progress ends at
  // once, so this takes about the hand-off in progress, not a read slice.
  void stop();

 private:
  void run();
  // Returns false when the thread was told to stop.
  bool readOnce();
  // Opens the reader (only while the device is accessible); a failure is handed to the main thread
  // as a read error. True when the reader is open.
  bool openReader();
  void reportError(std::uint32_t error);
  // Whether a report just read goes to the main thread (not during a pause, and the filter agrees).
  bool handOverWanted(std::span<const std::uint8_t> report);

  HidPlatform& m_platform;
  const std::string m_path;
  const HidReadShared& m_shared;
  std::shared_ptr<HidReadHandOff> m_handOff;
  std::stop_source m_stopReads;  // ends a read in progress when the thread is told to stop
  // Read thread only:
  std::vector<std::uint8_t> m_ReportBuffer;
  std::unique_ptr<HidReader> m_reader;
  std::unique_ptr<HidReportFilter> m_filter;
  std::chrono::steady_clock::time_point m_pausedUntil{};
  bool m_droppedInPause = false;
  std::thread m_thread;
};

}  // namespace ostrel

#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/HidReadHandOff.h"

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
// thread; the thread itself touches only its reader, its ReportBuffer, `shared` and the channel.
class THidDeviceReadThread {
 public:
  // Starts the thread at once. `runner` runs each hand-off on the main thread.
  THidDeviceReadThread(HidPlatform& platform, std::string path, std::size_t inputReportLength,
                       const HidReadShared& shared, HidReadHandOff::Runner runner);
  // Stops the thread (see stop()).
  ~THidDeviceReadThread();
  THidDeviceReadThread(const THidDeviceReadThread&) = delete;
  THidDeviceReadThread& operator=(const THidDeviceReadThread&) = delete;

  // Main thread: tells the thread to end and waits for it, running the hand-offs it queues
  // meanwhile (a pending report is handled before the thread ends). Takes at most one slice plus
  // the hand-off.
  void stop();

 private:
  void run();
  // Returns false when the thread was told to stop.
  bool readOnce();
  // Opens the reader (only while the device is accessible); a failure is handed to the main thread
  // as a read error. True when the reader is open.
  bool openReader();
  void reportError(std::uint32_t error);

  HidPlatform& m_platform;
  const std::string m_path;
  const HidReadShared& m_shared;
  std::shared_ptr<HidReadHandOff> m_handOff;
  // Read thread only:
  std::vector<std::uint8_t> m_ReportBuffer;
  std::unique_ptr<HidReader> m_reader;
  std::thread m_thread;
};

}  // namespace ostrel

#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace ostrel {

// One report or one read error travelling from a read thread to the main thread, by value.
struct HidHandOffItem {
  std::vector<std::uint8_t> report;  // byte 0 the report ID; empty for an error
  std::uint32_t error = 0;
};

// The synchronous hand-off between one read thread and the main thread, and the thread's stop
// request. The read thread posts an item to the main thread's Qt event loop and blocks until the
// main thread has run it (or, once a stop is requested, until the main thread has at least taken
// it: the item is a copy, so a handler that stops its own thread from inside the hand-off cannot
// dead-lock). The channel is shared: queued calls may outlive the thread object and then find
// nothing to do.
class HidReadHandOff : public std::enable_shared_from_this<HidReadHandOff> {
 public:
  // Main thread side: runs an item and returns how long the read side pauses before its next read.
  using Runner = std::function<std::chrono::milliseconds(const HidHandOffItem&)>;

  // Main thread. The runner is called by serve(); clearing it (nullptr) turns later serves into
  // no-ops.
  void setRunner(Runner runner);

  // Read thread: hands `item` over and waits; returns the pause asked for by the handler (0 if
  // none, or if the thread was told to stop).
  std::chrono::milliseconds deliver(HidHandOffItem item);
  // Read thread: waits `duration` or until a stop is requested; true when a stop was requested.
  bool waitOrStop(std::chrono::milliseconds duration);
  bool stopRequested() const;
  // Read thread, last act: lets a waiting stop() finish.
  void markEnded();

  // Main thread: runs the pending item if there is one (a queued call or the stop loop lands here).
  void serve();
  // Main thread: requests the stop and serves pending hand-offs until the read thread has ended.
  void stopAndDrain();

 private:
  void postToMainThread();

  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  std::optional<HidHandOffItem> m_pending;  // posted, not yet taken
  bool m_taken = false;                     // the main thread is running the item
  bool m_done = false;                      // the item has been run
  std::chrono::milliseconds m_pause{0};
  bool m_stop = false;
  bool m_ended = false;
  Runner m_runner;  // main thread only
};

}  // namespace ostrel

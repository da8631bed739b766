#pragma once

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>

#include "sim/hid/SimHidPlatform.h"

namespace ostrel::test {

// Runs the main thread's event loop until `done` holds or `timeout` passes; returns `done()`.
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs the main thread's event loop for the given time.
inline void pumpFor(std::chrono::milliseconds time) {
  pumpUntil([] { return false; }, time);
}

// Delivers the queued device-change notices.
inline void deliverNotices() { QCoreApplication::processEvents(); }

// The USB interface cable as the simulated platform presents it.
inline SimHidDeviceSpec cableSpec() {
  SimHidDeviceSpec spec;
  spec.attributes = {0x1A86, 0xE008, 0x0100};
  spec.product = u"USB to Serial";
  spec.inputReportLength = 9;
  return spec;
}

inline SimHidDeviceSpec namedSpec(const std::u16string& product, std::uint16_t productId) {
  SimHidDeviceSpec spec;
  spec.attributes = {0x1234, productId, 1};
  spec.product = product;
  return spec;
}

}  // namespace ostrel::test

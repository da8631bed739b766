#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "link/HidHandler.h"

namespace ostrel {

class THidDevice;
class THidDeviceController;

// Identity of one listed HID interface. DevicePath opens it; DeviceInstance is new at every plug,
// so an old and a new device object stand for the same plugged device exactly when it is equal.
struct THidPnPInfo {
  std::string DevicePath;
  std::uint32_t DeviceInstance = 0;
};

// Raised by the controller ("Only one THidDeviceController allowed per program") and by device
// creation ("device cannot be opened", "device cannot be identified").
class EControllerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// All handlers run on the main thread.
// One input report: ReportID is byte 0 of the report, Data points at byte 1, Size counts the bytes
// after the ID. Data is valid only during the call.
using THidDataEvent = HidHandler<void(THidDevice& HidDev, std::uint8_t ReportID,
                                      const std::uint8_t* Data, std::uint16_t Size)>;
// A read could not be started; Error is the system error code (errno on Linux).
using THidDataErrorEvent = HidHandler<void(THidDevice& HidDev, std::uint32_t Error)>;
using THidPlugEvent = HidHandler<void(THidDevice& HidDev)>;
// Called per plugged-in device by EnumerateDevices; returning false ends the walk.
using THidEnumerateEvent = HidHandler<bool(THidDevice& HidDev, int Idx)>;
using THidNotifyEvent = HidHandler<void(THidDeviceController& sender)>;

}  // namespace ostrel

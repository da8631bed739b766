#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include <linux/uhid.h>

namespace ostrel::uhid {

struct DeviceIdentity {
  std::string name;
  std::uint16_t bus = 0;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::string uniq;  // the device's serial as the kernel keeps it (HID_UNIQ); empty: none
};

// A virtual HID device on /dev/uhid. Owns the file descriptor; the device exists
// between create() and destroy() (or the destructor). One thread drives it; while
// the device exists, a second thread may wait for events and answer them while the
// first sends input (each of those is a single system call on the descriptor and
// changes nothing here). Every failing system call throws std::system_error.
class UhidDevice {
 public:
  explicit UhidDevice(const char* path = "/dev/uhid");
  ~UhidDevice();
  UhidDevice(const UhidDevice&) = delete;
  UhidDevice& operator=(const UhidDevice&) = delete;

  // Makes the kernel add the device (the host sees it plugged in).
  void create(const DeviceIdentity& identity, std::span<const std::uint8_t> descriptor);
  // Makes the kernel remove the device; does nothing when there is none.
  void destroy();
  bool exists() const { return m_exists; }

  // Sends one input report (without a report number: the device has none).
  void sendInput(std::span<const std::uint8_t> report);

  // The next event from the kernel, or nothing when none came within timeout.
  std::optional<uhid_event> waitEvent(std::chrono::milliseconds timeout);

  // Every GET_REPORT and SET_REPORT request must be answered: the requesting
  // host process waits for the reply (error is an errno value, 0 for success).
  void replyGetReport(std::uint32_t requestId, std::uint16_t error,
                      std::span<const std::uint8_t> data);
  void replySetReport(std::uint32_t requestId, std::uint16_t error);

 private:
  void write(const uhid_event& event);

  int m_fd = -1;
  bool m_exists = false;
};

}  // namespace ostrel::uhid

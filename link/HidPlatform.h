#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

namespace ostrel {

// What the HID device objects need from the operating system. Two implementations: the Linux one
// (hidapi on hidraw plus libudev) and the simulated one in sim/hid/.
// Thread affinity: everything runs on the main thread except openReader() and HidReader, which are
// used by a device's read thread; implementations make those two safe against concurrent
// main-thread use.

struct HidInterface {
  std::string path;            // opens the interface
  std::uint32_t instance = 0;  // new at every plug of the device
};

struct HidAttributes {
  std::uint16_t VendorID = 0;
  std::uint16_t ProductID = 0;
  std::uint16_t VersionNumber = 0;
};

// Where an info handle's serial number comes from. A request answered by the device itself may
// bring its language list (string 0) instead of a serial, so such a serial counts only when it
// differs from string 0. A system record is the serial the operating system read by the device's
// own serial string index when the device arrived (Linux keeps it as the USB device's serial and
// as HID_UNIQ): it is the serial or nothing, and needs no such check.
enum class HidSerialSource {
  DeviceRequest,
  SystemRecord,
};

enum class HidOpenMode {
  ReadWrite,  // may send feature reports
  QueryOnly,  // identity and strings only; needs no access rights on the device node
};

// An open interface for requests (the "info handle"). Closing = destroying it.
class HidInfoHandle {
 public:
  virtual ~HidInfoHandle() = default;
  virtual std::optional<HidAttributes> attributes() = 0;
  // Strings as the device reports them, at most 254 UTF-16 units; nullopt when unreadable.
  virtual std::optional<std::u16string> productString() = 0;
  virtual std::optional<std::u16string> serialNumberString() = 0;
  virtual HidSerialSource serialSource() { return HidSerialSource::DeviceRequest; }
  // String descriptor `index` (0 = list of language IDs); nullopt when the platform cannot read it.
  virtual std::optional<std::u16string> indexedString(int index) = 0;
  // report[0] is the report ID (0 for a device without numbered reports); the size counts it.
  // False when the handle is query-only or the request fails.
  virtual bool sendFeature(std::span<const std::uint8_t> report) = 0;
  // Longest input report in bytes, report ID byte included even for unnumbered reports; 0 if
  // unknown.
  virtual std::size_t inputReportLength() = 0;
};

struct HidReadResult {
  std::size_t bytes = 0;    // 0: nothing arrived within the slice
  std::uint32_t error = 0;  // non-zero: the read failed (system error code); the reader is unusable
};

// The read handle of one interface, owned and used by one read thread only.
class HidReader {
 public:
  virtual ~HidReader() = default;
  // Waits at most `slice` for one input report and copies it into `buffer`, byte 0 the report ID
  // (0 for unnumbered reports). Never writes more than buffer.size() bytes. A stop requested on
  // `stop` (from any thread) ends the wait at once with 0 bytes, so a stop never waits for the
  // slice; the slice only bounds how long the caller goes without looking at its other duties.
  virtual HidReadResult read(std::span<std::uint8_t> buffer, std::chrono::milliseconds slice,
                             std::stop_token stop) = 0;
};

class HidPlatform {
 public:
  virtual ~HidPlatform() = default;
  // False when HID support is missing; the interface list is then empty and no notices come.
  virtual bool available() const = 0;
  virtual std::vector<HidInterface> listInterfaces() = 0;
  // nullptr when the interface cannot be opened in that mode.
  virtual std::unique_ptr<HidInfoHandle> open(const std::string& path, HidOpenMode mode) = 0;
  // Called on a read thread. nullptr on failure, with the system error code in `error`.
  virtual std::unique_ptr<HidReader> openReader(const std::string& path, std::uint32_t& error) = 0;
  // `handler` is called on the main thread after HID interfaces were added or removed; an empty
  // function stops the notices.
  virtual void setDeviceChangeHandler(std::function<void()> handler) = 0;
};

}  // namespace ostrel

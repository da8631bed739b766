#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace ostrel::uhid {

// The cable's feature-report side, as it behaves behind a USB host. The host's
// HID driver sends the report number of a numbered request in front of the data;
// for report number 0 (the cable has no numbered reports) a USB host leaves it
// out on the wire and puts it back in front of a reply. A virtual device sees
// the host's buffer unchanged, so this class does that part of the host's work.
//
// Line settings as the cable sees them: bytes 0 to 3 the baud rate (32-bit little
// endian), byte 4 the line format code, further bytes ignored.
class CableSettings {
 public:
  static constexpr std::uint32_t meterBaud = 2400;

  // A feature SET_REPORT for report number reportNumber with the host's buffer
  // data. Returns the bytes the cable receives. Fewer than five bytes leave the
  // settings unchanged.
  std::vector<std::uint8_t> setFeature(std::uint8_t reportNumber,
                                       std::span<const std::uint8_t> data);

  // The reply to a feature GET_REPORT: report number 0, then the baud rate and
  // the line format code.
  std::vector<std::uint8_t> featureReply() const;

  // The line runs at the meter's 2400 baud: the cable passes the meter's bytes on.
  bool lineReady() const { return m_baud == meterBaud; }
  std::uint32_t baud() const { return m_baud; }

 private:
  std::uint32_t m_baud = 0;
  std::uint8_t m_format = 0;
};

}  // namespace ostrel::uhid

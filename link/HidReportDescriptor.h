#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace ostrel {

// Report sizes a HID report descriptor declares, in bytes with the report ID byte counted, as the
// Windows HID capabilities give them: a device without numbered reports still gets one byte for ID
// 0. A size is 0 when the descriptor declares no report of that kind.
struct HidReportLengths {
  bool numberedReports = false;  // at least one Report ID item
  std::size_t input = 0;
  std::size_t output = 0;
  std::size_t feature = 0;
};

// Parses the short and long items of a report descriptor (HID 1.11, 6.2.2), following Report Size,
// Report Count, Report ID, Push and Pop; the longest report of each kind wins. A truncated item
// ends the parse with what was read so far.
HidReportLengths parseReportDescriptor(std::span<const std::uint8_t> descriptor);

}  // namespace ostrel

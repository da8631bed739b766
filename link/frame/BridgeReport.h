#pragma once

#include <cstddef>
#include <cstdint>

namespace ostrel::bridge {

// Input report of the HID-to-serial bridge, after the report ID:
//
//   Data[0]            bits 7-4: not examined; bits 3-0: count n of serial bytes
//                      (1..9: data report; 0 and 10..15: report without data)
//   Data[1]..Data[n]   the serial bytes, in the order the meter sent them
//   the rest           padding, ignored
//
// A count beyond the bytes delivered carries only the bytes delivered. The bridge sends
// at least one report without data in the pause between two meter frames.
inline constexpr std::uint8_t countMask = 0x0F;
inline constexpr std::uint8_t minDataCount = 1;
inline constexpr std::uint8_t maxDataCount = 9;

// The count of serial bytes a report announces, 0 for a report without data.
constexpr unsigned announcedCount(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned count = data[0] & countMask;
  return count >= minDataCount && count <= maxDataCount ? count : 0;
}

// The serial bytes a report really carries: the announced count, cut to what was delivered.
// Same as reading them off the report's hexadecimal line "R ii  d0 d1 ...": Data[k] stands
// at characters 7+3k and 8+3k of a line 6+3*size characters long, so it is there exactly
// when k <= size-1.
constexpr std::size_t carriedCount(const std::uint8_t* data, std::size_t size) {
  const std::size_t announced = announcedCount(data, size);
  return size == 0 || announced < size ? announced : size - 1;
}

}  // namespace ostrel::bridge

#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <vector>

namespace ostrel::sim {

// One bridge input report as the frame assembler receives it: the report ID, then the
// bytes after it.
struct InputReport {
  std::uint8_t reportId = 0;
  std::vector<std::uint8_t> data;
  friend bool operator==(const InputReport&, const InputReport&) = default;
};

// The bridge's reports are 8 bytes after the report ID: [0xF0 | n, n serial bytes, zero
// padding], n at most 7. A report without data is 0xF0 and zeros.
inline constexpr std::size_t bridgeReportBytes = 8;
inline constexpr std::size_t maxBytesPerReport = bridgeReportBytes - 1;

InputReport idleReport();

// Packs serial bytes into data reports of at most bytesPerReport bytes each (clamped to
// 1..7), as the bridge does while the meter sends.
std::vector<InputReport> packSerialBytes(std::span<const std::uint8_t> bytes,
                                         std::size_t bytesPerReport = maxBytesPerReport);

// A stream carrying frames: idle reports before the first frame, between two frames and
// after the last (idleBetween of each, at least one), so every frame is ended.
std::vector<InputReport> reportStream(const std::vector<std::vector<std::uint8_t>>& frames,
                                      std::size_t bytesPerReport = maxBytesPerReport,
                                      std::size_t idleBetween = 1);

// A report as one line of the command-line decoder's input: the report ID and the data
// bytes as upper-case hexadecimal pairs separated by blanks ("00 F3 12 34 56 00 00 00 00").
std::string reportLine(const InputReport& report);
void writeReports(std::ostream& out, std::span<const InputReport> reports);

// A report as a HID read delivers it: byte 0 the report ID, then the data bytes.
std::vector<std::uint8_t> reportBytes(const InputReport& report);

}  // namespace ostrel::sim

#pragma once

#include <cstdint>
#include <istream>
#include <span>
#include <string>
#include <vector>

#include "sim/uhid/CableLine.h"

namespace ostrel::uhid {

struct FrameFileResult {
  std::vector<SerialFrame> frames;
  std::string error;  // empty on success
};

// Reads meter frames, one per line as hexadecimal bytes; blanks between bytes
// are allowed, empty lines and lines starting with '#' are skipped. Fails (with
// the line number in the error text) on an odd digit count, a non-hex character
// or a file without frames.
FrameFileResult readFrames(std::istream& in);
FrameFileResult readFrameFile(const std::string& path);

// Upper-case hexadecimal digits, a blank between bytes.
std::string hexBytes(std::span<const std::uint8_t> bytes);

}  // namespace ostrel::uhid

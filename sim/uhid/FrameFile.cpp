#include "sim/uhid/FrameFile.h"

#include <cctype>
#include <fstream>

namespace ostrel::uhid {

namespace {

// The value of a hexadecimal digit, or -1.
int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

// Parses one line; returns an error text or the empty string.
std::string parseLine(const std::string& line, SerialFrame& frame) {
  int high = -1;  // the first digit of a byte, -1 before it
  for (char c : line) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    const int digit = hexDigit(c);
    if (digit < 0) return std::string("not a hexadecimal digit: '") + c + "'";
    if (high < 0) {
      high = digit;
    } else {
      frame.push_back(static_cast<std::uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  return high >= 0 ? "odd number of hexadecimal digits" : "";
}

}  // namespace

FrameFileResult readFrames(std::istream& in) {
  FrameFileResult result;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    SerialFrame frame;
    const std::string error = parseLine(line, frame);
    if (!error.empty()) {
      result.error = "line " + std::to_string(number) + ": " + error;
      result.frames.clear();
      return result;
    }
    result.frames.push_back(std::move(frame));
  }
  if (result.frames.empty()) result.error = "no frames";
  return result;
}

FrameFileResult readFrameFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {{}, "cannot open " + path};
  FrameFileResult result = readFrames(in);
  if (!result.error.empty()) result.error = path + ": " + result.error;
  return result;
}

std::string hexBytes(std::span<const std::uint8_t> bytes) {
  static constexpr char hexDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t byte : bytes) {
    if (!text.empty()) text += ' ';
    text += hexDigits[byte >> 4];
    text += hexDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace ostrel::uhid

#include "link/HidReportDescriptor.h"

#include <algorithm>
#include <map>
#include <vector>

namespace ostrel {

namespace {

// Short item prefix byte: bits 7..4 tag, bits 3..2 type, bits 1..0 size code (0, 1, 2, 4 bytes).
constexpr std::uint8_t longItemPrefix = 0xFE;
constexpr std::uint8_t typeMain = 0;
constexpr std::uint8_t typeGlobal = 1;
constexpr std::uint8_t mainInput = 0x8;
constexpr std::uint8_t mainOutput = 0x9;
constexpr std::uint8_t mainFeature = 0xB;
constexpr std::uint8_t globalReportSize = 0x7;
constexpr std::uint8_t globalReportId = 0x8;
constexpr std::uint8_t globalReportCount = 0x9;
constexpr std::uint8_t globalPush = 0xA;
constexpr std::uint8_t globalPop = 0xB;

struct GlobalState {
  std::uint32_t reportSize = 0;   // bits per field
  std::uint32_t reportCount = 0;  // fields
  std::uint32_t reportId = 0;
};

struct Bits {
  std::uint64_t input = 0;
  std::uint64_t output = 0;
  std::uint64_t feature = 0;
};

std::uint32_t itemData(std::span<const std::uint8_t> data) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    value |= static_cast<std::uint32_t>(data[i]) << (8 * i);
  }
  return value;
}

std::size_t bytesWithId(std::uint64_t bits) {
  return bits == 0 ? 0 : static_cast<std::size_t>((bits + 7) / 8) + 1;
}

}  // namespace

HidReportLengths parseReportDescriptor(std::span<const std::uint8_t> descriptor) {
  HidReportLengths lengths;
  GlobalState global;
  std::vector<GlobalState> stack;
  std::map<std::uint32_t, Bits> reports;  // by report ID
  std::size_t pos = 0;
  while (pos < descriptor.size()) {
    const std::uint8_t prefix = descriptor[pos];
    if (prefix == longItemPrefix) {
      if (pos + 1 >= descriptor.size()) {
        break;
      }
      pos += 3 + descriptor[pos + 1];  // prefix, data size, long tag, data
      continue;
    }
    const std::size_t size = (prefix & 0x3) == 3 ? 4 : (prefix & 0x3);
    if (pos + 1 + size > descriptor.size()) {
      break;
    }
    const std::uint32_t value = itemData(descriptor.subspan(pos + 1, size));
    const std::uint8_t type = (prefix >> 2) & 0x3;
    const std::uint8_t tag = prefix >> 4;
    pos += 1 + size;
    if (type == typeGlobal) {
      switch (tag) {
        case globalReportSize:
          global.reportSize = value;
          break;
        case globalReportCount:
          global.reportCount = value;
          break;
        case globalReportId:
          global.reportId = value;
          lengths.numberedReports = true;
          break;
        case globalPush:
          stack.push_back(global);
          break;
        case globalPop:
          if (!stack.empty()) {
            global = stack.back();
            stack.pop_back();
          }
          break;
        default:
          break;
      }
    } else if (type == typeMain) {
      const std::uint64_t bits = static_cast<std::uint64_t>(global.reportSize) * global.reportCount;
      Bits& report = reports[global.reportId];
      if (tag == mainInput) {
        report.input += bits;
      } else if (tag == mainOutput) {
        report.output += bits;
      } else if (tag == mainFeature) {
        report.feature += bits;
      }
    }
  }
  for (const auto& [id, bits] : reports) {
    lengths.input = std::max(lengths.input, bytesWithId(bits.input));
    lengths.output = std::max(lengths.output, bytesWithId(bits.output));
    lengths.feature = std::max(lengths.feature, bytesWithId(bits.feature));
  }
  return lengths;
}

}  // namespace ostrel

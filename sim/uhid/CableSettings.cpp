#include "sim/uhid/CableSettings.h"

#include "sim/uhid/CableDescriptor.h"

namespace ostrel::uhid {

std::vector<std::uint8_t> CableSettings::setFeature(std::uint8_t reportNumber,
                                                    std::span<const std::uint8_t> data) {
  // Report number 0 travels in the host's buffer only.
  if (reportNumber == 0 && !data.empty()) data = data.subspan(1);
  std::vector<std::uint8_t> seen(data.begin(), data.end());
  if (seen.size() >= featureReportSize) {
    m_baud = static_cast<std::uint32_t>(seen[0]) | static_cast<std::uint32_t>(seen[1]) << 8 |
             static_cast<std::uint32_t>(seen[2]) << 16 | static_cast<std::uint32_t>(seen[3]) << 24;
    m_format = seen[4];
  }
  return seen;
}

std::vector<std::uint8_t> CableSettings::featureReply() const {
  return {0,
          static_cast<std::uint8_t>(m_baud),
          static_cast<std::uint8_t>(m_baud >> 8),
          static_cast<std::uint8_t>(m_baud >> 16),
          static_cast<std::uint8_t>(m_baud >> 24),
          m_format};
}

}  // namespace ostrel::uhid

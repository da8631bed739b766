#include "BridgeReportFilter.h"

#include "BridgeReport.h"

namespace ostrel {

bool BridgeReportFilter::pass(std::span<const std::uint8_t> report) {
  // Byte 0 is the report ID; the bridge's layout starts after it.
  const std::span<const std::uint8_t> data = report.empty() ? report : report.subspan(1);
  const bool dataReport = bridge::announcedCount(data.data(), data.size()) != 0;
  if (dataReport) {
    if (m_resyncing) return false;
    m_collecting = true;
    return true;
  }
  m_resyncing = false;
  const bool endsFrame = m_collecting;
  m_collecting = false;
  return endsFrame;
}

}  // namespace ostrel

#include "ReportStream.h"

#include <algorithm>
#include <ostream>

#include "link/frame/BridgeReport.h"

namespace ostrel::sim {

namespace {

constexpr std::uint8_t countByteHighBits = 0xF0;
constexpr std::string_view hexDigits = "0123456789ABCDEF";

static_assert(maxBytesPerReport <= bridge::maxDataCount);

InputReport dataReport(std::span<const std::uint8_t> chunk) {
  InputReport report;
  report.data.assign(bridgeReportBytes, 0);
  report.data[0] = static_cast<std::uint8_t>(countByteHighBits | chunk.size());
  std::copy(chunk.begin(), chunk.end(), report.data.begin() + 1);
  return report;
}

void appendIdle(std::vector<InputReport>& reports, std::size_t count) {
  reports.insert(reports.end(), std::max<std::size_t>(count, 1), idleReport());
}

}  // namespace

InputReport idleReport() {
  InputReport report;
  report.data.assign(bridgeReportBytes, 0);
  report.data[0] = countByteHighBits;
  return report;
}

std::vector<InputReport> packSerialBytes(std::span<const std::uint8_t> bytes,
                                         std::size_t bytesPerReport) {
  const std::size_t chunk = std::clamp<std::size_t>(bytesPerReport, 1, maxBytesPerReport);
  std::vector<InputReport> reports;
  for (std::size_t offset = 0; offset < bytes.size(); offset += chunk) {
    reports.push_back(dataReport(bytes.subspan(offset, std::min(chunk, bytes.size() - offset))));
  }
  return reports;
}

std::vector<InputReport> reportStream(const std::vector<std::vector<std::uint8_t>>& frames,
                                      std::size_t bytesPerReport, std::size_t idleBetween) {
  std::vector<InputReport> reports;
  appendIdle(reports, idleBetween);
  for (const auto& frame : frames) {
    const auto packed = packSerialBytes(frame, bytesPerReport);
    reports.insert(reports.end(), packed.begin(), packed.end());
    appendIdle(reports, idleBetween);
  }
  return reports;
}

std::string reportLine(const InputReport& report) {
  std::string line;
  auto appendByte = [&line](std::uint8_t byte) {
    if (!line.empty()) line += ' ';
    line += hexDigits[byte >> 4];
    line += hexDigits[byte & 0x0F];
  };
  appendByte(report.reportId);
  for (std::uint8_t byte : report.data) appendByte(byte);
  return line;
}

void writeReports(std::ostream& out, std::span<const InputReport> reports) {
  for (const InputReport& report : reports) out << reportLine(report) << '\n';
}

std::vector<std::uint8_t> reportBytes(const InputReport& report) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(report.data.size() + 1);
  bytes.push_back(report.reportId);
  bytes.insert(bytes.end(), report.data.begin(), report.data.end());
  return bytes;
}

}  // namespace ostrel::sim

#include "sim/uhid/CableLine.h"

#include <algorithm>
#include <utility>

namespace ostrel::uhid {

namespace {
constexpr std::size_t maxBytesPerReport = inputReportSize - 1;
constexpr std::uint8_t countMark = 0xF0;
}  // namespace

CableLine::CableLine(std::vector<SerialFrame> frames, std::uint32_t framePeriodUs, bool repeat)
    : m_frames(std::move(frames)), m_framePeriodUs(framePeriodUs), m_repeat(repeat) {
  std::erase_if(m_frames, [](const SerialFrame& frame) { return frame.empty(); });
}

std::uint64_t CableLine::transmissionUs(std::size_t count) {
  return static_cast<std::uint64_t>(count) * bitsPerByte * 1'000'000 / lineBaud;
}

std::uint64_t CableLine::periodFor(const SerialFrame& frame) const {
  return std::max<std::uint64_t>(m_framePeriodUs,
                                 transmissionUs(frame.size()) + std::uint64_t{2} * reportPeriodUs);
}

CableLine::Step CableLine::nextReport() {
  m_nowUs += reportPeriodUs;
  Step step;
  std::size_t count = 0;
  while (m_frame < m_frames.size() && count < maxBytesPerReport) {
    const SerialFrame& frame = m_frames[m_frame];
    if (m_nowUs < m_frameStartUs) break;
    const std::uint64_t elapsed = m_nowUs - m_frameStartUs;
    // Bytes are handed on once their stop bit is on the line.
    if (m_nextByte >= frame.size() || transmissionUs(m_nextByte + 1) > elapsed) break;
    step.report[1 + count++] = frame[m_nextByte++];
    if (m_nextByte == frame.size()) {
      step.completedFrame = m_frame;
      ++m_completed;
      m_frameStartUs += periodFor(frame);
      advanceFrame();
      break;  // the next frame cannot start before the pause that follows this one
    }
  }
  step.report[0] = static_cast<std::uint8_t>(countMark | count);
  return step;
}

void CableLine::advanceFrame() {
  m_nextByte = 0;
  if (++m_frame == m_frames.size() && m_repeat) m_frame = 0;
}

void CableLine::restartAtNextFrame() {
  if (m_nextByte > 0) advanceFrame();
  m_frameStartUs = m_nowUs;
}

}  // namespace ostrel::uhid

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/uhid/CableDescriptor.h"

namespace ostrel::uhid {

using SerialFrame = std::vector<std::uint8_t>;
using InputReport = std::array<std::uint8_t, inputReportSize>;

// The serial side of the cable: the meter sends its frames at 2400 baud (8 data
// bits, one start and one stop bit: 240 bytes per second), one frame every
// frame period; the cable packs what arrived since its previous report into the
// next input report, one report per report period whether data arrived or not.
//
// Input report layout: byte 0 is 0xF0 | n with n (0 to 7) the count of serial
// bytes carried, bytes 1 to n the serial bytes in arrival order, the rest zero.
// A report with n = 0 carries no data; at least one such report lies between the
// end of one frame and the start of the next.
//
// Time is the line's own: it advances by one report period per nextReport() call,
// so a run is the same whatever the caller's timing.
class CableLine {
 public:
  static constexpr std::uint32_t reportPeriodUs = 12'000;
  static constexpr std::uint32_t lineBaud = 2400;
  static constexpr std::uint32_t bitsPerByte = 10;

  struct Step {
    InputReport report{};
    // Index (from 0) of the frame whose last byte this report carries.
    std::optional<std::size_t> completedFrame;
  };

  // frames: played in order, once or (repeat) over and over; empty frames are dropped.
  // framePeriodUs: from the start of one frame to the start of the next; raised to the frame's
  // transmission time plus two report periods where shorter, so the frame-end report always exists.
  CableLine(std::vector<SerialFrame> frames, std::uint32_t framePeriodUs, bool repeat = false);

  // The report the cable sends next; advances the line by one report period.
  Step nextReport();

  // Drops the rest of a frame being sent and starts the next frame now: the
  // meter's bytes sent while the cable was away are lost. Only for a fresh host
  // side (a new device): no report without data separates the cut frame.
  void restartAtNextFrame();

  // All frames have been sent (never when repeating); the line now carries
  // reports without data.
  bool finished() const { return m_frame >= m_frames.size(); }
  std::size_t framesCompleted() const { return m_completed; }
  const std::vector<SerialFrame>& frames() const { return m_frames; }

  // Microseconds the line needs to transmit count bytes.
  static std::uint64_t transmissionUs(std::size_t count);

 private:
  std::uint64_t periodFor(const SerialFrame& frame) const;
  void advanceFrame();

  std::vector<SerialFrame> m_frames;
  std::uint32_t m_framePeriodUs;
  bool m_repeat;
  std::uint64_t m_nowUs = 0;
  std::uint64_t m_frameStartUs = 0;
  std::size_t m_frame = 0;
  std::size_t m_nextByte = 0;
  std::size_t m_completed = 0;
};

}  // namespace ostrel::uhid

#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "link/frame/FrameAssemblerState.h"

namespace ostrel {

// Collects the serial bytes of the bridge's input reports (layout in BridgeReport.h) into
// state.HexAccumulator as upper-case hexadecimal text. The first report without data ends
// a frame: when characters 41-44 of the collected text read "0D0A", the whole text goes to
// the frame handler; then, passed or not, the text is emptied.
//
// Thread affinity: main thread only; reports arrive one at a time, in the order read.
class FrameAssembler {
 public:
  // The collected text stops growing here: a noisy line that never sends a report without
  // data must not eat memory for hours. A frame is 44 characters; the check and the decoder
  // read fixed positions from the start, which the bound keeps, so nothing a meter sends
  // is judged differently.
  static constexpr std::size_t maxCollectedChars = 4096;

  // Returns true when the handler decoded the frame (the read side then pauses 500 ms).
  using FrameHandler = std::function<bool(const std::string& meterFrame)>;

  // state must outlive the assembler; it is kept across connects and disconnects.
  explicit FrameAssembler(FrameAssemblerState& state);

  void setFrameHandler(FrameHandler handler);

  // One input report: ReportID (not examined) and the Size bytes at Data (Data may be null
  // when Size is 0). Any Size and any bytes are accepted. Returns what the frame handler
  // returned, false when no frame was handed over.
  bool Read740(std::uint8_t ReportID, const std::uint8_t* Data, std::uint16_t Size);

 private:
  bool endFrame();

  FrameAssemblerState& m_state;
  FrameHandler m_handler;
};

}  // namespace ostrel

#include "FrameAssembler.h"

#include <string_view>
#include <utility>

#include "BridgeReport.h"

namespace ostrel {

namespace {

constexpr std::string_view hexDigits = "0123456789ABCDEF";
constexpr std::size_t frameEndOffset = 40;  // characters 41-44, counted from 1
constexpr std::string_view frameEnd = "0D0A";

void appendHex(std::string& text, std::uint8_t byte) {
  text += hexDigits[byte >> 4];
  text += hexDigits[byte & 0x0F];
}

}  // namespace

FrameAssembler::FrameAssembler(FrameAssemblerState& state) : m_state(state) {}

void FrameAssembler::setFrameHandler(FrameHandler handler) { m_handler = std::move(handler); }

bool FrameAssembler::Read740(std::uint8_t /*ReportID*/, const std::uint8_t* Data,
                             std::uint16_t Size) {
  if (bridge::announcedCount(Data, Size) == 0) return endFrame();
  m_state.FrameInProgress = true;
  const std::size_t carried = bridge::carriedCount(Data, Size);
  for (std::size_t k = 1; k <= carried; ++k) {
    if (m_state.HexAccumulator.size() >= maxCollectedChars) break;
    appendHex(m_state.HexAccumulator, Data[k]);
  }
  return false;
}

// A report without data: the collected frame, if any, is judged and the text emptied.
bool FrameAssembler::endFrame() {
  if (!m_state.FrameInProgress) return false;
  m_state.FrameInProgress = false;
  bool decoded = false;
  const std::string& text = m_state.HexAccumulator;
  if (text.size() >= frameEndOffset + frameEnd.size() &&
      std::string_view(text).substr(frameEndOffset, frameEnd.size()) == frameEnd && m_handler) {
    decoded = m_handler(text);
  }
  m_state.HexAccumulator.clear();
  return decoded;
}

}  // namespace ostrel

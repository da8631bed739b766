#include "FramePipeline.h"

#include <utility>

#include "decode/TestTimer.h"

namespace ostrel {

FramePipeline::FramePipeline(DisplayModel& display, ReadingTexts& reading, RecordingRules& rules,
                             std::string decimalSeparator)
    : m_display(display),
      m_reading(reading),
      m_rules(rules),
      m_decoder(display, reading, std::move(decimalSeparator)) {
  m_decoder.setRecordHook([this](int mode) { offerReading(mode); });
}

FrameDecoder::Outcome FramePipeline::ShowData860(std::string_view meterFrame) {
  return m_decoder.ShowData860(meterFrame);
}

FramePipeline::FrameHandler FramePipeline::frameHandler() {
  return [this](const std::string& meterFrame) {
    return ShowData860(meterFrame) == FrameDecoder::Outcome::Decoded;
  };
}

void FramePipeline::setTimer2RestartHook(std::function<void()> hook) {
  m_decoder.setTimer2RestartHook(std::move(hook));
}

void FramePipeline::setOfferedHook(OfferedHook hook) { m_offered = std::move(hook); }

void FramePipeline::offerReading(int mode) {
  const ReadingTexts& r = m_reading;
  const bool recorded = m_rules.INDataToTable(
      mode, {r.CurrentValue, r.UnitText, r.VRangeText, r.IRangeText, timerSeconds(m_display)});
  if (m_offered) m_offered(mode, recorded);
}

}  // namespace ostrel

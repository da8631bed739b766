#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "decode/DisplayModel.h"
#include "decode/FrameDecoder.h"
#include "decode/ReadingTexts.h"
#include "record/RecordingRules.h"

namespace ostrel {

// The way of one meter frame from its text to the readings table: a FrameDecoder over the
// caller's display model and reading texts whose record hook offers each reading to the
// caller's recording rules (INDataToTable). The window, ostrel-cli log, the tests and the
// benchmarks all run this one wiring; each adds its own steps through the hooks.
//
// The display model, the reading texts and the rules must outlive the pipeline.
// Main thread only, like the decoder and the rules it drives.
class FramePipeline {
 public:
  // A frame handler in the shape the connection control and the frame assembler take: true
  // when the frame was decoded (the read side then pauses).
  using FrameHandler = std::function<bool(const std::string& meterFrame)>;
  // Run after each offer with its mode and whether the reading became the table's last record.
  using OfferedHook = std::function<void(int mode, bool recorded)>;

  // decimalSeparator: as FrameDecoder takes it (written after each lit main-digit point).
  FramePipeline(DisplayModel& display, ReadingTexts& reading, RecordingRules& rules,
                std::string decimalSeparator);
  FramePipeline(const FramePipeline&) = delete;
  FramePipeline& operator=(const FramePipeline&) = delete;

  // Decodes one frame into the display model and the reading texts and, when it shows a main
  // digit, offers the reading (with the timer's seconds when lit) to the rules and then runs
  // the offered hook.
  FrameDecoder::Outcome ShowData860(std::string_view meterFrame);
  // ShowData860 as a frame handler; the pipeline must outlive the handler.
  [[nodiscard]] FrameHandler frameHandler();

  // Run at the start of every frame, dropped or not (the link restarts Timer2 there).
  void setTimer2RestartHook(std::function<void()> hook);
  // Run after each reading offered to the rules, recorded or held back; empty runs nothing.
  void setOfferedHook(OfferedHook hook);

 private:
  void offerReading(int mode);

  const DisplayModel& m_display;
  ReadingTexts& m_reading;
  RecordingRules& m_rules;
  FrameDecoder m_decoder;
  OfferedHook m_offered;
};

}  // namespace ostrel

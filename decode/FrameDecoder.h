#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "DisplayModel.h"
#include "ReadingTexts.h"
#include "SegmentMap.h"

namespace ostrel {

// Turns one meter frame into the display mirror and the reading texts.
//
// Thread affinity: main thread only (it writes the mirror and the program-wide reading).
// The decoder keeps no state of its own between frames: what carries over lives in the
// mirror (digit elements, their captions, KD) and in the reading texts.
class FrameDecoder {
 public:
  // model and reading must outlive the decoder. decimalSeparator goes into CurrentValue
  // after every main digit whose point is lit; empty means no separator.
  FrameDecoder(DisplayModel& model, ReadingTexts& reading, std::string decimalSeparator);

  // Called at the start of every frame, dropped or not: restarts the data-arrival timer.
  void setTimer2RestartHook(std::function<void()> hook);
  // Called with 1 (INDataToTable(1)) at the end of a decoded frame when a main digit is
  // visible; reads the reading texts as they stand then.
  void setRecordHook(std::function<void(int mode)> hook);

  enum class Outcome {
    Dropped,  // the frame end check failed; only timer, value/mode reset and link pictures
    Decoded,  // the whole frame was applied
  };

  // Applies meterFrame (upper-case hexadecimal, characters 41-44 "0D0A"; only the first 44
  // characters are read). Never sleeps: the caller paces the reading of further reports.
  // A text shorter than 44 characters fails the end check; a character outside 0-9/A-F
  // lights nothing and makes its digit code unrecognised.
  Outcome ShowData860(std::string_view meterFrame);

 private:
  struct FrameFlags {
    bool negative = false;
    bool dc = false;
    bool ac = false;
  };

  void applySingleBits(std::string_view frame, FrameFlags& flags);
  void applyBitEffect(BitEffect effect, FrameFlags& flags);
  void applyDigits(std::string_view frame);
  void applyDigit(const DigitPosition& position, DigitPair pair);
  void applyTestVoltageRule();
  [[nodiscard]] bool anyMainDigitVisible() const;

  DisplayModel& m_model;
  ReadingTexts& m_reading;
  std::string m_decimalSeparator;
  std::function<void()> m_timer2Restart;
  std::function<void(int)> m_record;
};

}  // namespace ostrel

#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "decode/ReadingTexts.h"
#include "link/FrameAssemblerState.h"
#include "record/RecordingCounters.h"

namespace ostrel {

// Chart bounds before it was enlarged (width, height, left, top); 0 until then.
struct ChartGeometry {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t left = 0;
  std::int32_t top = 0;
};

// The program-wide state: one object, owned by the program (main), created before the
// first window with the start values below and passed to whatever needs a part of it.
// Main thread only; never saved.
struct AppState {
  ReadingTexts reading;
  RecordingCounters recording;
  FrameAssemblerState assembler;
  std::string AppDirectory;           // folder of the program file, with trailing '/'
  std::string DecimalSeparatorText;   // from the process locale; empty when unreadable
  std::int32_t ReportPageTotal = 1;
  ChartGeometry savedChartGeometry;
};

}  // namespace ostrel

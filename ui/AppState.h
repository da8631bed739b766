#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "decode/ReadingTexts.h"
#include "link/frame/FrameAssemblerState.h"
#include "record/RecordingCounters.h"
#include "ui/chart/ChartGeometry.h"

namespace ostrel {

// The program-wide state: one object, owned by the program (main in app/), created before the
// first window with the start values below and passed to whatever needs a part of it. It lives
// beside the window because the window is its main reader; app/ may include anything, ui/
// nothing of app/. Main thread only; never saved.
struct AppState {
  ReadingTexts reading;
  RecordingCounters recording;
  FrameAssemblerState assembler;
  std::string AppDirectory;          // folder of the program file, with trailing '/'
  std::string DecimalSeparatorText;  // from the process locale; empty when unreadable
  std::int32_t ReportPageTotal = 1;
  ChartGeometry savedChartGeometry;
};

}  // namespace ostrel

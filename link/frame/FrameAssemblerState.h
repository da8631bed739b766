#pragma once

#include <string>

namespace ostrel {

// Frame assembly state kept between input reports (see FrameAssembler).
struct FrameAssemblerState {
  std::string HexAccumulator;  // serial bytes since the last frame end, upper-case hex
  bool FrameInProgress = false;
};

}  // namespace ostrel

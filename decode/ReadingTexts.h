#pragma once

#include <string>

namespace ostrel {

// The reading of the last decoded frame, as GBK byte strings. Written by the frame
// decoder, read by the recording rules. "\xA6\xB8" is the ohm sign in GBK.
struct ReadingTexts {
  std::string CurrentValue;                        // emptied at every frame
  std::string UnitText;                            // kept when a frame lights no unit
  std::string VRangeText = "IR:500V 20G\xA6\xB8";  // kept when a frame sets no range
  std::string IRangeText;                          // "Continuous" at every frame start
};

}  // namespace ostrel

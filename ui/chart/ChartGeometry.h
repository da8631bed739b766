#pragma once

#include <cstdint>

namespace ostrel {

// Chart bounds before it was enlarged (width, height, left, top); 0 until then.
struct ChartGeometry {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t left = 0;
  std::int32_t top = 0;
};

}  // namespace ostrel

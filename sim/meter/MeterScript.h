#pragma once

#include <vector>

#include "sim/frames/FrameBuilder.h"

namespace ostrel::sim {

// The frames of the virtual meter's demonstration sessions, in the order it plays them (then
// from the start again): insulation tests at 500, 1000, 2500 and 5000 V whose value moves across
// MΩ and GΩ with the bar graph following, a timed test with the timer running, a PI test, the
// comparator's GOOD and NG, DC and AC voltage, and the battery gauge running down.
std::vector<FrameBuilder::Frame> demoSession();

}  // namespace ostrel::sim

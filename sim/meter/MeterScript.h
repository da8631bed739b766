#pragma once

#include <string>
#include <vector>

#include "sim/frames/FrameBuilder.h"

namespace ostrel::sim {

// One stretch of the demonstration, in one mode of the meter, with the frames the meter's
// display shows meanwhile.
struct MeterPhase {
  std::string name;
  std::vector<FrameBuilder::Frame> frames;
};

// The virtual meter's demonstration, phase by phase, each showing what the meter's display
// shows in that mode:
//   - insulation tests at 500, 1000, 2500 and 5000 V: the test voltage with its V, the high
//     voltage warning from 1000 V on, the resistance climbing across MΩ, GΩ and (at 5000 V)
//     TΩ as the insulation charges, and the bar graph following the value; no DC or AC sign;
//   - a timed test (timer running, TIME1) and a PI test (TIME1 and TIME2, the ratio without a
//     unit, the stage symbols);
//   - the comparator, GOOD and NG: COMP with the limit and its small unit in the timer digits,
//     the buzzer at NG;
//   - DC and AC voltage: the DC or AC sign, V, a negative DC value; no bar graph;
//   - a low-resistance check in Ω;
//   - the memory: save, load, full and clear with the memory number;
//   - the battery gauge running down.
// Every phase shows the battery gauge and the auto power-off sign.
std::vector<MeterPhase> demoPhases();

// The frames of all phases in the order the meter plays them (then from the start again).
std::vector<FrameBuilder::Frame> demoSession();

}  // namespace ostrel::sim

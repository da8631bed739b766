#pragma once

#include <optional>
#include <string>
#include <string_view>
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
//   - first, a whole polarisation index test at 1000 V timed by the meter (timer running
//     from 00:00 to 10:00, TIME1 and TIME2, the stage symbols), the resistance following the
//     absorption curve of a sound winding, then the meter's own PI (the ratio without a unit);
//   - the comparator, GOOD and NG: COMP with the limit and its small unit in the timer digits,
//     the buzzer at NG;
//   - DC and AC voltage: the DC or AC sign, V, a negative DC value; no bar graph;
//   - a low-resistance check in Ω;
//   - the memory: save, load, full and clear with the memory number;
//   - the battery gauge running down.
// Every phase shows the battery gauge and the auto power-off sign.
//
// The meter's clock advances one frame period (0.24 s) per frame, so the timed test takes
// 10 minutes of frames; with clockSpeed N (1 to maxClockSpeed, clamped) it runs N times
// faster: about 15 s of frames at 60, a frame every 14.4 s of the test's time. Each mark of
// the test (15 s, 30 s, 1 min, 10 min) stays on the display for five frames, so that the
// link, which reads a frame and then lets those of the next 500 ms go, reads every mark at
// any speed. Only the timed test depends on the clock.
std::vector<MeterPhase> demoPhases(int clockSpeed = 1);

// The frames of all phases in the order the meter plays them (then from the start again).
std::vector<FrameBuilder::Frame> demoSession(int clockSpeed = 1);

// The fastest clock: the test's curve still has a reading every 45 s or less of its time.
constexpr int maxClockSpeed = 60;

// A clock speed as given on a command line ("--fast N"): a whole number from 1 to
// maxClockSpeed; nullopt for anything else.
std::optional<int> clockSpeedFromText(std::string_view text);

}  // namespace ostrel::sim

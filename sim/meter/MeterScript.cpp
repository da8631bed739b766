#include "sim/meter/MeterScript.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string>

#include "sim/meter/VirtualMeter.h"

namespace ostrel::sim {

namespace {

using Frames = std::vector<FrameBuilder::Frame>;

constexpr int framesPerTest = 12;
constexpr int barGraphLength = 31;

// Four digits with the point where the value needs it: 1.234, 12.34, 123.4 (value < 1000).
std::string valueText(double value) {
  char text[16];
  if (value < 10.0) {
    std::snprintf(text, sizeof text, "%.3f", value);
  } else if (value < 100.0) {
    std::snprintf(text, sizeof text, "%.2f", value);
  } else {
    std::snprintf(text, sizeof text, "%.1f", value);
  }
  return text;
}

// The display of every phase: battery outline with `bars` of its three bars, and the auto
// power-off sign.
FrameBuilder display(int bars) {
  FrameBuilder builder;
  builder.symbol("IGPower").symbol("IMoff");
  if (bars >= 1) builder.symbol("powerV1");
  if (bars >= 2) builder.symbol("powerv2");
  if (bars >= 3) builder.symbol("powerv3");
  return builder;
}

// An insulation test's voltage display: the four digits, their V, and from 1000 V on the high
// voltage warning (the thousands digit's flag, so a blank thousands digit cannot show it).
void showTestVoltage(FrameBuilder& builder, const char* voltage) {
  builder.testVoltage(voltage).symbol("Label4");
  if (voltage[0] != ' ') builder.symbol("danger");
}

// The bar graph follows the resistance on a logarithmic scale from 1 MΩ to the range's end.
int barsFor(double mohm, double rangeEndMOhm) {
  const double share = std::log10(std::max(mohm, 1.0)) / std::log10(rangeEndMOhm);
  return std::clamp(static_cast<int>(std::lround(share * barGraphLength)), 0, barGraphLength);
}

// The resistance in the unit the meter picks for it.
void showResistance(FrameBuilder& builder, double mohm, double rangeEndMOhm) {
  if (mohm < 1000.0) {
    builder.mainDigits(valueText(mohm)).unit("MΩ");
  } else if (mohm < 1'000'000.0) {
    builder.mainDigits(valueText(mohm / 1000.0)).unit("GΩ");
  } else {
    builder.mainDigits(valueText(mohm / 1'000'000.0)).unit("TΩ");
  }
  builder.barGraph(barsFor(mohm, rangeEndMOhm));
}

// Resistance climbing as the insulation charges.
MeterPhase insulationTest(const char* name, const char* voltage, double startMOhm, double growth,
                          double rangeEndMOhm) {
  MeterPhase phase{name, {}};
  double mohm = startMOhm;
  for (int i = 0; i < framesPerTest; ++i, mohm *= growth) {
    FrameBuilder builder = display(3);
    showTestVoltage(builder, voltage);
    showResistance(builder, mohm, rangeEndMOhm);
    phase.frames.push_back(builder.bytes());
  }
  return phase;
}

// The timer's min:sec of a time in whole seconds shown.
std::string timerText(double seconds) {
  const int whole = static_cast<int>(seconds);
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", whole / 60 % 100, whole % 60);
  return text;
}

// The resistance of a sound winding under a steady test voltage, in MΩ: the absorption
// current fades as 1/√t while the leakage current stays, so R climbs towards 16 GΩ,
// R(1 min) is about 1.96 GΩ, R(10 min) 4.89 GΩ (PI 2.50) and R(30 s) 1.44 GΩ (DAR 1.36).
double absorptionMOhm(double seconds) {
  constexpr double finalMOhm = 16'000.0;
  constexpr double absorption = 55.6;
  return finalMOhm / (1.0 + absorption / std::sqrt(std::max(seconds, 1.0)));
}

constexpr double piTestSeconds = 600.0;

// The meter's clock advances by this much between two frames at clock speed 1: one frame
// period of its line (VirtualMeter: 20 reports of 12 ms).
constexpr double framePeriodS =
    static_cast<double>(VirtualMeter::reportPeriod.count() * VirtualMeter::reportsPerFrame) /
    1000.0;

// The marks of a test (15 s, 30 s, 1 min, 10 min) stand on the display for five frames
// (1.2 s). The link reads a frame, then lets the frames of the next 500 ms go, so a reading
// falls on each mark at any clock speed, however far apart the readings are in the test's time.
constexpr std::array<double, 4> markSeconds = {15.0, 30.0, 60.0, piTestSeconds};
constexpr int framesAtAMark = 5;

// A polarisation index test at 1000 V, timed by the meter: the timer counts from 00:00 to
// 10:00 while the resistance follows the absorption curve; the stage symbols show the first
// stage until TIME1 (1 min) and the second until TIME2 (10 min). The clock runs clockSpeed
// times faster than the frames come; the marks are shown as above whatever the speed.
MeterPhase timedTest(int clockSpeed) {
  MeterPhase phase{"timed test", {}};
  const double step = framePeriodS * clockSpeed;
  const auto show = [&phase](double seconds, int frames) {
    FrameBuilder builder = display(3);
    showTestVoltage(builder, "1000");
    builder.symbol("power").symbol("labTIME1").symbol("labtime2");
    builder.symbol(seconds < 60.0 ? "labs1" : "labs2").timer(timerText(seconds));
    showResistance(builder, absorptionMOhm(seconds), 40'000.0);
    phase.frames.insert(phase.frames.end(), static_cast<std::size_t>(frames), builder.bytes());
  };
  std::size_t nextMark = 0;
  for (int frame = 0; frame * step < piTestSeconds; ++frame) {
    const double seconds = frame * step;
    for (; markSeconds[nextMark] <= seconds; ++nextMark) {
      if (markSeconds[nextMark] < seconds) show(markSeconds[nextMark], framesAtAMark);
    }
    const bool atAMark =
        std::find(markSeconds.begin(), markSeconds.end(), seconds) != markSeconds.end();
    show(seconds, atAMark ? framesAtAMark : 1);
  }
  show(piTestSeconds, framesAtAMark);
  return phase;
}

// The test's result as the meter shows it at 10:00: the polarisation index, R(10 min) over
// R(1 min), a ratio without a unit, with the third stage symbol.
MeterPhase piResult() {
  MeterPhase phase{"PI test", {}};
  const double pi = absorptionMOhm(piTestSeconds) / absorptionMOhm(60.0);
  for (int i = 0; i < 6; ++i) {
    FrameBuilder builder = display(3);
    showTestVoltage(builder, "1000");
    builder.symbol("labp1").symbol("labTIME1").symbol("labtime2").symbol("labs3");
    builder.timer(timerText(piTestSeconds)).mainDigits(valueText(pi));
    phase.frames.push_back(builder.bytes());
  }
  return phase;
}

// The limit stands in the timer digits with its small unit; COMP is the flag of the third
// timer digit, so the limit always has at least two digits.
MeterPhase comparator(bool good) {
  MeterPhase phase{good ? "comparator GOOD" : "comparator NG", {}};
  for (int i = 0; i < 6; ++i) {
    FrameBuilder builder = display(2);
    builder.symbol("labCOMP");
    if (good) {
      showTestVoltage(builder, " 500");
      builder.timer(" 100").symbol("labmo").symbol("Labgood");
      showResistance(builder, 250.0 + i, 20'000.0);
    } else {
      showTestVoltage(builder, "1000");
      builder.timer("  10").symbol("Labgo").symbol("Labng").symbol("IMmike");
      showResistance(builder, 0.85 + 0.01 * i, 40'000.0);
    }
    phase.frames.push_back(builder.bytes());
  }
  return phase;
}

MeterPhase voltage(bool dc) {
  MeterPhase phase{dc ? "DC voltage" : "AC voltage", {}};
  for (int i = 0; i < 6; ++i) {
    FrameBuilder builder = display(1);
    builder.symbol(dc ? "labdc" : "labac").unit("V");
    if (dc) {
      builder.mainDigits(valueText(12.0 + 0.5 * i)).minus(i % 2 == 1);
    } else {
      builder.mainDigits(valueText(229.5 - 0.7 * i));
    }
    phase.frames.push_back(builder.bytes());
  }
  return phase;
}

MeterPhase lowResistance() {
  MeterPhase phase{"low resistance", {}};
  for (int i = 0; i < 6; ++i) {
    FrameBuilder builder = display(1);
    builder.mainDigits(valueText(0.52 + 0.01 * i)).unit("Ω");
    phase.frames.push_back(builder.bytes());
  }
  return phase;
}

// A 500 V result stored in place 1 and recalled, the memory filling up, then cleared.
MeterPhase memory() {
  MeterPhase phase{"memory", {}};
  auto stored = [](const char* symbol, char place) {
    FrameBuilder builder = display(2);
    showTestVoltage(builder, " 500");
    showResistance(builder, 152.0, 20'000.0);
    builder.symbol("stor1").memory(place).symbol(symbol);
    return builder;
  };
  for (int i = 0; i < 3; ++i) phase.frames.push_back(stored("labsave", '1').bytes());
  for (int i = 0; i < 3; ++i) phase.frames.push_back(stored("labLoad", '1').bytes());
  for (int i = 0; i < 3; ++i) phase.frames.push_back(stored("LabFUL", '9').bytes());
  for (int i = 0; i < 3; ++i) {
    FrameBuilder builder = display(2);
    builder.timer("00:00").symbol("Labclr").symbol("stor1").memory('0');
    phase.frames.push_back(builder.bytes());
  }
  return phase;
}

MeterPhase batteryGauge() {
  MeterPhase phase{"battery", {}};
  for (int bars = 3; bars >= 0; --bars) {
    for (int i = 0; i < 3; ++i) {
      FrameBuilder builder = display(bars);
      showTestVoltage(builder, " 500");
      showResistance(builder, 25.0, 20'000.0);
      phase.frames.push_back(builder.bytes());
    }
  }
  return phase;
}

}  // namespace

std::optional<int> clockSpeedFromText(std::string_view text) {
  int speed = 0;
  const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), speed);
  if (status != std::errc{} || end != text.data() + text.size() || speed < 1 ||
      speed > maxClockSpeed) {
    return std::nullopt;
  }
  return speed;
}

std::vector<MeterPhase> demoPhases(int clockSpeed) {
  clockSpeed = std::clamp(clockSpeed, 1, maxClockSpeed);
  return {
      // The whole timed test first, so that a demonstration shows a test's figures soon.
      timedTest(clockSpeed),
      piResult(),
      insulationTest("insulation 500 V", " 500", 1.5, 1.6, 20'000.0),
      insulationTest("insulation 1000 V", "1000", 4.0, 1.6, 40'000.0),
      insulationTest("insulation 2500 V", "2500", 12.0, 1.6, 100'000.0),
      insulationTest("insulation 5000 V", "5000", 20'000.0, 1.5, 1'000'000.0),
      // No 500 V display right after a 2500 V one: the hidden thousands digit would keep its
      // 2, and the 500 V display would still read as the 2500 V range.
      comparator(false),
      comparator(true),
      voltage(true),
      voltage(false),
      lowResistance(),
      memory(),
      batteryGauge(),
  };
}

std::vector<FrameBuilder::Frame> demoSession(int clockSpeed) {
  Frames frames;
  for (const MeterPhase& phase : demoPhases(clockSpeed)) {
    frames.insert(frames.end(), phase.frames.begin(), phase.frames.end());
  }
  return frames;
}

}  // namespace ostrel::sim

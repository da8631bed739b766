#include "sim/meter/MeterScript.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

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

MeterPhase timedTest() {
  MeterPhase phase{"timed test", {}};
  for (int second = 0; second < framesPerTest; ++second) {
    char timer[8];
    std::snprintf(timer, sizeof timer, "00:%02d", second);
    FrameBuilder builder = display(3);
    showTestVoltage(builder, "1000");
    builder.symbol("power").symbol("labTIME1").timer(timer);
    showResistance(builder, 20'000.0 + 500.0 * second, 40'000.0);
    phase.frames.push_back(builder.bytes());
  }
  return phase;
}

// The polarisation index: the ratio of the 10-minute to the 1-minute resistance, no unit.
MeterPhase piTest() {
  MeterPhase phase{"PI test", {}};
  const char* stages[] = {"labs1", "labs1", "labs2", "labs2", "labs3", "labs3"};
  for (int i = 0; i < 6; ++i) {
    char timer[8];
    std::snprintf(timer, sizeof timer, "%02d:00", 1 + i * 9 / 5);
    FrameBuilder builder = display(2);
    showTestVoltage(builder, "2500");
    builder.symbol("labp1").symbol("labTIME1").symbol("labtime2").symbol(stages[i]);
    builder.timer(timer).mainDigits(valueText(2.1 + 0.1 * i));
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

std::vector<MeterPhase> demoPhases() {
  return {
      insulationTest("insulation 500 V", " 500", 1.5, 1.6, 20'000.0),
      insulationTest("insulation 1000 V", "1000", 4.0, 1.6, 40'000.0),
      insulationTest("insulation 2500 V", "2500", 12.0, 1.6, 100'000.0),
      insulationTest("insulation 5000 V", "5000", 20'000.0, 1.5, 1'000'000.0),
      timedTest(),
      piTest(),
      // NG at 1000 V before GOOD at 500 V: after the 2500 V of the PI test the thousands digit
      // would keep its 2, and a 500 V display would still read as the 2500 V range.
      comparator(false),
      comparator(true),
      voltage(true),
      voltage(false),
      lowResistance(),
      memory(),
      batteryGauge(),
  };
}

std::vector<FrameBuilder::Frame> demoSession() {
  Frames frames;
  for (const MeterPhase& phase : demoPhases()) {
    frames.insert(frames.end(), phase.frames.begin(), phase.frames.end());
  }
  return frames;
}

}  // namespace ostrel::sim

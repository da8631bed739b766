#include "sim/meter/MeterScript.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace ostrel::sim {

namespace {

constexpr int framesPerTest = 12;

// A value with three significant digits and its point, e.g. 1.23, 12.3, 123. (MΩ/GΩ).
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

FrameBuilder withBattery(int bars) {
  FrameBuilder builder;
  builder.symbol("IGPower");
  if (bars >= 1) builder.symbol("powerV1");
  if (bars >= 2) builder.symbol("powerv2");
  if (bars >= 3) builder.symbol("powerv3");
  return builder;
}

// Resistance climbing from a few MΩ up into GΩ (as the insulation charges).
void addInsulationTest(std::vector<FrameBuilder::Frame>& frames, const char* voltage,
                       double startMOhm) {
  double mohm = startMOhm;
  for (int i = 0; i < framesPerTest; ++i, mohm *= 1.6) {
    FrameBuilder builder = withBattery(3);
    builder.testVoltage(voltage).symbol("labdc");
    if (mohm < 1000.0) {
      builder.mainDigits(valueText(mohm)).unit("MΩ");
    } else {
      builder.mainDigits(valueText(mohm / 1000.0)).unit("GΩ");
    }
    builder.barGraph(std::min(31, 4 + i * 27 / framesPerTest));
    frames.push_back(builder.bytes());
  }
}

void addTimedTest(std::vector<FrameBuilder::Frame>& frames) {
  for (int second = 0; second < framesPerTest; ++second) {
    char timer[8];
    std::snprintf(timer, sizeof timer, "00:%02d", second);
    FrameBuilder builder = withBattery(3);
    builder.testVoltage("1000").symbol("power").timer(timer).mainDigits(valueText(20.0 + second))
        .unit("GΩ").barGraph(20);
    frames.push_back(builder.bytes());
  }
}

void addPiTest(std::vector<FrameBuilder::Frame>& frames) {
  for (int i = 0; i < framesPerTest / 2; ++i) {
    FrameBuilder builder = withBattery(2);
    builder.testVoltage("2500").symbol("labp1").mainDigits(valueText(2.1 + 0.1 * i));
    frames.push_back(builder.bytes());
  }
}

void addComparator(std::vector<FrameBuilder::Frame>& frames) {
  for (const char* verdict : {"Labgood", "Labng"}) {
    for (int i = 0; i < framesPerTest / 2; ++i) {
      FrameBuilder builder = withBattery(2);
      builder.testVoltage(" 500").symbol("labCOMP").symbol(verdict);
      builder.mainDigits(valueText(verdict[3] == 'g' ? 250.0 : 0.85)).unit("MΩ").barGraph(12);
      frames.push_back(builder.bytes());
    }
  }
}

void addVoltages(std::vector<FrameBuilder::Frame>& frames) {
  for (int i = 0; i < framesPerTest / 2; ++i) {
    FrameBuilder dc = withBattery(1);
    dc.symbol("labdc").mainDigits(std::to_string(230 + i)).unit("V");
    frames.push_back(dc.bytes());
  }
  for (int i = 0; i < framesPerTest / 2; ++i) {
    FrameBuilder ac = withBattery(1);
    ac.symbol("labac").mainDigits(std::to_string(228 - i)).unit("V");
    frames.push_back(ac.bytes());
  }
}

void addBatteryGauge(std::vector<FrameBuilder::Frame>& frames) {
  for (int bars = 3; bars >= 0; --bars) {
    for (int i = 0; i < 3; ++i) {
      FrameBuilder builder = withBattery(bars);
      builder.testVoltage(" 500").mainDigits(" 0.00").unit("MΩ");
      frames.push_back(builder.bytes());
    }
  }
}

}  // namespace

std::vector<FrameBuilder::Frame> demoSession() {
  std::vector<FrameBuilder::Frame> frames;
  addInsulationTest(frames, " 500", 1.5);
  addInsulationTest(frames, "1000", 4.0);
  addInsulationTest(frames, "2500", 12.0);
  addInsulationTest(frames, "5000", 40.0);
  addTimedTest(frames);
  addPiTest(frames);
  addComparator(frames);
  addVoltages(frames);
  addBatteryGauge(frames);
  return frames;
}

}  // namespace ostrel::sim

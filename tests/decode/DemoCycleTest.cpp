// The virtual meter's demonstration decoded as the window decodes it: each phase must read as
// what a meter shows in that mode, and together the phases must light the whole display.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "decode/FrameDecoder.h"
#include "pipeline/FramePipeline.h"
#include "record/InsulationTests.h"
#include "record/RecordingRules.h"
#include "sim/meter/MeterScript.h"

namespace ostrel {
namespace {

using E = DisplayElement;

const std::string ohm = "\xA6\xB8";

struct PhaseReading {
  const char* phase;
  const char* firstValue;
  const char* lastValue;  // of the last frame offered for recording
  std::set<std::string> units;
  std::string vrange;
  const char* irange;
  enum { BarGraphFollows, BarGraphSteady, NoBarGraph } bars;
};

std::string hex(const sim::FrameBuilder::Frame& frame) {
  static const char* digits = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t byte : frame) {
    text += digits[byte >> 4];
    text += digits[byte & 0x0F];
  }
  return text;
}

int litBars(const DisplayModel& model) {
  int bars = 0;
  for (int bar = 0; bar <= 30; ++bar) bars += model.isVisible(barElement(bar)) ? 1 : 0;
  return bars;
}

TEST(DemoCycle, EachPhaseReadsAsTheMeterShowsItAndTheWholeDisplayIsUsed) {
  const std::string mohm = "M" + ohm;
  const std::string gohm = "G" + ohm;
  const std::vector<PhaseReading> expected = {
      // The whole ten-minute test, R climbing from 282.7 MΩ to 4.893 GΩ, then the meter's PI.
      {"timed test",
       "282.7",
       "4.893",
       {mohm, gohm},
       "IR:1000V 40G" + ohm,
       "Timed",
       PhaseReading::BarGraphFollows},
      // A polarisation index is a ratio without a unit.
      {"PI test", "2.501", "2.501", {""}, "IR:1000V 40G" + ohm, "PI", PhaseReading::BarGraphSteady},
      {"insulation 500 V",
       "1.500",
       "263.9",
       {mohm},
       "IR:500V 20G" + ohm,
       "Continuous",
       PhaseReading::BarGraphFollows},
      {"insulation 1000 V",
       "4.000",
       "703.7",
       {mohm},
       "IR:1000V 40G" + ohm,
       "Continuous",
       PhaseReading::BarGraphFollows},
      {"insulation 2500 V",
       "12.00",
       "2.111",
       {mohm, gohm},
       "IR:2500 100G" + ohm,
       "Continuous",
       PhaseReading::BarGraphFollows},
      // TΩ is the last main digit's flag: the unit, not a separator.
      {"insulation 5000 V",
       "20.00",
       "1.730",
       {gohm, "T" + ohm},
       "IR:5000V 1000G" + ohm,
       "Continuous",
       PhaseReading::BarGraphFollows},
      {"comparator NG",
       "0.850",
       "0.900",
       {mohm},
       "IR:1000V 40G" + ohm,
       "COMP:NG",
       PhaseReading::BarGraphSteady},
      {"comparator GOOD",
       "250.0",
       "255.0",
       {mohm},
       "IR:500V 20G" + ohm,
       "COMP:GOOD",
       PhaseReading::BarGraphFollows},
      {"DC voltage", "12.00", "-14.50", {"V"}, "DCV  600V", "Continuous", PhaseReading::NoBarGraph},
      {"AC voltage", "229.5", "226.0", {"V"}, "ACV  600V", "Continuous", PhaseReading::NoBarGraph},
      {"low resistance",
       "0.520",
       "0.570",
       {ohm},
       "IR:500V 20G" + ohm,
       "Continuous",
       PhaseReading::BarGraphSteady},
      {"memory",
       "152.0",
       "152.0",
       {mohm},
       "IR:500V 20G" + ohm,
       "Continuous",
       PhaseReading::BarGraphSteady},
      {"battery",
       "25.00",
       "25.00",
       {mohm},
       "IR:500V 20G" + ohm,
       "Continuous",
       PhaseReading::BarGraphSteady},
  };

  const std::vector<sim::MeterPhase> phases = sim::demoPhases();
  ASSERT_EQ(phases.size(), expected.size());

  DisplayModel model;
  ReadingTexts reading;
  FrameDecoder decoder(model, reading, ".");
  std::vector<ReadingTexts> offered;
  decoder.setRecordHook([&](int) { offered.push_back(reading); });
  std::set<E> lit;

  for (std::size_t p = 0; p < phases.size(); ++p) {
    const PhaseReading& want = expected[p];
    SCOPED_TRACE(want.phase);
    ASSERT_EQ(phases[p].name, want.phase);
    offered.clear();
    int previousBars = 0;
    for (const auto& frame : phases[p].frames) {
      ASSERT_EQ(decoder.ShowData860(hex(frame)), FrameDecoder::Outcome::Decoded);
      for (std::size_t i = 0; i < displayElementCount; ++i) {
        if (model.isVisible(static_cast<E>(i))) lit.insert(static_cast<E>(i));
      }
      const bool voltage = want.bars == PhaseReading::NoBarGraph;
      EXPECT_EQ(model.isVisible(E::labdc) || model.isVisible(E::labac), voltage);
      EXPECT_EQ(model.isVisible(E::KD), !voltage);
      if (want.bars == PhaseReading::BarGraphFollows) {
        EXPECT_GE(litBars(model), previousBars) << "the value climbs, so does the bar graph";
        previousBars = litBars(model);
      }
    }
    ASSERT_FALSE(offered.empty());
    EXPECT_EQ(offered.front().CurrentValue, want.firstValue);
    EXPECT_EQ(offered.back().CurrentValue, want.lastValue);
    for (const ReadingTexts& r : offered) {
      EXPECT_EQ(want.units.count(r.UnitText), 1U) << r.UnitText;
      EXPECT_EQ(r.VRangeText, want.vrange);
      EXPECT_EQ(r.IRangeText, want.irange);
    }
    if (want.bars == PhaseReading::BarGraphFollows) {
      EXPECT_GT(previousBars, 0);
    }
  }

  // Every element a frame can light: the reset set and the thirteen digits.
  DisplayModel blank;
  blank.DispInit(0);
  for (std::size_t i = 0; i < displayElementCount; ++i) {
    const auto e = static_cast<E>(i);
    if (e == E::CONok || (blank.isVisible(e) && !DisplayModel::isDigit(e))) continue;
    EXPECT_EQ(lit.count(e), 1U) << displayElementName(e) << " is never lit";
  }
}

// The demonstration's timed test as the window records and judges it, at the meter's own
// pace and with its clock sped up: one test of 10 minutes at 1000 V with every figure, the
// resistance rising, DAR and PI as the absorption curve gives them, the meter's PI among its
// readings, and a verdict.
TEST(DemoCycle, TheTimedTestIsWholeAndJudgedAtEveryClockSpeed) {
  for (const int speed : {1, 7, 10, sim::maxClockSpeed}) {
    SCOPED_TRACE(speed);
    DisplayModel display;
    ReadingTexts reading;
    ReadingsTable table;
    RecordingCounters counters;
    counters.RecordLimit = 100'000;
    RecordingControls controls;
    std::int32_t now = 9 * 3'600'000;
    RecordingRules rules(table, counters, controls, [&now] { return now += 240; });
    FramePipeline pipeline(display, reading, rules, ".");
    const std::vector<sim::FrameBuilder::Frame> frames = sim::demoSession(speed);
    for (const auto& frame : frames) ASSERT_TRUE(pipeline.frameHandler()(hex(frame)));

    const std::vector<InsulationTest> tests = findInsulationTests(table);
    ASSERT_FALSE(tests.empty());
    const InsulationTest& test = tests.front();
    EXPECT_EQ(test.voltageV, 1000);
    EXPECT_TRUE(test.timed);
    EXPECT_EQ(test.durationS, 600);
    const std::vector<sim::MeterPhase> phases = sim::demoPhases(speed);
    EXPECT_EQ(test.readings, phases[0].frames.size() + phases[1].frames.size())
        << "every frame of the test and of its PI is a reading of the one test";
    for (std::size_t i = 1; i < test.curve.size(); ++i) {
      EXPECT_GE(test.curve[i].first, test.curve[i - 1].first);
      EXPECT_GE(test.curve[i].second, test.curve[i - 1].second) << "R rises with time";
    }
    // Each mark is on the display for five frames, so the figures are readings at the marks.
    for (const double mark : {15.0, 30.0, 60.0, 600.0}) {
      EXPECT_GE(std::count_if(test.curve.begin(), test.curve.end(),
                              [mark](const auto& point) { return point.first == mark; }),
                5)
          << mark;
    }
    for (const MarkFigure* mark : {&test.r15, &test.r30, &test.r60, &test.r600}) {
      EXPECT_TRUE(mark->ohm().has_value());
    }
    ASSERT_TRUE(test.dar && test.pi && test.meterPi);
    // At the meter's own pace the timer shows each second for four frames: the figure is the
    // last of them, up to 0.96 s after the mark.
    EXPECT_NEAR(*test.dar, 1.36, 0.015);
    EXPECT_NEAR(*test.pi, 2.50, 0.03);
    EXPECT_NEAR(*test.meterPi, 2.501, 1e-9);
    EXPECT_EQ(test.verdict, "pass");
  }
  EXPECT_EQ(sim::demoSession(sim::maxClockSpeed + 1), sim::demoSession(sim::maxClockSpeed));
  EXPECT_EQ(sim::clockSpeedFromText("60"), 60);
  for (const char* wrong : {"0", "61", "-1", "1.5", "", "10x", " 10"}) {
    EXPECT_EQ(sim::clockSpeedFromText(wrong), std::nullopt) << wrong;
  }
}

}  // namespace
}  // namespace ostrel

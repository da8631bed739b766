// Insulation tests found in readings tables with a known R(t): the figures, the ratios and
// the verdicts.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "record/InsulationTests.h"

namespace ostrel {
namespace {

constexpr const char* mohm = "M\xA6\xB8";
constexpr const char* ir1000 = "IR:1000V 40G\xA6\xB8";
constexpr std::int32_t start = ((10 * 60 + 0) * 60 + 0) * 1000;  // 10:00:00

// R(t) = 50 MΩ (1 + t / 60): R15 62.5, R30 75, R60 100, R600 550 MΩ, so DAR 60/30 = 4/3,
// DAR 60/15 = 1.6 and PI = 5.5.
double knownMOhm(double t) { return 50.0 * (1.0 + t / 60.0); }

std::string mohmText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

struct Run {
  int everyS = 5;
  int untilS = 600;
  bool timer = true;  // the meter's timer kept with each reading
  std::string function = ir1000;
  std::function<std::string(int t)> value = [](int t) { return mohmText(knownMOhm(t)); };
  int clockOffsetS = 0;  // the first reading's time of day after `start`
};

void appendRun(ReadingsTable& table, const Run& run) {
  for (int t = 0; t <= run.untilS; t += run.everyS) {
    RecordFields fields{static_cast<std::int32_t>(table.recordCount() + 1),
                        start + (run.clockOffsetS + t) * 1000,
                        run.value(t),
                        std::string(mohm),
                        run.function,
                        std::string(run.timer ? "Timed" : "Continuous")};
    if (run.timer) fields.TestTime = t;
    table.append(fields);
  }
}

void expectKnownFigures(const InsulationTest& test) {
  EXPECT_EQ(test.voltageV, 1000);
  EXPECT_EQ(test.function, ir1000);
  EXPECT_EQ(test.startMs, start);
  EXPECT_DOUBLE_EQ(test.durationS, 600);
  EXPECT_EQ(test.readings, 121u);
  EXPECT_DOUBLE_EQ(*test.r15.ohm(), 62.5e6);
  EXPECT_DOUBLE_EQ(*test.r30.ohm(), 75e6);
  EXPECT_DOUBLE_EQ(*test.r60.ohm(), 100e6);
  EXPECT_DOUBLE_EQ(*test.r600.ohm(), 550e6);
  EXPECT_NEAR(*test.dar, 4.0 / 3.0, 1e-12);
  EXPECT_NEAR(*test.pi, 5.5, 1e-12);
  EXPECT_EQ(test.meterPi, std::nullopt);
  EXPECT_DOUBLE_EQ(*test.minOhm, 50e6);
  EXPECT_EQ(test.verdict, "pass");
}

TEST(InsulationTests, TenMinuteTimedTestGivesEveryFigure) {
  ReadingsTable table;
  appendRun(table, {});
  const auto tests = findInsulationTests(table);
  ASSERT_EQ(tests.size(), 1u);
  expectKnownFigures(tests[0]);
  EXPECT_TRUE(tests[0].timed);
  EXPECT_EQ(tests[0].curve.size(), 121u);
}

// The same test recorded without the timer: the Time column gives the elapsed time.
TEST(InsulationTests, WithoutTestTimesTheClockGivesElapsedTime) {
  ReadingsTable table;
  appendRun(table, {.timer = false});
  const auto tests = findInsulationTests(table);
  ASSERT_EQ(tests.size(), 1u);
  expectKnownFigures(tests[0]);
  EXPECT_FALSE(tests[0].timed);
}

// A figure is the last reading at or before its mark, and only within 5 s of it.
TEST(InsulationTests, FiguresAreTheLastReadingWithinFiveSecondsBeforeTheMark) {
  ReadingsTable every7;
  appendRun(every7, {.everyS = 7});  // 14, 28, 56 and 595 s: all within 5 s
  auto tests = findInsulationTests(every7);
  ASSERT_EQ(tests.size(), 1u);
  EXPECT_NEAR(*tests[0].r15.ohm(), knownMOhm(14) * 1e6, 1e3);  // recorded to 1 kΩ
  EXPECT_NEAR(*tests[0].r30.ohm(), knownMOhm(28) * 1e6, 1e3);
  EXPECT_NEAR(*tests[0].r60.ohm(), knownMOhm(56) * 1e6, 1e3);
  EXPECT_NEAR(*tests[0].r600.ohm(), knownMOhm(595) * 1e6, 1e3);

  ReadingsTable every12;
  appendRun(every12, {.everyS = 12, .untilS = 72});  // 12 (3 s before 15), 24 (6 s before 30)
  tests = findInsulationTests(every12);
  ASSERT_EQ(tests.size(), 1u);
  EXPECT_NEAR(*tests[0].r15.ohm(), knownMOhm(12) * 1e6, 1e3);
  EXPECT_FALSE(tests[0].r30.found);
  EXPECT_EQ(tests[0].dar, std::nullopt);
  EXPECT_DOUBLE_EQ(*tests[0].r60.ohm(), 100e6);
  EXPECT_FALSE(tests[0].r600.found);
  EXPECT_EQ(tests[0].pi, std::nullopt);
  EXPECT_EQ(tests[0].verdict, "pass");  // a spot test: PI is not asked
}

// An over-range reading at 30 s makes the DAR undefined (never a number); the rest stands.
TEST(InsulationTests, OverRangeAtThirtySecondsLeavesTheDarUndefined) {
  for (const bool timer : {true, false}) {
    ReadingsTable table;
    appendRun(table, {.timer = timer, .value = [](int t) {
                        return t == 30 ? std::string("OL") : mohmText(knownMOhm(t));
                      }});
    const auto tests = findInsulationTests(table);
    ASSERT_EQ(tests.size(), 1u);
    const InsulationTest& test = tests[0];
    EXPECT_TRUE(test.r30.found && test.r30.r.overRange);
    EXPECT_EQ(test.r30.ohm(), std::nullopt);
    EXPECT_EQ(test.dar, std::nullopt);
    EXPECT_NEAR(*test.pi, 5.5, 1e-12);
    EXPECT_DOUBLE_EQ(*test.minOhm, 50e6);
    EXPECT_EQ(test.verdict, "pass");
    EXPECT_NE(insulationTestsJson(tests).find("\"r30_ohm\": null, "), std::string::npos);
    // With DAR 60/15 the 30-s reading is not needed.
    TestJudgement judgement;
    judgement.dar = DarMarks::R60R15;
    EXPECT_NEAR(*findInsulationTests(table, judgement)[0].dar, 1.6, 1e-12);
  }
}

TEST(InsulationTests, AGapOfMoreThanTenSecondsStartsANewTestWithoutTestTimes) {
  ReadingsTable table;
  appendRun(table, {.untilS = 60, .timer = false});
  appendRun(table, {.untilS = 30, .timer = false, .clockOffsetS = 71});   // 11 s later
  appendRun(table, {.untilS = 30, .timer = false, .clockOffsetS = 111});  // 10 s later
  const auto tests = findInsulationTests(table);
  ASSERT_EQ(tests.size(), 2u);
  EXPECT_EQ(tests[0].readings, 13u);
  EXPECT_DOUBLE_EQ(*tests[0].r60.ohm(), 100e6);
  EXPECT_EQ(tests[1].readings, 14u);
  EXPECT_EQ(tests[1].startMs, start + 71'000);
  EXPECT_DOUBLE_EQ(tests[1].durationS, 70);
  // Elapsed 60 s of the second test is 20 s into the third run, 10 s after the second.
  EXPECT_NEAR(*tests[1].r60.ohm(), knownMOhm(20) * 1e6, 1e3);
  EXPECT_EQ(tests[1].number, 2);

  // With test times the clock's gaps do not split a test.
  ReadingsTable timed;
  appendRun(timed, {.everyS = 30, .untilS = 600});
  EXPECT_EQ(findInsulationTests(timed).size(), 1u);
}

// A falling timer, another function or test voltage, and any reading that is not an
// insulation test each end a test.
TEST(InsulationTests, FallingTimerOrOtherFunctionStartsTheNextTest) {
  ReadingsTable table;
  appendRun(table, {.everyS = 10, .untilS = 60});  // 7 readings
  appendRun(table, {.everyS = 10, .untilS = 30});  // timer restarts
  appendRun(table, {.everyS = 10, .untilS = 20, .function = "IR:500V 20G\xA6\xB8"});
  table.append({99, start, "12.0", "V", "DCV  600V", "Continuous", 25});  // no insulation test
  appendRun(table, {.everyS = 10, .untilS = 20, .function = "IR:500V 20G\xA6\xB8"});
  // A low-resistance check keeps the display's last test voltage but is no insulation test.
  table.append({100, start, "0.52", "\xA6\xB8", "IR:500V 20G\xA6\xB8", "Continuous", 25});
  appendRun(table, {.everyS = 10, .untilS = 20, .function = "IR:500V 20G\xA6\xB8"});
  const auto tests = findInsulationTests(table);
  ASSERT_EQ(tests.size(), 5u);
  EXPECT_EQ(tests[4].firstRow, 19u);
  EXPECT_EQ(tests[0].readings, 7u);
  EXPECT_EQ(tests[1].readings, 4u);
  EXPECT_EQ(tests[2].voltageV, 500);
  EXPECT_EQ(tests[2].readings, 3u);
  EXPECT_EQ(tests[3].readings, 3u);
  EXPECT_EQ(tests[3].firstRow, 15u);
}

struct VerdictCase {
  const char* name;
  TestJudgement judgement;
  int untilS;
  const char* verdict;
  std::optional<double> r60At40C;
};

void PrintTo(const VerdictCase& c, std::ostream* os) { *os << c.name; }

class Verdict : public testing::TestWithParam<VerdictCase> {};

TEST_P(Verdict, JudgesTheOneMinuteResistanceAndThePi) {
  const VerdictCase& c = GetParam();
  ReadingsTable table;
  appendRun(table, {.untilS = c.untilS});
  const auto tests = findInsulationTests(table, c.judgement);
  ASSERT_EQ(tests.size(), 1u);
  EXPECT_EQ(tests[0].verdict, c.verdict);
  if (c.r60At40C) {
    EXPECT_NEAR(*tests[0].r60At40COhm, *c.r60At40C, 1e-3);
  } else {
    EXPECT_EQ(tests[0].r60At40COhm, std::nullopt);
  }
  EXPECT_FALSE(tests[0].reasons.empty());
}

TestJudgement at(double celsius, MinimumClass minimum = MinimumClass::FormWound100M,
                 double fixedMOhm = 100) {
  TestJudgement j;
  j.windingTemperatureC = celsius;
  j.minimum = minimum;
  j.fixedMinimumMOhm = fixedMOhm;
  return j;
}

TestJudgement thermal(char thermalClass) {
  TestJudgement j;
  j.thermalClass = thermalClass;
  return j;
}

// R(1 min) 100 MΩ measured; corrected to 40 °C it halves for every 10 °C below 40.
INSTANTIATE_TEST_SUITE_P(
    Cases, Verdict,
    testing::Values(
        VerdictCase{"DefaultsPass", {}, 600, "pass", std::nullopt},
        VerdictCase{"At40CUnchanged", at(40), 600, "pass", 100e6},
        VerdictCase{"At20CQuarterFails", at(20), 600, "fail", 25e6},
        VerdictCase{"At50CDoublePasses", at(50), 600, "pass", 200e6},
        VerdictCase{"RandomWound5MPasses", at(20, MinimumClass::RandomWound5M), 600, "pass", 25e6},
        VerdictCase{"KvPlusOneIsTwoMegohm", at(0, MinimumClass::KvPlusOne), 600, "pass", 6.25e6},
        VerdictCase{"FixedThirtyFails", at(20, MinimumClass::Fixed, 30), 600, "fail", 25e6},
        VerdictCase{"TooShortForOneMinute", {}, 50, "incomplete", std::nullopt},
        VerdictCase{"ClassAPasses", thermal('A'), 600, "pass", std::nullopt}),
    [](const testing::TestParamInfo<VerdictCase>& paramInfo) {
      return std::string(paramInfo.param.name);
    });

TEST(InsulationTests, LowPiFailsAndAHighOneMinuteResistanceMakesPiMeaningless) {
  // Flat 200 MΩ up to 1 min, then 300 MΩ: PI 1.5 fails class B, passes class A.
  const auto flat = [](int t) { return mohmText(t <= 60 ? 200.0 : 300.0); };
  ReadingsTable table;
  appendRun(table, {.value = flat});
  auto tests = findInsulationTests(table);
  EXPECT_NEAR(*tests[0].pi, 1.5, 1e-12);
  EXPECT_NEAR(*tests[0].dar, 1.0, 1e-12);
  EXPECT_EQ(tests[0].verdict, "fail");
  TestJudgement classA;
  classA.thermalClass = 'A';
  EXPECT_EQ(findInsulationTests(table, classA)[0].verdict, "pass");

  // R(1 min) above 5000 MΩ: the low PI is not held against the winding.
  ReadingsTable high;
  appendRun(high, {.value = [](int t) { return mohmText(t <= 60 ? 6.0 : 6.6); }});
  const std::size_t rows = high.recordCount();
  for (std::size_t row = 0; row < rows; ++row) {
    RecordFields fields = high.record(row);
    fields.Unit = "G\xA6\xB8";
    high.append(fields);
  }
  tests = findInsulationTests(high);
  ASSERT_EQ(tests.size(), 2u);  // the copy's timer starts again
  EXPECT_NEAR(*tests[1].pi, 1.1, 1e-9);
  EXPECT_EQ(tests[1].verdict, "pass");
  EXPECT_EQ(tests[0].verdict, "fail");  // 6 MΩ: below 100 MΩ
}

// The meter's own PI (remark "PI", a ratio without unit) is kept and judged when the
// readings give none.
TEST(InsulationTests, MetersPiIsKeptAndJudged) {
  ReadingsTable table;
  appendRun(table, {.everyS = 30, .untilS = 90});
  table.append({50, start + 600'000, "2.6", std::nullopt, ir1000, "PI", 600});
  table.append({51, start + 601'000, "1.730", "T\xA6\xB8", ir1000, "Timed", 601});
  auto tests = findInsulationTests(table);
  ASSERT_EQ(tests.size(), 1u);
  EXPECT_EQ(tests[0].readings, 6u);
  EXPECT_DOUBLE_EQ(*tests[0].meterPi, 2.6);
  EXPECT_EQ(tests[0].pi, std::nullopt);
  EXPECT_FALSE(tests[0].r600.found);  // 601 s is after the mark, the PI ratio no resistance
  EXPECT_EQ(tests[0].verdict, "pass");
}

TEST(InsulationTests, ResistanceTextsInEveryUnit) {
  struct Case {
    const char* value;
    const char* unit;
    std::optional<double> ohm;
    bool overRange;
  };
  const Case cases[] = {
      {"1.730", "T\xA6\xB8", 1.73e12, false},  {"0,56", "G\xA6\xB8", 0.56e9, false},
      {" 152.0 ", "M\xA6\xB8", 152e6, false},  {"12.5", "k\xA6\xB8", 12.5e3, false},
      {"0.52", "\xA6\xB8", 0.52, false},       {"20.00", "G\xCE\xA9", 20e9, false},
      {"OL", "G\xA6\xB8", std::nullopt, true}, {"0L.", "M\xA6\xB8", std::nullopt, true},
      {"12.0", "V", std::nullopt, false},      {"1.2.3", "M\xA6\xB8", std::nullopt, false},
      {"", "M\xA6\xB8", std::nullopt, false},  {"2.1", "", std::nullopt, false},
  };
  for (const Case& c : cases) {
    const auto r = resistanceFromTexts(c.value, c.unit);
    if (c.overRange) {
      ASSERT_TRUE(r) << c.value;
      EXPECT_TRUE(r->overRange) << c.value;
    } else if (c.ohm) {
      ASSERT_TRUE(r) << c.value;
      EXPECT_FALSE(r->overRange);
      EXPECT_NEAR(r->ohm, *c.ohm, *c.ohm * 1e-12) << c.value;
    } else {
      EXPECT_EQ(r.has_value(), false) << c.value << " " << c.unit;
    }
  }
  EXPECT_EQ(insulationTestVoltage("IR:2500 100G\xA6\xB8"), 2500);
  EXPECT_EQ(insulationTestVoltage("IR:500V 20G\xA6\xB8"), 500);
  EXPECT_EQ(insulationTestVoltage("DCV  600V"), std::nullopt);
  EXPECT_EQ(insulationTestVoltage("IR:"), std::nullopt);
}

TEST(InsulationTests, OptionTexts) {
  TestJudgement j;
  EXPECT_TRUE(parseMinimumClass("kv1", j));
  EXPECT_EQ(j.minimum, MinimumClass::KvPlusOne);
  EXPECT_TRUE(parseMinimumClass("5M", j));
  EXPECT_EQ(j.minimum, MinimumClass::RandomWound5M);
  EXPECT_TRUE(parseMinimumClass("12.5", j));
  EXPECT_EQ(j.minimum, MinimumClass::Fixed);
  EXPECT_DOUBLE_EQ(j.fixedMinimumMOhm, 12.5);
  for (const char* bad : {"", "-3", "12M", "kv", "1,5"}) EXPECT_FALSE(parseMinimumClass(bad, j));
  DarMarks dar = DarMarks::R60R30;
  EXPECT_TRUE(parseDarMarks("60/15", dar));
  EXPECT_EQ(dar, DarMarks::R60R15);
  EXPECT_FALSE(parseDarMarks("30/60", dar));
  char thermal = 'B';
  EXPECT_TRUE(parseThermalClass("H", thermal));
  EXPECT_EQ(thermal, 'H');
  EXPECT_FALSE(parseThermalClass("C", thermal));
  EXPECT_FALSE(parseThermalClass("b", thermal));
}

// The JSON keys in their order, numbers or null, texts in UTF-8.
TEST(InsulationTests, JsonHasExactlyTheKeys) {
  ReadingsTable table;
  appendRun(table, {.everyS = 15, .untilS = 60});
  const std::string json = insulationTestsJson(findInsulationTests(table, at(30)));
  EXPECT_EQ(json.substr(0, json.find(", \"reasons\"")),
            "[\n  {\"test\": 1, \"function\": \"IR:1000V 40G\u03A9\", \"voltage_v\": 1000, "
            "\"start\": \"10:00:00\", \"duration_s\": 60, \"readings\": 5, "
            "\"r15_ohm\": 62500000, \"r30_ohm\": 75000000, \"r60_ohm\": 100000000, "
            "\"r600_ohm\": null, \"r60_40c_ohm\": 50000000, \"dar\": 1.3333333333333333, "
            "\"pi\": null, \"meter_pi\": null, \"min_ohm\": 50000000, \"verdict\": \"fail\"");
  EXPECT_EQ(json.substr(json.size() - 5), "]}\n]\n");
  EXPECT_EQ(insulationTestsJson({}), "[]\n");
}

}  // namespace
}  // namespace ostrel

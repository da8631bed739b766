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
  int firstS = 0;     // the first reading's elapsed time
  bool timer = true;  // the meter's timer kept with each reading
  std::string function = ir1000;
  std::function<std::string(int t)> value = [](int t) { return mohmText(knownMOhm(t)); };
  int clockOffsetS = 0;  // the first reading's time of day after `start`
};

void appendRun(ReadingsTable& table, const Run& run) {
  for (int t = run.firstS; t <= run.untilS; t += run.everyS) {
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

// R(t) = 100 MΩ (t / 60 s)^0.4: a power law, which log R linear in log t follows exactly.
double powerMOhm(double t) { return 100.0 * std::pow(t / 60.0, 0.4); }

struct Sampling {
  int everyS;
  int firstS;
};

void PrintTo(const Sampling& c, std::ostream* os) {
  *os << "every " << c.everyS << " s from " << c.firstS << " s";
}

class FiguresBetweenReadings : public testing::TestWithParam<Sampling> {};

// Whatever the sampling interval and wherever its readings fall, each figure is R at its mark,
// and the reasons say which figures were taken between readings.
TEST_P(FiguresBetweenReadings, GiveRAtEachMark) {
  const Sampling c = GetParam();
  ReadingsTable table;
  appendRun(table, {.everyS = c.everyS,
                    .untilS = 600 + c.everyS - 1,
                    .firstS = c.firstS,
                    .value = [](int t) { return mohmText(powerMOhm(t)); }});
  const auto tests = findInsulationTests(table);
  ASSERT_EQ(tests.size(), 1u);
  const InsulationTest& test = tests[0];
  for (const auto& [figure, mark] : {std::pair{&test.r15, 15}, std::pair{&test.r30, 30},
                                     std::pair{&test.r60, 60}, std::pair{&test.r600, 600}}) {
    if (mark < c.firstS) {
      EXPECT_FALSE(figure->found) << mark;
      continue;
    }
    ASSERT_TRUE(figure->ohm()) << mark;
    EXPECT_NEAR(*figure->ohm() / 1e6, powerMOhm(mark), powerMOhm(mark) * 1e-4) << mark;
    EXPECT_EQ(figure->interpolated, (mark - c.firstS) % c.everyS != 0) << mark;
  }
  EXPECT_NEAR(*test.pi, std::pow(10.0, 0.4), 1e-3);
  const bool anyBetween = (60 - c.firstS) % c.everyS != 0;
  std::string reasons;
  for (const std::string& r : test.reasons) reasons += r + "\n";
  EXPECT_EQ(reasons.find("R(1 min) interpolated between") != std::string::npos, anyBetween)
      << reasons;
}

INSTANTIATE_TEST_SUITE_P(Intervals, FiguresBetweenReadings,
                         testing::Values(Sampling{5, 0}, Sampling{5, 3}, Sampling{10, 1},
                                         Sampling{10, 3}, Sampling{10, 7}, Sampling{13, 0},
                                         Sampling{13, 5}, Sampling{13, 12}, Sampling{30, 1},
                                         Sampling{30, 17}, Sampling{30, 29}));

// A test reaches a mark when its last reading lies at or after it less half a spacing; its last
// two readings then give the figure. Readings more than a minute from a mark give none.
TEST(InsulationTests, ATestReachesTenMinutesWithinHalfASpacing) {
  const auto power = [](int t) { return mohmText(powerMOhm(t)); };
  struct Case {
    int everyS, firstS, untilS;
    bool reaches;
  };
  for (const Case c : {Case{10, 3, 603, true}, Case{10, 7, 597, true}, Case{10, 4, 594, false},
                       Case{13, 0, 598, true}, Case{30, 1, 571, false}}) {
    ReadingsTable table;
    appendRun(table, {.everyS = c.everyS, .untilS = c.untilS, .firstS = c.firstS, .value = power});
    const auto tests = findInsulationTests(table);
    ASSERT_EQ(tests.size(), 1u);
    EXPECT_EQ(tests[0].r600.found, c.reaches) << c.untilS;
    if (c.reaches) {
      EXPECT_NEAR(*tests[0].r600.ohm() / 1e6, powerMOhm(600), 1e-2) << c.untilS;
    }
    EXPECT_EQ(tests[0].pi.has_value(), c.reaches) << c.untilS;
  }
  // Readings at 0 s and 130 s: nothing within a minute of 1 min.
  ReadingsTable sparse;
  appendRun(sparse, {.everyS = 130, .untilS = 130, .value = power});
  const auto tests = findInsulationTests(sparse);
  EXPECT_FALSE(tests[0].r60.found);
  EXPECT_EQ(tests[0].verdict, "incomplete");
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

// Without test times, a sampling interval of up to 30 s keeps a ten-minute test whole.
TEST(InsulationTests, EverySamplingIntervalKeepsAnUntimedTestWhole) {
  for (const int every : {1, 5, 10, 13, 25, 30}) {
    ReadingsTable table;
    appendRun(table, {.everyS = every, .untilS = 610, .timer = false});
    const auto tests = findInsulationTests(table);
    ASSERT_EQ(tests.size(), 1u) << every;
    EXPECT_EQ(tests[0].readings, table.recordCount()) << every;
    EXPECT_TRUE(tests[0].r600.found) << every;
  }
}

// A gap longer than both 30 s and three times the test's median spacing starts the next test.
TEST(InsulationTests, AGapLongerThanThirtySecondsAndThreeSpacingsStartsANewTest) {
  ReadingsTable table;
  appendRun(table, {.everyS = 15, .untilS = 60, .timer = false});
  appendRun(table, {.everyS = 15, .untilS = 60, .timer = false, .clockOffsetS = 100});  // 40 s
  appendRun(table, {.everyS = 5, .untilS = 60, .timer = false, .clockOffsetS = 206});   // 46 s
  appendRun(table, {.everyS = 5, .untilS = 60, .timer = false, .clockOffsetS = 291});   // 25 s
  appendRun(table, {.everyS = 5, .untilS = 60, .timer = false, .clockOffsetS = 382});   // 31 s
  const auto tests = findInsulationTests(table);
  ASSERT_EQ(tests.size(), 3u);
  EXPECT_EQ(tests[0].readings, 10u);
  EXPECT_DOUBLE_EQ(tests[0].durationS, 160);
  EXPECT_EQ(tests[1].startMs, start + 206'000);
  EXPECT_EQ(tests[1].readings, 26u);
  EXPECT_EQ(tests[2].startMs, start + 382'000);
  EXPECT_EQ(tests[2].number, 3);

  // With test times the clock's gaps do not split a test; two readings in one timer second
  // stay in it.
  ReadingsTable timed;
  appendRun(timed, {.everyS = 60, .untilS = 600});
  timed.append({90, start + 601'000, "1.000", mohm, ir1000, "Timed", 600});
  const auto timedTests = findInsulationTests(timed);
  ASSERT_EQ(timedTests.size(), 1u);
  EXPECT_EQ(timedTests[0].readings, 12u);
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
        VerdictCase{"KvPlusOneWithoutRatedVoltage", at(0, MinimumClass::KvPlusOne), 600,
                    "incomplete", 6.25e6},
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

std::string reasonsOf(const InsulationTest& test) {
  std::string all;
  for (const std::string& reason : test.reasons) all += reason + "\n";
  return all;
}

// The tests of a timed test read every 15 s to 10 min: `early` MΩ before stepS, `late` MΩ from
// then on.
std::vector<InsulationTest> stepTests(const std::string& early, const std::string& late,
                                      const TestJudgement& judgement = {}, int stepS = 90,
                                      const std::string& function = ir1000) {
  ReadingsTable table;
  appendRun(table, {.everyS = 15, .function = function, .value = [=](int t) {
                      return t < stepS ? early : late;
                    }});
  return findInsulationTests(table, judgement);
}

// The kV + 1 minimum is made of the machine's rated voltage, in megohms, never of the test
// voltage; without a rated voltage it is not judged.
TEST(InsulationTests, KvPlusOneUsesTheRatedVoltage) {
  struct Case {
    const char* function;
    std::optional<double> ratedKv;
    const char* r60;
    const char* verdict;
    const char* told;
  };
  const char* ir2500 = "IR:2500V 100G\xA6\xB8";
  const Case cases[] = {
      {ir2500, 6.6, "5.000", "fail",
       "R(1 min) 5.000 M\u03A9 (not corrected: no winding temperature) below the minimum "
       "7.600 M\u03A9 (rated 6.6 kV + 1 M\u03A9)"},
      {ir2500, 6.6, "7.600", "pass", "meets the minimum 7.600 M\u03A9 (rated 6.6 kV + 1 M\u03A9)"},
      {ir1000, 1.0, "1.000", "fail", "below the minimum 2.000 M\u03A9 (rated 1 kV + 1 M\u03A9)"},
      {ir1000, 0.4, "1.500", "pass", "meets the minimum 1.400 M\u03A9 (rated 0.4 kV + 1 M\u03A9)"},
      {ir2500, std::nullopt, "500.0", "incomplete",
       "R(1 min) not judged against kV + 1 M\u03A9: rated voltage unknown"},
  };
  for (const Case& c : cases) {
    const double r60 = std::stod(c.r60);
    TestJudgement judgement;
    judgement.minimum = MinimumClass::KvPlusOne;
    judgement.ratedKv = c.ratedKv;
    const auto tests = stepTests(mohmText(r60), mohmText(r60 * 3), judgement, 90, c.function);
    ASSERT_EQ(tests.size(), 1u);
    EXPECT_EQ(tests[0].verdict, c.verdict) << c.r60;
    EXPECT_NE(reasonsOf(tests[0]).find(c.told), std::string::npos) << reasonsOf(tests[0]);
  }
}

// A failing figure is printed with the digits that make it read below its limit.
TEST(InsulationTests, AFailingFigureReadsBelowItsLimit) {
  auto tests = stepTests("200.000", "399.000");  // PI 1.995
  EXPECT_EQ(tests[0].verdict, "fail");
  EXPECT_NE(reasonsOf(tests[0]).find("PI 1.995 below the minimum 2.0 for class B"),
            std::string::npos)
      << reasonsOf(tests[0]);
  tests = stepTests("99.9996", "300.000");
  EXPECT_EQ(tests[0].verdict, "fail");
  EXPECT_NE(reasonsOf(tests[0]).find("R(1 min) 99.9996 M\u03A9 (not corrected: no winding "
                                     "temperature) below the minimum 100 M\u03A9"),
            std::string::npos)
      << reasonsOf(tests[0]);
  // Passing figures keep their usual digits.
  tests = stepTests("200.000", "400.000");
  EXPECT_NE(reasonsOf(tests[0]).find("PI 2.00 meets the minimum 2.0"), std::string::npos);
}

// With both, the readings' PI is judged and the meter's shown beside it; a difference of more
// than 0.1 is told.
TEST(InsulationTests, TheMetersPiIsShownBesideTheReadingsPi) {
  struct Case {
    const char* meterPi;
    const char* told;
  };
  for (const Case c : {Case{"5.45", "the meter's PI 5.45 agrees with the readings' PI"},
                       Case{"5.3",
                            "the meter's PI 5.30 differs from the readings' PI 5.50 by "
                            "more than 0.1"}}) {
    ReadingsTable table;
    appendRun(table, {});
    table.append({200, start + 601'000, c.meterPi, std::nullopt, ir1000, "PI", 601});
    const auto tests = findInsulationTests(table);
    ASSERT_EQ(tests.size(), 1u);
    EXPECT_NEAR(*tests[0].pi, 5.5, 1e-9);
    const std::string reasons = reasonsOf(tests[0]);
    EXPECT_NE(reasons.find("PI 5.50 meets the minimum 2.0"), std::string::npos) << reasons;
    EXPECT_NE(reasons.find(c.told), std::string::npos) << reasons;
  }
}

// Each DAR gets the grade its source gives, or none, printed with the digits that keep it in
// its band.
TEST(InsulationTests, EachDarHasItsOwnBands) {
  struct Case {
    DarMarks marks;
    const char* r60;  // R(15 s) = R(30 s) = 100 MΩ
    const char* told;
  };
  const Case cases[] = {
      {DarMarks::R60R30, "90.000", "DAR (60/30) 0.90: no grade (the bands begin at 1.0)"},
      {DarMarks::R60R30, "110.000", "DAR (60/30) 1.10: questionable"},
      {DarMarks::R60R30, "125.040", "DAR (60/30) 1.2504: no grade (between the questionable"},
      {DarMarks::R60R30, "130.000", "DAR (60/30) 1.30: no grade (between"},
      {DarMarks::R60R30, "150.000", "DAR (60/30) 1.50: good"},
      {DarMarks::R60R30, "170.000", "DAR (60/30) 1.70: excellent"},
      {DarMarks::R60R15, "120.000", "DAR (60/15) 1.20: below 1.3 (damp?)"},
      {DarMarks::R60R15, "129.999", "DAR (60/15) 1.29999: below 1.3"},
      {DarMarks::R60R15, "130.000", "DAR (60/15) 1.30: 1.3 or more"},
  };
  for (const Case& c : cases) {
    TestJudgement judgement;
    judgement.dar = c.marks;
    const auto tests = stepTests("100.000", c.r60, judgement, 45);
    EXPECT_NE(reasonsOf(tests[0]).find(c.told), std::string::npos) << reasonsOf(tests[0]);
  }
}

// The one rule for a typed temperature, the window's and the command line's.
TEST(InsulationTests, TypedTemperatures) {
  const std::pair<const char*, std::optional<double>> cases[] = {
      {"20,5", 20.5}, {"20.5", 20.5}, {" -50 ", -50.0},  {"200", 200.0},
      {"abc", {}},    {"2e1", {}},    {"200.1", {}},     {"-50.5", {}},
      {"", {}},       {"20,5,1", {}}, {"1.000.000", {}}, {"nan", {}},
  };
  for (const auto& [text, celsius] : cases) EXPECT_EQ(typedTemperature(text), celsius) << text;
  EXPECT_EQ(typedRatedKv("6,6"), 6.6);
  EXPECT_EQ(typedRatedKv("0"), std::nullopt);
  EXPECT_EQ(typedRatedKv("-1"), std::nullopt);
}

// A correction from more than 30 K away says that its factor is approximate.
TEST(InsulationTests, AFarCorrectionIsToldApproximate) {
  for (const auto& [celsius, approximate] :
       {std::pair{0.0, true}, std::pair{10.0, false}, std::pair{75.0, true}}) {
    ReadingsTable table;
    appendRun(table, {});
    TestJudgement judgement;
    judgement.windingTemperatureC = celsius;
    const auto tests = findInsulationTests(table, judgement);
    EXPECT_EQ(reasonsOf(tests[0]).find("the correction factor is approximate so far from 40") !=
                  std::string::npos,
              approximate)
        << celsius;
  }
}

// A negative resistance is no reading to judge on: it is left out, said, and keeps the test
// from passing.
TEST(InsulationTests, NegativeResistancesAreRefused) {
  ReadingsTable table;
  appendRun(table, {.value = [](int t) {
              return t == 60 ? std::string("-5.000") : mohmText(knownMOhm(t));
            }});
  const auto tests = findInsulationTests(table);
  ASSERT_EQ(tests.size(), 1u);
  EXPECT_EQ(tests[0].verdict, "incomplete");
  EXPECT_NEAR(*tests[0].r60.ohm(), 100e6, 1e6);  // between 55 s and 65 s
  EXPECT_DOUBLE_EQ(*tests[0].minOhm, 50e6);
  EXPECT_NE(reasonsOf(tests[0]).find("1 reading(s) with a negative resistance left out"),
            std::string::npos);
}

// Verdicts that combine: an over-range R(1 min) leaves even the meter's PI unjudged; a test
// that fails is "fail" though a figure is missing too.
TEST(InsulationTests, VerdictsThatCombine) {
  ReadingsTable table;
  appendRun(table, {.everyS = 30, .untilS = 90, .value = [](int t) {
                      return t >= 60 ? std::string("OL") : mohmText(knownMOhm(t));
                    }});
  table.append({50, start + 600'000, "1.2", std::nullopt, ir1000, "PI", 600});
  auto tests = findInsulationTests(table);
  ASSERT_EQ(tests.size(), 1u);
  EXPECT_EQ(tests[0].verdict, "pass");
  EXPECT_NE(reasonsOf(tests[0]).find("PI not judged: R(1 min) above"), std::string::npos)
      << reasonsOf(tests[0]);

  TestJudgement noRatedVoltage;
  noRatedVoltage.minimum = MinimumClass::KvPlusOne;
  tests = stepTests("200.000", "300.000", noRatedVoltage);  // PI 1.5
  EXPECT_EQ(tests[0].verdict, "fail") << reasonsOf(tests[0]);
  EXPECT_NE(reasonsOf(tests[0]).find("rated voltage unknown"), std::string::npos);
}

// The PI is left unjudged above 5000 MΩ of R(1 min) at 40 °C, not as measured: 3 GΩ at 60 °C
// is 12 GΩ at 40 °C, 8 GΩ at 20 °C is 2 GΩ. The PI of both is 1.1.
TEST(InsulationTests, PiIsLeftUnjudgedOnROneMinuteAtFortyDegrees) {
  for (const auto& [r60, celsius, verdict] :
       {std::tuple{"3000.000", 60.0, "pass"}, std::tuple{"8000.000", 20.0, "fail"}}) {
    TestJudgement judgement;
    judgement.windingTemperatureC = celsius;
    judgement.minimum = MinimumClass::RandomWound5M;
    const auto tests = stepTests(r60, mohmText(std::stod(r60) * 1.1), judgement);
    EXPECT_EQ(tests[0].verdict, verdict) << reasonsOf(tests[0]);
  }
}

// Each test carries its date: the first reading's, counted on at every midnight the times
// pass; JSON gives the start as an ISO date and time.
TEST(InsulationTests, TestsCarryTheirDate) {
  ReadingsTable table;
  const std::int32_t lateEvening = (23 * 60 + 55) * 60'000;
  for (int t = 0; t <= 600; t += 60) {
    table.append(
        {t / 60 + 1, (lateEvening + t * 1000) % 86'400'000, "100.0", mohm, ir1000, "Timed", t});
  }
  table.append({20, 3'600'000, "100.0", mohm, ir1000, "Timed", 0});  // 01:00 the next day
  TestJudgement judgement;
  judgement.firstDay = dayFromIsoDate("2026-12-31");
  const auto tests = findInsulationTests(table, judgement);
  ASSERT_EQ(tests.size(), 2u);
  EXPECT_EQ(testStartText(tests[0]), "2026-12-31T23:55:00");
  EXPECT_EQ(testStartText(tests[1], ' '), "2027-01-01 01:00:00");
  EXPECT_NE(insulationTestsJson(tests).find("\"start\": \"2027-01-01T01:00:00\""),
            std::string::npos);
  EXPECT_EQ(testStartText(findInsulationTests(table)[0]), "23:55:00");

  // The first reading's date from the moment the last was taken at the latest: 01:00 on the
  // 1st is two midnights back from 00:30 on the 2nd, one from 02:00 on the 1st.
  const std::int32_t second = *dayFromIsoDate("2027-01-02");
  EXPECT_EQ(isoDate(firstReadingDay(table, second, 1'800'000)), "2026-12-31");
  EXPECT_EQ(isoDate(firstReadingDay(table, second - 1, 7'200'000)), "2026-12-31");
  // A clock put back an hour is no new day.
  ReadingsTable clockChange;
  clockChange.append({1, 3 * 3'600'000 - 1000, "1.0", mohm, ir1000, "Timed", 0});
  clockChange.append({2, 2 * 3'600'000 + 5000, "1.0", mohm, ir1000, "Timed", 5});
  EXPECT_EQ(firstReadingDay(clockChange, second, 3 * 3'600'000), second);
  EXPECT_EQ(dayFromIsoDate("2026-02-30"), std::nullopt);
  EXPECT_EQ(dayFromIsoDate("2026-2-3"), std::nullopt);
}

}  // namespace
}  // namespace ostrel

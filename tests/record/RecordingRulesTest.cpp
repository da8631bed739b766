#include <gtest/gtest.h>

#include <string>

#include "record/IntervalText.h"
#include "record/RecordLimitMenu.h"
#include "record/RecordingRules.h"

namespace ostrel {
namespace {

class Recording : public testing::Test {
 protected:
  bool offer(std::string_view value = "1.234") {
    return rules.INDataToTable(1, {value, "M\xA6\xB8", "IR:500V 20G\xA6\xB8", "Continuous"});
  }
  void tick(int times = 1) {
    for (int i = 0; i < times; ++i) rules.SampInterTimeTimer();
  }

  ReadingsTable cds1;
  RecordingCounters counters;
  RecordingControls controls;
  std::int32_t now = 1000;
  RecordingRules rules{cds1, counters, controls, [this] { return now; }};
};

TEST_F(Recording, AppendsTheOfferedReadingWithClockAndNumber) {
  now = 52'205'123;
  EXPECT_TRUE(offer());
  ASSERT_EQ(cds1.recordCount(), 1U);
  EXPECT_EQ(cds1.no(0), 1);
  EXPECT_EQ(cds1.timeMs(0), 52'205'123);
  EXPECT_EQ(cds1.text(0, ReadingsTable::Value), "1.234");
  EXPECT_EQ(cds1.text(0, ReadingsTable::Unit), "M\xA6\xB8");
  EXPECT_EQ(cds1.text(0, ReadingsTable::V_Range), "IR:500V 20G\xA6\xB8");
  EXPECT_EQ(cds1.text(0, ReadingsTable::I_Range), "Continuous");
  EXPECT_EQ(cds1.changeState(0), 4);
  EXPECT_EQ(counters.RecordNo, 2);
  EXPECT_EQ(counters.LastRecordedValue, "1.234");
  EXPECT_EQ(counters.IntervalCountdown, 10) << "reloaded even with RecordSI unchecked";
  EXPECT_FALSE(rules.INDataToTable(0, {"1"})) << "only mode 1 records";
}

// Each admission test, in order; a failing test leaves the countdown alone.
struct AdmissionCase {
  const char* name;
  std::int32_t recordNo;
  bool recordSI;
  std::int32_t countdown;
  bool repeatSet;
  const char* lastValue;
  bool recorded;
};

void PrintTo(const AdmissionCase& c, std::ostream* os) { *os << c.name; }

class Admission : public Recording, public testing::WithParamInterface<AdmissionCase> {};

TEST_P(Admission, TestsRunInOrder) {
  const AdmissionCase& c = GetParam();
  counters.RecordLimit = 5;
  counters.RecordNo = c.recordNo;
  controls.RecordSI = c.recordSI;
  counters.IntervalCountdown = c.countdown;
  controls.RepeatSet = c.repeatSet;
  counters.LastRecordedValue = c.lastValue;
  EXPECT_EQ(offer("1.234"), c.recorded);
  EXPECT_EQ(cds1.recordCount(), c.recorded ? 1U : 0U);
  EXPECT_EQ(counters.IntervalCountdown, c.recorded ? 10 : c.countdown);
  EXPECT_EQ(counters.RecordNo, c.recordNo + (c.recorded ? 1 : 0));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Admission,
    testing::Values(AdmissionCase{"LastNumberUnderLimit", 5, false, 0, true, "", true},
                    AdmissionCase{"BeyondLimit", 6, false, 0, true, "", false},
                    AdmissionCase{"CountdownPending", 1, true, 3, true, "", false},
                    AdmissionCase{"CountdownIgnoredWithoutRecordSI", 1, false, 3, true, "", true},
                    AdmissionCase{"RepeatedValueDropped", 1, false, 0, false, "1.234", false},
                    AdmissionCase{"RepeatedValueWithRepeatSet", 1, false, 0, true, "1.234", true},
                    AdmissionCase{"OtherValue", 1, false, 0, false, "1.23", true},
                    AdmissionCase{"NegativeCountdownBlocks", 1, true, -5, true, "", false}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(Recording, LimitStopsRecordingAndClearStartsAgainAtOne) {
  RecordLimitMenu menu(counters);
  menu.choose(0);
  for (int i = 0; i < 1001; ++i) offer(std::to_string(i));
  EXPECT_EQ(cds1.recordCount(), 1000U);
  EXPECT_EQ(cds1.no(999), 1000);

  menu.chooseByName("setlimit");
  EXPECT_TRUE(offer("x"));
  menu.choose(0);
  EXPECT_EQ(cds1.recordCount(), 1001U) << "a lower limit removes nothing";
  EXPECT_FALSE(offer("y"));

  std::string asked;
  EXPECT_TRUE(rules.ClearRClick([&](std::string_view q) {
    asked = q;
    return true;
  }));
  EXPECT_EQ(asked, "Do you want to remove the current data and create a new data?");
  EXPECT_TRUE(cds1.empty());
  EXPECT_EQ(counters.RecordNo, 1);
  EXPECT_EQ(counters.RecordLimit, 1000);
  EXPECT_TRUE(offer("z"));
  EXPECT_EQ(cds1.no(0), 1);
}

TEST_F(Recording, ClearAnsweredNoChangesNothing) {
  offer();
  EXPECT_FALSE(rules.ClearRClick([](std::string_view) { return false; }));
  EXPECT_EQ(cds1.recordCount(), 1U);
  EXPECT_EQ(counters.RecordNo, 2);
  counters.RecordNo = 7;
  cds1.clear();
  EXPECT_TRUE(rules.ClearRClick([](std::string_view) { return true; }));
  EXPECT_EQ(counters.RecordNo, 1) << "numbering restarts also for an empty table";
}

TEST_F(Recording, RepeatComparesWithTheLastRecordedValueWhichSurvivesAClear) {
  controls.RepeatSet = false;
  for (const char* value : {"1.234", "1.234", "1.234", "1.235", "1.235", "1.234"}) offer(value);
  EXPECT_EQ(cds1.recordCount(), 3U);
  rules.ClearRClick([](std::string_view) { return true; });
  EXPECT_FALSE(offer("1.234"));
  EXPECT_TRUE(offer("1.0"));
  EXPECT_EQ(cds1.no(0), 1);
}

TEST_F(Recording, IntervalCountsDownOnlyWhileRecordSIIsChecked) {
  controls.RecordSI = true;
  EXPECT_TRUE(offer()) << "countdown 0 right after start";
  tick(9);
  EXPECT_FALSE(offer());
  tick();
  EXPECT_TRUE(offer());
  EXPECT_EQ(counters.IntervalCountdown, 10);

  tick(5);
  controls.RecordSI = false;
  tick(60);
  EXPECT_EQ(counters.IntervalCountdown, 5) << "stands still while unchecked";
  controls.RecordSI = true;
  tick(5);
  EXPECT_EQ(counters.IntervalCountdown, 0);
  tick();
  EXPECT_EQ(counters.IntervalCountdown, 0) << "never below 0";

  controls.RecordSITime = "";
  EXPECT_TRUE(offer());
  EXPECT_TRUE(offer()) << "interval 0 lets every reading pass";
}

TEST_F(Recording, ReloadAlsoHappensWithRecordSIUnchecked) {
  EXPECT_TRUE(offer());
  controls.RecordSI = true;
  EXPECT_FALSE(offer());
  tick(10);
  EXPECT_TRUE(offer());
}

struct IntervalCase {
  const char* text;
  bool ok;
  std::int32_t seconds;
};

void PrintTo(const IntervalCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class IntervalRule : public testing::TestWithParam<IntervalCase> {};

TEST_P(IntervalRule, ConvertsTheEditText) {
  const IntervalReading reading = readInterval(GetParam().text);
  EXPECT_EQ(reading.ok, GetParam().ok);
  if (reading.ok) {
    EXPECT_EQ(reading.seconds, GetParam().seconds);
  } else {
    EXPECT_FALSE(reading.error.empty());
  }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, IntervalRule,
                         testing::Values(IntervalCase{"", true, 0}, IntervalCase{"-", true, 0},
                                         IntervalCase{"+", true, 0}, IntervalCase{"0", true, 0},
                                         IntervalCase{"15", true, 15},
                                         IntervalCase{"+7", true, 7},
                                         IntervalCase{"007", true, 7},
                                         IntervalCase{"2147483647", true, 2147483647},
                                         IntervalCase{"2147483648", false, 0},
                                         IntervalCase{"99999999999999999999", false, 0},
                                         IntervalCase{"-5", false, 0},
                                         IntervalCase{"-0", true, 0},
                                         IntervalCase{"1a", false, 0},
                                         IntervalCase{" 5", false, 0},
                                         IntervalCase{"--5", false, 0}));
// clang-format on

TEST_F(Recording, IntervalChangeRestartsTheCountdownOrReportsAndKeepsIt) {
  EXPECT_EQ(rules.RecordSITimeChange("15"), std::nullopt);
  EXPECT_EQ(counters.IntervalCountdown, 15);
  EXPECT_EQ(rules.RecordSITimeChange("2147483648"), "'2147483648' is not a valid integer value");
  EXPECT_EQ(counters.IntervalCountdown, 15);
  const auto negative = rules.RecordSITimeChange("-5");
  ASSERT_TRUE(negative);
  EXPECT_NE(negative->find("'-5'"), std::string::npos);
  EXPECT_EQ(counters.IntervalCountdown, 15);
  EXPECT_EQ(rules.RecordSITimeChange("-"), std::nullopt);
  EXPECT_EQ(counters.IntervalCountdown, 0);
}

// Unticked, the interval text never stops recording; ticked, an unusable one holds it
// until the text is corrected.
TEST_F(Recording, ABadIntervalHoldsRecordingOnlyWhileSamplingIsTicked) {
  controls.RecordSITime = "12345678901";
  EXPECT_FALSE(rules.recordingHeld());
  EXPECT_TRUE(offer("1")) << "unticked: the text plays no part";
  EXPECT_TRUE(offer("2"));
  EXPECT_EQ(counters.IntervalCountdown, 0);

  controls.RecordSI = true;
  EXPECT_TRUE(rules.recordingHeld());
  EXPECT_FALSE(offer("3"));
  EXPECT_EQ(cds1.recordCount(), 2U);
  EXPECT_EQ(counters.RecordNo, 3);
  EXPECT_EQ(counters.LastRecordedValue, "2");

  controls.RecordSITime = "5";
  EXPECT_FALSE(rules.recordingHeld());
  EXPECT_TRUE(offer("4")) << "a corrected text records again";
  EXPECT_EQ(counters.IntervalCountdown, 5);

  counters.IntervalCountdown = 0;
  controls.RecordSITime = "-5";
  EXPECT_FALSE(rules.recordingHeld());
  EXPECT_TRUE(offer()) << "a negative interval counts as 0";
  EXPECT_TRUE(offer());
  EXPECT_EQ(counters.IntervalCountdown, 0);
}

TEST(RecordSITimeKeyPress, LetsOnlyDigitsAndBackspaceThrough) {
  for (char key : std::string("0123456789\b")) {
    char typed = key;
    EXPECT_TRUE(RecordingRules::RecordSITimeKeyPress(typed));
    EXPECT_EQ(typed, key);
  }
  for (char key : std::string("-+ a\r\x16.")) {
    char typed = key;
    EXPECT_FALSE(RecordingRules::RecordSITimeKeyPress(typed)) << int(key);
    EXPECT_EQ(typed, '\0');
  }
}

TEST(RecordLimitMenu, ExactlyOneEntryIsCheckedAndSetsTheLimit) {
  RecordingCounters counters;
  RecordLimitMenu menu(counters);
  EXPECT_EQ(RecordLimitMenu::entries[menu.checkedIndex()].name, "set10k");
  const std::int32_t limits[] = {1000, 5000, 10000, 50000, 100000, 10000000};
  const char* captions[] = {"1000", "5000", "10000", "50000", "100000", "Limitless"};
  for (std::size_t i = 0; i < RecordLimitMenu::entries.size(); ++i) {
    menu.choose(i);
    EXPECT_EQ(counters.RecordLimit, limits[i]);
    EXPECT_EQ(RecordLimitMenu::entries[i].caption, captions[i]);
    for (std::size_t j = 0; j < RecordLimitMenu::entries.size(); ++j) {
      EXPECT_EQ(menu.isChecked(j), i == j);
    }
  }
  EXPECT_FALSE(menu.chooseByName("set2k"));
  EXPECT_EQ(counters.RecordLimit, 10000000);
}

}  // namespace
}  // namespace ostrel

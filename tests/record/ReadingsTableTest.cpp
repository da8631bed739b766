#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "RecordTestSupport.h"
#include "record/ReadingsTable.h"

namespace ostrel {
namespace {

struct CutCase {
  std::string stored;
  std::string expected;
};

void PrintTo(const CutCase& c, std::ostream* os) { *os << testing::PrintToString(c.stored); }

class ReadingsTableCut : public testing::TestWithParam<CutCase> {};

TEST_P(ReadingsTableCut, TextsAreCutTo20BytesWithoutSplittingACharacter) {
  ReadingsTable table;
  const std::string& text = GetParam().stored;
  table.append({1, 0, text, text, text, text});
  for (const auto field : {ReadingsTable::Value, ReadingsTable::Unit, ReadingsTable::V_Range,
                           ReadingsTable::I_Range}) {
    EXPECT_EQ(table.text(0, field), GetParam().expected) << field;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadingsTableCut,
    testing::Values(CutCase{"IR:5000V 1000G\xA6\xB8", "IR:5000V 1000G\xA6\xB8"},
                    CutCase{"123456789012345678901234", "12345678901234567890"},
                    CutCase{"1234567890123456789\xA6\xB8", "1234567890123456789"},
                    CutCase{"123456789012345678\xA6\xB8Z", "123456789012345678\xA6\xB8"}));

TEST(ReadingsTable, KeepsAppendOrderNullsAndChangeStates) {
  ReadingsTable table;
  test::fillFixtureReadings(table);
  table.append({}, 8);
  table.append({7, std::nullopt, "", std::nullopt, std::nullopt, std::nullopt});
  ASSERT_EQ(table.recordCount(), 5U);
  EXPECT_EQ(table.no(2), 3);
  EXPECT_EQ(table.timeMs(1), 32'703'040);
  EXPECT_EQ(table.text(0, ReadingsTable::Unit), "M\xA6\xB8");
  EXPECT_FALSE(table.text(1, ReadingsTable::Unit));
  EXPECT_EQ(table.changeState(0), ReadingsTable::appendedChangeState);
  EXPECT_EQ(table.changeState(3), 8);
  EXPECT_FALSE(table.no(3));
  EXPECT_FALSE(table.timeMs(3));
  EXPECT_FALSE(table.text(4, ReadingsTable::Value)) << "an empty text is stored as no value";
  const RecordFields copy = table.record(0);
  EXPECT_EQ(copy.V_Range, "IR:500V 20G\xA6\xB8");
  EXPECT_EQ(copy.TimeMs, 52'205'123);
}

TEST(ReadingsTable, AppendingNeverMovesEarlierRecords) {
  ReadingsTable table;
  table.append({1, 0, "first", "V", std::nullopt, std::nullopt});
  const std::string_view value = *table.text(0, ReadingsTable::Value);
  const std::string_view unit = *table.text(0, ReadingsTable::Unit);
  for (int i = 2; i <= 200'000; ++i) {
    table.append({i, 0, std::to_string(i), "V", "IR:500V 20G\xA6\xB8", "Continuous"});
  }
  EXPECT_EQ(value.data(), table.text(0, ReadingsTable::Value)->data());
  EXPECT_EQ(value, "first");
  EXPECT_EQ(unit, "V");
  EXPECT_EQ(table.text(199'999, ReadingsTable::Value), "200000");
}

TEST(ReadingsTable, ClearAndSwapReplaceEverything) {
  ReadingsTable table;
  test::fillFixtureReadings(table);
  ReadingsTable other;
  other.append({9, 0, "x", std::nullopt, std::nullopt, std::nullopt}, 8);
  table.swapRecords(other);
  EXPECT_EQ(table.recordCount(), 1U);
  EXPECT_EQ(table.changeState(0), 8);
  EXPECT_EQ(other.recordCount(), 3U);
  other.clear();
  EXPECT_TRUE(other.empty());
  other.append({1, 0, "1.234", "M\xA6\xB8", std::nullopt, std::nullopt});
  EXPECT_EQ(other.text(0, ReadingsTable::Unit), "M\xA6\xB8");
}

class RecordingObserver : public ReadingsTableObserver {
 public:
  void recordsAppended(std::size_t first, std::size_t count) override {
    events.push_back("appended " + std::to_string(first) + "+" + std::to_string(count));
  }
  void tableReset() override { events.emplace_back("reset"); }
  std::vector<std::string> events;
};

TEST(ReadingsTable, TellsObserversUnlessControlsAreDisabled) {
  ReadingsTable table;
  RecordingObserver observer;
  table.addObserver(&observer);
  table.append({});
  table.append({});
  table.DisableControls();
  table.DisableControls();
  table.append({});
  table.EnableControls();
  EXPECT_TRUE(table.controlsDisabled());
  table.EnableControls();
  table.DisableControls();
  table.EnableControls();  // nothing changed meanwhile: nothing told
  table.clear();
  table.removeObserver(&observer);
  table.append({});
  EXPECT_EQ(observer.events,
            (std::vector<std::string>{"appended 0+1", "appended 1+1", "reset", "reset"}));
}

}  // namespace
}  // namespace ostrel

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RecordTestSupport.h"
#include "record/TableFiles.h"
#include "record/TimeText.h"

namespace ostrel {
namespace {

using test::ScratchFolder;

const LongTimeFormat& plainTime() {
  static const LongTimeFormat format("C");
  return format;
}

TEST(TextTableFile, SavesByteForByte) {
  ReadingsTable table;
  test::fillFixtureReadings(table);
  ScratchFolder folder;
  const std::string name = folder.file("readings.xls");
  const Result<> result = SaveTableToFile(table, name);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.message(), "Save table to specified file: " + name + " Scuss!");
  EXPECT_EQ(test::readBytes(name), test::readBytes(test::fixturePath("readings.xls")));
}

// Test times are kept by the table but never change the six-column text and packet files.
TEST(TextTableFile, TestTimesLeaveTextAndPacketFilesAsTheyWere) {
  ReadingsTable fixture;
  test::fillFixtureReadings(fixture);
  ReadingsTable table;
  for (std::size_t row = 0; row < fixture.recordCount(); ++row) {
    RecordFields fields = fixture.record(row);
    fields.TestTime = static_cast<std::int32_t>(row * 30);
    table.append(fields);
  }
  ASSERT_EQ(table.testTimeS(1), 30);
  ASSERT_EQ(table.record(2).TestTime, 60);
  ASSERT_EQ(fixture.testTimeS(0), std::nullopt);
  ScratchFolder folder;
  for (const char* name : {"readings.xls", "readings.xml"}) {
    ASSERT_TRUE(SaveTableToFile(table, folder.file(name)).ok());
    EXPECT_EQ(test::readBytes(folder.file(name)), test::readBytes(test::fixturePath(name))) << name;
  }
}

TEST(TextTableFile, TrimsTextsAndWritesNullButNeverForNo) {
  ReadingsTable table;
  table.append({std::nullopt, std::nullopt, " \t1.5\x01 ", "   ", "DCV  600V ", std::nullopt});
  table.append({-3, 0, "x", "y", "z", "w"});
  EXPECT_EQ(writeTextTable(table, plainTime()),
            "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n"
            "\tNULL\t1.5\tNULL\tDCV  600V\tNULL\r\n"
            "-3\t00:00:00\tx\ty\tz\tw\r\n");
  EXPECT_EQ(writeTextTable(ReadingsTable{}, plainTime()),
            "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n");
}

TEST(TextTableFile, LoadAppendsTheFixtureAndKeepsNullAsText) {
  ReadingsTable table;
  test::fillFixtureReadings(table);
  const Result<> result = LoadTableFromFile(test::fixturePath("readings.xls"), table, false);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.message(), "");
  ASSERT_EQ(table.recordCount(), 6U);
  EXPECT_EQ(table.no(3), 1) << "numbers repeat";
  EXPECT_EQ(table.timeMs(3), 52'205'000) << "the text file holds whole seconds";
  EXPECT_EQ(table.text(3, ReadingsTable::Unit), "M\xA6\xB8");
  EXPECT_EQ(table.text(4, ReadingsTable::Unit), "NULL");
  EXPECT_EQ(table.text(4, ReadingsTable::V_Range), "DCV  600V");
  EXPECT_EQ(table.text(5, ReadingsTable::Unit), "\x81\x5C");
  EXPECT_EQ(table.changeState(5), 4);
}

struct LoadCase {
  const char* name;
  std::string content;
  bool ok;
  std::size_t records;  // records in the table afterwards
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class TextLoad : public testing::TestWithParam<LoadCase> {};

TEST_P(TextLoad, LoadsLinesUntilTheFirstFailingOne) {
  ReadingsTable table;
  EXPECT_EQ(readTextTable(GetParam().content, table, plainTime()).ok(), GetParam().ok);
  EXPECT_EQ(table.recordCount(), GetParam().records);
}

const std::string header = "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, TextLoad,
    testing::Values(
        LoadCase{"HeaderOnly", header, true, 0}, LoadCase{"EmptyFile", "", false, 0},
        LoadCase{"AnyFirstLineIsSkipped", "garbage\n1\t10:00:00\n", true, 1},
        LoadCase{"FourthLineEmpty", header + "1\t10:00:00\r\n2\t10:00:01\r\n\r\n4\t10:00:02\r\n",
                 false, 2},
        LoadCase{"SevenPieces", header + "1\t10:00:00\r\n2\t10:00:00\ta\tb\tc\td\te\r\n", false, 1},
        LoadCase{"SixPiecesEndingInATab", header + "1\t10:00:00\ta\tb\tc\t\r\n", true, 1},
        LoadCase{"NullTime", header + "1\tNULL\ta\r\n", false, 0},
        LoadCase{"NoNotANumber", header + "x\t10:00:00\r\n", false, 0},
        LoadCase{"NoBeyond32Bits", header + "2147483648\t10:00:00\r\n", false, 0},
        LoadCase{"TimeOutOfRange", header + "1\t24:00:00\r\n", false, 0},
        LoadCase{"MinutesOutOfRange", header + "1\t12:60:00\r\n", false, 0},
        LoadCase{"SecondsOutOfRange", header + "1\t12:00:60\r\n", false, 0},
        LoadCase{"LastTimeOfDay", header + "1\t23:59:59\r\n2\t24:00:00\r\n", false, 1},
        LoadCase{"NumberOnly", header + "1", true, 1},
        LoadCase{"MixedLineEnds", "h\r1\t10:00:00\n2\t10:00:00\r\n3\t10:00:00\r", true, 3},
        LoadCase{"CrLfNotTwoLines", "h\r\n1\t10:00:00\r\n", true, 1},
        LoadCase{"LfCrIsTwoLines", "h\r\n1\t10:00:00\n\r2\t10:00:00\r\n", false, 1},
        LoadCase{"CrOnlyLinesAfterAnLf", "h\n1\t10:00:00\r2\t10:00:00\r3\t10:00:00", true, 3},
        // A file of one line holds a table only when that line is a header (tab-separated
        // titles); anything else is no table, not an empty one.
        LoadCase{"HeaderOnlyWithoutLineEnd", header.substr(0, header.size() - 2), true, 0},
        LoadCase{"OneLineOfNoHeader", "garbage", false, 0},
        LoadCase{"OneEndedLineOfNoHeader", "garbage\r\n", false, 0},
        LoadCase{"HeaderWithANul", std::string("Measurement No.\t") + '\0' + "\r\n", false, 0},
        LoadCase{"NulInARecordLine", header + "1\t10:00:00\r\n2\t10:00:00" + '\0' + "\r\n", false,
                 1},
        // No line of a table is a megabyte long: such a line is refused without being
        // searched to its end.
        LoadCase{"LineOfMoreThanAMegabyte",
                 header + "1\t10:00:00\r\n2\t10:00:00\t" + std::string(std::size_t{1} << 20, 'a') +
                     "\r\n",
                 false, 1},
        LoadCase{"HeaderOfMoreThanAMegabyte",
                 std::string((std::size_t{1} << 20) + 1, '\t') + "\r\n1\t10:00:00", false, 0},
        LoadCase{"LongLineJustUnderTheLimit",
                 header + "1\t10:00:00\t" + std::string((std::size_t{1} << 20) - 12, 'a') + "\r\n",
                 true, 1}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(TextTableFile, PiecesFillFieldsByPositionUntrimmed) {
  ReadingsTable table;
  ASSERT_TRUE(
      readTextTable(header + "-4\t07:08:09\t 1.5 \r\n5\t23:59:59\ta\tb\tc\td", table, plainTime())
          .ok());
  EXPECT_EQ(table.no(0), -4);
  EXPECT_EQ(table.timeMs(0), ((7 * 60 + 8) * 60 + 9) * 1000);
  EXPECT_EQ(table.text(0, ReadingsTable::Value), " 1.5 ");
  EXPECT_FALSE(table.text(0, ReadingsTable::Unit));
  EXPECT_EQ(table.text(1, ReadingsTable::I_Range), "d");
}

TEST(TextTableFile, AFailedLoadFromAFileTellsTheUserAndKeepsEarlierLines) {
  ScratchFolder folder;
  ReadingsTable table;
  EXPECT_EQ(LoadTableFromFile(folder.file("missing.txt"), table, false).message(),
            "Failed to Load File!");
  test::writeBytes(folder.file("partial.txt"), header + "1\t10:00:00\r\nbad\r\n");
  const Result<> result = LoadTableFromFile(folder.file("partial.txt"), table, false);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.message(), "Failed to Load File!");
  EXPECT_EQ(table.recordCount(), 1U) << "the record begun for the failing line is dropped";
}

TEST(LongTimeFormat, OtherPatternsRoundTrip) {
  const LongTimeFormat twelveHour("C", "%I:%M:%S %p");
  EXPECT_EQ(twelveHour.format(52'205'123), "02:30:05 PM");
  EXPECT_EQ(twelveHour.parse("02:30:05 PM"), 52'205'000);
  EXPECT_EQ(twelveHour.parse("02:30:05"), std::nullopt);
  EXPECT_EQ(twelveHour.parse("02:30:60 PM"), std::nullopt) << "strptime takes leap seconds";
  EXPECT_EQ(plainTime().format(86'399'999), "23:59:59");
  EXPECT_EQ(plainTime().parse("9:5:3"), 32'703'000);
  EXPECT_EQ(plainTime().parse("09:05:03 "), std::nullopt);
  EXPECT_EQ(plainTime().parse("09:05"), std::nullopt);
  EXPECT_EQ(formatLongTime(32'703'040), "09:05:03") << "tests run with LC_ALL=C";
}

struct SplitCase {
  std::string text;
  std::string delimiter;
  std::vector<std::string> pieces;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << testing::PrintToString(c.text); }

class Split : public testing::TestWithParam<SplitCase> {};

TEST_P(Split, GivesOneMorePieceThanDelimiters) {
  std::vector<std::string> list{"stale"};
  SplitByDelimiter(GetParam().text, GetParam().delimiter, list);
  EXPECT_EQ(list, GetParam().pieces);
}

INSTANTIATE_TEST_SUITE_P(Cases, Split,
                         testing::Values(SplitCase{"", "\t", {""}}, SplitCase{"a", "\t", {"a"}},
                                         SplitCase{"a\t\tb\t", "\t", {"a", "", "b", ""}},
                                         SplitCase{"a<>b<>", "<>", {"a", "b", ""}}));

}  // namespace
}  // namespace ostrel

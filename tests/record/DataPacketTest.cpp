#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <pugixml.hpp>
#include <string>

#include "RecordTestSupport.h"
#include "record/DataPacket.h"
#include "record/TableFiles.h"

namespace ostrel {
namespace {

using test::ScratchFolder;

const std::string fieldsPart =
    "<METADATA><FIELDS><FIELD attrname=\"No\" fieldtype=\"i4\"/>"
    "<FIELD attrname=\"Time\" fieldtype=\"time\"/>"
    "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"V_Range\" fieldtype=\"string\" WIDTH=\"20\"/>"
    "<FIELD attrname=\"I_Range\" fieldtype=\"string\" WIDTH=\"20\"/></FIELDS>";

std::string packet(const std::string& rows, const std::string& params = "<PARAMS/>") {
  return "<?xml version=\"1.0\" standalone=\"yes\"?>  <DATAPACKET Version=\"2.0\">" + fieldsPart +
         params + "</METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

// The six fields a packet carries (a test time is never in one).
void expectSameSixFields(const RecordFields& a, const RecordFields& b) {
  EXPECT_EQ(a.No, b.No);
  EXPECT_EQ(a.TimeMs, b.TimeMs);
  EXPECT_EQ(a.Value, b.Value);
  EXPECT_EQ(a.Unit, b.Unit);
  EXPECT_EQ(a.V_Range, b.V_Range);
  EXPECT_EQ(a.I_Range, b.I_Range);
}

TEST(DataPacket, SavesByteForByte) {
  ReadingsTable table;
  test::fillFixtureReadings(table);
  ScratchFolder folder;
  const std::string name = folder.file("DATA.XML");
  const Result<> result = SaveTableToFile(table, name);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.message(), "Save table to specified file: " + name + " Scuss!");
  EXPECT_EQ(test::readBytes(name), test::readBytes(test::fixturePath("readings.xml")));
}

TEST(DataPacket, EmptyTableAndOtherStates) {
  EXPECT_EQ(writeDataPacket(ReadingsTable{}), packet(""));
  ReadingsTable table;
  table.append({1, 0, std::nullopt, std::nullopt, std::nullopt, std::nullopt}, 0);
  table.append({2, 61'001, std::nullopt, std::nullopt, std::nullopt, std::nullopt}, 8);
  EXPECT_EQ(writeDataPacket(table),
            packet("<ROW No=\"1\" Time=\"00:00:00000\"/><ROW RowState=\"8\" No=\"2\" "
                   "Time=\"00:01:01001\"/>",
                   "<PARAMS CHANGE_LOG=\"2 0 4\"/>"));
}

TEST(DataPacket, EscapesCharactersButNeverASecondByte) {
  ReadingsTable table;
  table.append({1, 0, "<>&'\"", "\r\n\t\\", "\x81\x5C\x95\x5C\\", "\xA6"});
  EXPECT_NE(writeDataPacket(table).find(
                " Value=\"&lt;&gt;&amp;&apos;&quot;\" Unit=\"&#013;&#010;&#009;&#092;\" "
                "V_Range=\"\x81\x5C\x95\x5C&#092;\" I_Range=\"\xA6\"/>"),
            std::string::npos);
  ReadingsTable back;
  ASSERT_TRUE(readDataPacket(writeDataPacket(table), back).ok());
  EXPECT_EQ(back.record(0).Value, table.record(0).Value);
  EXPECT_EQ(back.record(0).Unit, table.record(0).Unit);
  EXPECT_EQ(back.record(0).V_Range, table.record(0).V_Range);
  EXPECT_EQ(back.record(0).I_Range, table.record(0).I_Range);
}

// A lead byte without a valid second byte (as a loaded file may hold) must not swallow the
// quote or bracket after it: the packet would no longer be well formed and the save lost.
TEST(DataPacket, ALeadByteWithoutItsSecondByteLeavesTheNextCharacterEscaped) {
  ReadingsTable table;
  table.append({1, 0, "&apos\x81\"", "\xFE<", "\x81&", "\x81\x7F"});
  const std::string packet = writeDataPacket(table);
  EXPECT_NE(packet.find(" Value=\"&amp;apos\x81&quot;\" Unit=\"\xFE&lt;\" V_Range=\"\x81&amp;\""),
            std::string::npos);
  ReadingsTable back;
  ASSERT_TRUE(readDataPacket(packet, back).ok());
  EXPECT_EQ(back.record(0).Value, table.record(0).Value);
  EXPECT_EQ(back.record(0).Unit, table.record(0).Unit);
  EXPECT_EQ(back.record(0).V_Range, table.record(0).V_Range);
  EXPECT_EQ(back.record(0).I_Range, table.record(0).I_Range);
}

TEST(DataPacket, LoadReplacesTheTableWithTheFixture) {
  ReadingsTable expected;
  test::fillFixtureReadings(expected);
  ReadingsTable table;
  table.append({99, 0, "old", std::nullopt, std::nullopt, std::nullopt});
  const Result<> result = LoadTableFromFile(test::fixturePath("readings.xml"), table, false);
  EXPECT_TRUE(result.ok());
  EXPECT_EQ(result.message(), "");
  ASSERT_EQ(table.recordCount(), 3U);
  for (std::size_t row = 0; row < 3; ++row) {
    expectSameSixFields(table.record(row), expected.record(row));
    EXPECT_EQ(table.changeState(row), 4);
  }
}

struct VariationCase {
  const char* name;
  std::string bytes;
  std::size_t records;
  std::string firstValue;  // Value of the first loaded record, when any
  std::uint8_t firstState;
};

void PrintTo(const VariationCase& c, std::ostream* os) { *os << c.name; }

class PacketVariation : public testing::TestWithParam<VariationCase> {};

TEST_P(PacketVariation, IsAccepted) {
  ReadingsTable table;
  ASSERT_TRUE(readDataPacket(GetParam().bytes, table).ok());
  ASSERT_EQ(table.recordCount(), GetParam().records);
  if (GetParam().records > 0) {
    EXPECT_EQ(table.text(0, ReadingsTable::Value).value_or(""), GetParam().firstValue);
    EXPECT_EQ(table.changeState(0), GetParam().firstState);
  }
}

const std::string oneRow = "<ROW RowState=\"4\" No=\"1\" Time=\"14:30:05123\" Value=\"1.5\"/>";

INSTANTIATE_TEST_SUITE_P(
    Cases, PacketVariation,
    testing::Values(
        VariationCase{"OurForm", packet(oneRow), 1, "1.5", 4},
        VariationCase{"EmptyRowData", packet(""), 0, "", 0},
        VariationCase{"LineBreaksAndBlanks",
                      "<?xml version=\"1.0\"?>\r\n<DATAPACKET Version=\"2.0\">\n  " + fieldsPart +
                          "\n  <PARAMS/></METADATA>\n  <ROWDATA>\n    " + oneRow +
                          "\n  </ROWDATA>\n</DATAPACKET>\n",
                      1, "1.5", 4},
        VariationCase{"OtherAttributeOrderAndCase",
                      packet("<ROW value=\"2.5\" TIME=\"14:30:05\" rowstate=\"4\" no=\"1\"/>"), 1,
                      "2.5", 4},
        VariationCase{"GbkDeclared",
                      "<?xml version=\"1.0\" encoding=\"GBK\"?>" +
                          packet("<ROW Value=\"M\xA6\xB8\"/>").substr(38),
                      1, "M\xA6\xB8", 0},
        VariationCase{"Utf8DeclaredIsConverted",
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" +
                          packet("<ROW Value=\"M\xCE\xA9\"/>").substr(38),
                      1, "M\xA6\xB8", 0},
        VariationCase{
            "OtherParams",
            packet(oneRow, "<PARAMS CHANGE_LOG=\"1 0 4\" LCID=\"2052\" DATASET_DELTA=\"1\"/>"), 1,
            "1.5", 4},
        VariationCase{"FieldsInOtherOrder",
                      "<DATAPACKET><METADATA><FIELDS>"
                      "<FIELD attrname=\"I_Range\" fieldtype=\"string\"/>"
                      "<FIELD attrname=\"Value\" fieldtype=\"string\"/>"
                      "<FIELD attrname=\"Extra\" fieldtype=\"r8\"/>"
                      "<FIELD attrname=\"V_Range\" fieldtype=\"string\"/>"
                      "<FIELD attrname=\"Time\" fieldtype=\"time\"/>"
                      "<FIELD attrname=\"Unit\" fieldtype=\"string\"/>"
                      "<FIELD attrname=\"No\" fieldtype=\"i4\"/>"
                      "</FIELDS></METADATA><ROWDATA><ROW I_Range=\"Timed\" Extra=\"1.5\" "
                      "Value=\"3\"/></ROWDATA></DATAPACKET>",
                      1, "3", 0},
        VariationCase{"SkippedStates",
                      packet("<ROW RowState=\"1\" Value=\"a\"/><ROW RowState=\"2\" Value=\"b\"/>"
                             "<ROW RowState=\"32\" Value=\"c\"/><ROW RowState=\"12\" Value=\"d\"/>"
                             "<ROW RowState=\"8\" Value=\"e\"/>"),
                      2, "d", 12},
        VariationCase{"EmptyAttributeIsEmptyField", packet("<ROW Value=\"\" No=\"2\"/>"), 1, "", 0},
        VariationCase{"LongTextCut", packet("<ROW Value=\"123456789012345678\xA6\xB8\xA6\xB8\"/>"),
                      1, "123456789012345678\xA6\xB8", 0}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

struct BadPacket {
  const char* name;
  std::string bytes;
};
// gtest prints a parameter it cannot print as a dump of its bytes, pointers included.
void PrintTo(const BadPacket& packet, std::ostream* out) { *out << packet.name; }

class PacketFailure : public testing::TestWithParam<BadPacket> {};

TEST_P(PacketFailure, FailsAndLeavesTheTableAsItWas) {
  ScratchFolder folder;
  const std::string name = folder.file("bad.xml");
  test::writeBytes(name, GetParam().bytes);
  ReadingsTable table;
  test::fillFixtureReadings(table);
  const Result<> result = LoadTableFromFile(name, table, false);
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.message(), "Failed to Load File!");
  ASSERT_EQ(table.recordCount(), 3U);
  EXPECT_EQ(table.text(2, ReadingsTable::Value), "a&b");
  table.append({4, 0, "still usable", std::nullopt, std::nullopt, std::nullopt});
  EXPECT_EQ(table.recordCount(), 4U);
}

std::string withField(const std::string& from, const std::string& to) {
  std::string bytes = packet(oneRow);
  bytes.replace(bytes.find(from), from.size(), to);
  return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PacketFailure,
    testing::Values(
        BadPacket{"Unparseable", packet(oneRow).substr(0, 300)}, BadPacket{"Empty", ""},
        BadPacket{"TextFile", "Measurement No.\tTime\r\n"},
        BadPacket{"MissingField",
                  withField("<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/>", "")},
        BadPacket{"OtherType", withField("attrname=\"No\" fieldtype=\"i4\"",
                                         "attrname=\"No\" fieldtype=\"string\"")},
        BadPacket{"OtherRoot", "<TABLE/>"}, BadPacket{"BadNumber", packet("<ROW No=\"1.5\"/>")},
        BadPacket{"BadTime", packet("<ROW Time=\"25:00:00000\"/>")},
        BadPacket{"BadState", packet("<ROW RowState=\"x\"/>")}),
    [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(PacketTime, KeepsTheMillisecondsWithinTheMinute) {
  EXPECT_EQ(formatPacketTime(((9 * 60 + 5) * 60 + 3) * 1000 + 40), "09:05:03040");
  EXPECT_EQ(formatPacketTime(86'399'999), "23:59:59999");
  EXPECT_EQ(parsePacketTime("23:59:59999"), 86'399'999);
  EXPECT_EQ(parsePacketTime("00:00:60000"), std::nullopt);
  EXPECT_EQ(parsePacketTime("14:30:05"), 52'205'000);
  EXPECT_EQ(parsePacketTime("14:30:5123"), std::nullopt);
}

}  // namespace
}  // namespace ostrel

namespace ostrel {
namespace {

// The most memory pugixml held at once while installed, through its own allocation hooks:
// what tells a packet parsed in pieces from one parsed whole.
class PugixmlPeakMemory {
 public:
  PugixmlPeakMemory() {
    s_peak = s_inUse;  // from here on, not what an earlier measure saw
    pugi::set_memory_management_functions(&allocate, &release);
  }
  ~PugixmlPeakMemory() { pugi::set_memory_management_functions(&std::malloc, &std::free); }
  PugixmlPeakMemory(const PugixmlPeakMemory&) = delete;
  PugixmlPeakMemory& operator=(const PugixmlPeakMemory&) = delete;

  [[nodiscard]] std::size_t peakBytes() const { return s_peak; }

 private:
  // Each block carries its size in front of it.
  static constexpr std::size_t header = alignof(std::max_align_t);
  static void* allocate(std::size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + header));
    if (block == nullptr) return nullptr;
    std::memcpy(block, &size, sizeof size);
    s_inUse += size;
    s_peak = std::max(s_peak, s_inUse);
    return block + header;
  }
  static void release(void* pointer) {
    if (pointer == nullptr) return;
    auto* block = static_cast<unsigned char*>(pointer) - header;
    std::size_t size = 0;
    std::memcpy(&size, block, sizeof size);
    s_inUse -= size;
    std::free(block);
  }
  static inline std::size_t s_inUse = 0;
  static inline std::size_t s_peak = 0;
};

TEST(LargePacket, LoadsRecordsSpreadOverManyPiecesWithoutParsingThemWhole) {
  ReadingsTable table;
  for (int i = 1; i <= 100'000; ++i) {
    table.append({i, i, std::to_string(i) + "&<", "M\xA6\xB8", "IR:500V 20G\xA6\xB8", "Timed"});
  }
  const std::string bytes = writeDataPacket(table);
  ASSERT_GT(bytes.size(), std::size_t{8} << 20);
  ReadingsTable back;
  {
    const PugixmlPeakMemory pugixmlMemory;
    ASSERT_TRUE(readDataPacket(bytes, back).ok());
    // A whole parse copies the packet and builds a node per row: several times its size.
    EXPECT_LT(pugixmlMemory.peakBytes(), bytes.size() / 2);
  }
  ASSERT_EQ(back.recordCount(), 100'000U);
  for (std::size_t row : {std::size_t{0}, std::size_t{12'345}, std::size_t{99'999}}) {
    EXPECT_EQ(back.no(row), table.no(row));
    EXPECT_EQ(back.timeMs(row), table.timeMs(row));
    EXPECT_EQ(back.text(row, ReadingsTable::Value), table.text(row, ReadingsTable::Value));
  }
}

// A reader's progress callback may stop it (a cancelled load): the read fails at once instead
// of going on, and a packet is not parsed a second time as a whole.
TEST(LargeTable, ReadersStopWhenTheProgressCallbackSaysSo) {
  ReadingsTable table;
  for (int i = 1; i <= 150'000; ++i) {
    table.append({i, i, std::to_string(i), "M\xA6\xB8", "IR:500V 20G\xA6\xB8", "Timed"});
  }
  const LongTimeFormat plain("C");
  for (const bool packetFile : {true, false}) {
    SCOPED_TRACE(packetFile ? "packet" : "text");
    const std::string bytes = packetFile ? writeDataPacket(table) : writeTextTable(table, plain);
    int calls = 0;
    const ReleaseConsumed stopAtFirst = [&](std::size_t) {
      ++calls;
      return false;
    };
    ReadingsTable back;
    const LoadResult read = packetFile ? readDataPacket(bytes, back, stopAtFirst)
                                       : readTextTable(bytes, back, plain, stopAtFirst);
    EXPECT_TRUE(read.cancelled());
    EXPECT_EQ(read.failure().kind, LoadFailureKind::Cancelled);
    EXPECT_EQ(calls, 1);
    EXPECT_LT(back.recordCount(), table.recordCount());
  }
}

TEST(LargePacket, RowsInsideALongCommentAreNotRecords) {
  std::string comment = "<!-- ";
  while (comment.size() < (std::size_t{3} << 20)) comment += "<ROW Value=\"commented\"/>";
  comment += " -->";
  ReadingsTable table;
  ASSERT_TRUE(readDataPacket(packet(oneRow + comment + oneRow), table).ok());
  EXPECT_EQ(table.recordCount(), 2U);
}

// The records are read straight from the packet's bytes; a packet with an element other than
// ROW among them is parsed whole by pugixml. Both must give the same records. The rows here
// are all of the shape the straight reader takes (references, white space and CR LF inside
// values, attributes in any order and letter case), repeated until the packet is large
// enough that pugixml's memory tells the two reads apart: a whole parse holds more than the
// packet, the straight read only its head.
TEST(PacketRows, ReadTheSameStraightFromTheBytesAsParsedWhole) {
  const std::string rows =
      "<ROW Value='a\"b' Unit=\"x&#x41;&#65;&#937;y\" V_Range=\"1\t2\r\n3\n4\r5\" "
      "I_Range=\"&lt;&gt;&amp;&apos;&quot;&#013;\"/>\n"
      "<!-- <ROW Value=\"commented\"/> -->"
      "<ROW  no = \"-0\"  TIME='01:02:03'  value=\"v\"\tRowState=\"12\"/>"
      "<ROW RowState=\"2\" Value=\"skipped\"/><ROW Extra=\"&#x10FFFF;\" No=\"000000000012\"/>"
      "<ROW No=\"7\" Value=\"cr&#13;&#10;lf\" Unit=\"a\r\n\r\nb\"\r\n/>\r\n";
  constexpr std::size_t repeats = 2000;
  std::string many;
  for (std::size_t i = 0; i < repeats; ++i) many += rows;
  const std::string straight = packet(many);
  const std::string parsedWhole = packet(many + "<OTHER/>");
  ReadingsTable scanned;
  ReadingsTable whole;
  {
    const PugixmlPeakMemory pugixmlMemory;
    ASSERT_TRUE(readDataPacket(straight, scanned).ok());
    EXPECT_LT(pugixmlMemory.peakBytes(), straight.size() / 4) << "read straight from the bytes";
  }
  {
    const PugixmlPeakMemory pugixmlMemory;
    ASSERT_TRUE(readDataPacket(parsedWhole, whole).ok());
    EXPECT_GT(pugixmlMemory.peakBytes(), parsedWhole.size()) << "parsed whole";
  }
  ASSERT_EQ(scanned.recordCount(), 4 * repeats);
  ASSERT_EQ(whole.recordCount(), scanned.recordCount());
  for (std::size_t row = 0; row < scanned.recordCount(); ++row) {
    SCOPED_TRACE(row);
    expectSameSixFields(scanned.record(row), whole.record(row));
    EXPECT_EQ(scanned.changeState(row), whole.changeState(row));
    if (testing::Test::HasFailure()) break;
  }
  EXPECT_EQ(scanned.text(0, ReadingsTable::V_Range), "1 2 3 4 5");
  EXPECT_EQ(scanned.text(0, ReadingsTable::I_Range), "<>&'\"\r");
  EXPECT_EQ(scanned.no(1), 0);
  EXPECT_EQ(scanned.changeState(1), 12);
  EXPECT_EQ(scanned.no(2), 12);
  EXPECT_EQ(scanned.text(3, ReadingsTable::Value), "cr\r\nlf");
  EXPECT_EQ(scanned.text(3, ReadingsTable::Unit), "a  b");
}

// References the straight reader does not take (a bare '&', empty or unknown ones) and a ROW
// with an end tag send the packet to the whole parse, which reads them as XML says.
TEST(PacketRows, WhatTheStraightReaderLeavesIsParsedWhole) {
  ReadingsTable table;
  ASSERT_TRUE(readDataPacket(
                  packet("<ROW Value=\"a&b&#;&#x;&bogus;\"/><ROW Value=\"closed\"></ROW>"), table)
                  .ok());
  ASSERT_EQ(table.recordCount(), 2U);
  EXPECT_EQ(table.text(0, ReadingsTable::Value), "a&b&#;&#x;&bogus;");
  EXPECT_EQ(table.text(1, ReadingsTable::Value), "closed");
}

// A packet of a shape only a whole parse reads (here an element among the records) is parsed
// whole only while small: the parse holds a copy and a node per row.
TEST(PacketRows, AnOddShapeIsParsedWholeOnlyWhileSmall) {
  std::string rows;
  while (rows.size() < (std::size_t{17} << 20)) rows += oneRow;
  ReadingsTable table;
  EXPECT_TRUE(readDataPacket(packet(rows), table).ok());
  ReadingsTable odd;
  const LoadResult tooLarge = readDataPacket(packet(rows + "<OTHER/>"), odd);
  EXPECT_EQ(tooLarge.failure().kind, LoadFailureKind::TooLargeToParse);
  EXPECT_EQ(tooLarge.reason(), "a packet of a shape that is read whole, larger than 16 MB");
  ReadingsTable small;
  EXPECT_TRUE(readDataPacket(packet(oneRow + "<OTHER/>"), small).ok());
  EXPECT_EQ(small.recordCount(), 1U);
}

// A packet saved from a loaded text file names every record in its CHANGE_LOG; the head is
// checked without copying that attribute, so pugixml's memory stays small whatever its size.
TEST(PacketRows, ALongChangeLogIsNotCopied) {
  std::string log;
  while (log.size() < (std::size_t{8} << 20)) log += "1 0 4 ";
  const std::string bytes = packet(oneRow, "<PARAMS CHANGE_LOG=\"" + log + "\"/>");
  ReadingsTable table;
  const PugixmlPeakMemory pugixmlMemory;
  ASSERT_TRUE(readDataPacket(bytes, table).ok());
  EXPECT_EQ(table.recordCount(), 1U);
  EXPECT_LT(pugixmlMemory.peakBytes(), std::size_t{1} << 20);
}

// How far the resident memory of a child process rose above its level before loading `name`
// (mapped file pages count), in MB; -1 when the load succeeded (none of these files holds a
// table).
double failedLoadPeakRiseMb(const std::string& name) {
  int pipe[2];
  if (::pipe(pipe) != 0) return -2;
  const pid_t child = ::fork();
  if (child == 0) {
    const auto kib = [](const char* key) {
      std::ifstream status("/proc/self/status");
      for (std::string line; std::getline(status, line);) {
        if (line.starts_with(key)) return std::stod(line.substr(std::strlen(key)));
      }
      return 0.0;
    };
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak starts again from here
    const double before = kib("VmRSS:");
    ReadingsTable table;
    const bool ok = LoadTableFromFile(name, table, false).ok();
    const double rise = ok ? -1 : (kib("VmHWM:") - before) / 1024;
    const ssize_t written = ::write(pipe[1], &rise, sizeof rise);
    ::_exit(written == sizeof rise ? 0 : 1);
  }
  ::close(pipe[1]);
  double rise = -2;
  if (::read(pipe[0], &rise, sizeof rise) != sizeof rise) rise = -2;
  ::close(pipe[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return rise;
}

// Files of a gigabyte that hold no table (a sparse file, a table whose end is a sparse tail)
// are refused, never loaded as an empty table, and without reading them through.
TEST(AbsurdFiles, AreRefusedWithinAFewMegabytes) {
  ScratchFolder folder;
  ReadingsTable records;
  for (int i = 1; i <= 2'000; ++i) records.append({i, i, "1.5", "M\xA6\xB8", "IR", "Timed"});
  constexpr off_t gigabyte = off_t{1} << 30;
  struct Case {
    const char* name;
    std::string start;  // what the file holds before its sparse rest
  };
  const LongTimeFormat plain("C");
  const std::string text = writeTextTable(records, plain);
  const std::string packetBytes = writeDataPacket(records);
  for (const Case& c :
       {Case{"sparse.xml", ""}, Case{"sparse.xls", ""},
        Case{"tail.xml", packetBytes.substr(0, packetBytes.size() - 30)}, Case{"tail.xls", text},
        Case{"header.xls", text.substr(0, 48)}, Case{"closed.xml", packetBytes}}) {
    SCOPED_TRACE(c.name);
    const std::string name = folder.file(c.name);
    test::writeBytes(name, c.start);
    ASSERT_EQ(::truncate(name.c_str(), gigabyte), 0);
    const double rise = failedLoadPeakRiseMb(name);
    EXPECT_GE(rise, 0) << "-1: loaded, -2: the child failed";
    EXPECT_LT(rise, 64);
    std::filesystem::remove(name);
  }
}

TEST(LargePacket, TrailingGarbageFails) {
  ReadingsTable table;
  EXPECT_FALSE(readDataPacket(packet(oneRow) + "<more/>", table).ok());
  EXPECT_FALSE(readDataPacket(packet(oneRow) + "</ROWDATA>", table).ok());
}

}  // namespace
}  // namespace ostrel

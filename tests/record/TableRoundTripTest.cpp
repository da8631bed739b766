// Property: every table file the program writes loads back. Random tables with the texts
// that break files (GBK lead bytes alone and in pairs, XML's special characters, control
// bytes, NUL, 0 to 25 bytes) are saved in each format and loaded into a fresh table; the
// loaded table is the saved one as the format keeps it, or the save was refused with the
// save failure message and wrote nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "RecordTestSupport.h"
#include "record/TableFiles.h"

namespace ostrel {
namespace {

using test::ScratchFolder;

constexpr std::array<ReadingsTable::Field, 4> textFields{
    ReadingsTable::Value, ReadingsTable::Unit, ReadingsTable::V_Range, ReadingsTable::I_Range};

class TableMaker {
 public:
  explicit TableMaker(unsigned seed) : m_random(seed) {}

  // A table of 0 to 30 records. Only some tables may hold what no file can carry back (a
  // NUL byte; for text, a record without number or time), so that most are saved.
  void fill(ReadingsTable& table) {
    m_unwritable = chance(4);
    const int records = pick(0, 30);
    for (int i = 0; i < records; ++i) {
      RecordFields r;
      if (!m_unwritable || !chance(8)) r.No = static_cast<std::int32_t>(m_random());
      if (!m_unwritable || !chance(8)) r.TimeMs = pick(0, 86'399'999);
      for (std::optional<std::string>* text : {&r.Value, &r.Unit, &r.V_Range, &r.I_Range}) {
        if (!chance(8)) *text = randomText();
      }
      table.append(r);
    }
  }

 private:
  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
  bool chance(int oneIn) { return pick(1, oneIn) == 1; }
  char byte(int low, int high) { return static_cast<char>(pick(low, high)); }

  std::string randomText() {
    const auto length = static_cast<std::size_t>(pick(0, 25));
    std::string text;
    while (text.size() < length) {
      switch (pick(0, 6)) {
        case 0:
          text += byte(0x20, 0x7E);
          break;
        case 1:
          text += "<>&'\"\\"[pick(0, 5)];
          break;
        case 2:
          text += byte(m_unwritable ? 0x00 : 0x01, 0x1F);
          break;
        case 3:
          text += "\t\r\n\x7F"[pick(0, 3)];
          break;
        case 4:  // a two-byte character, its second byte '\\' or '|' too
          text += byte(0x81, 0xFE);
          text += chance(4) ? "\\|@~"[pick(0, 3)] : byte(0x80, 0xFE);
          break;
        case 5:
          text += byte(0x81, 0xFE);
          break;  // a lead byte alone
        default:
          text += chance(2) ? ' ' : byte(0x80, 0xFF);
      }
    }
    return text;
  }

  std::mt19937 m_random;
  bool m_unwritable = false;
};

bool holdsNul(const ReadingsTable& table) {
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    for (const auto field : textFields) {
      const auto text = table.text(row, field);
      if (text && text->find('\0') != std::string_view::npos) return true;
    }
  }
  return false;
}

bool lacksNumberOrTime(const ReadingsTable& table) {
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    if (!table.no(row) || !table.timeMs(row)) return true;
  }
  return false;
}

// A text cell as text files keep it: blanks and control bytes trimmed at both ends, an
// inner tab, CR or LF as a blank, an empty cell as the four letters NULL.
std::string textCell(std::optional<std::string_view> text) {
  std::string cell(text.value_or(""));
  const auto blankOrControl = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  while (!cell.empty() && blankOrControl(cell.back())) cell.pop_back();
  std::size_t first = 0;
  while (first < cell.size() && blankOrControl(cell[first])) ++first;
  cell.erase(0, first);
  for (char& c : cell) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  return cell.empty() ? "NULL" : cell;
}

// The table a text file of `table` loads as: times to the second, texts as cells.
void asTextFileKeepsIt(const ReadingsTable& table, ReadingsTable& kept) {
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    RecordFields r = table.record(row);
    if (r.TimeMs) *r.TimeMs -= *r.TimeMs % 1000;
    r.Value = textCell(table.text(row, ReadingsTable::Value));
    r.Unit = textCell(table.text(row, ReadingsTable::Unit));
    r.V_Range = textCell(table.text(row, ReadingsTable::V_Range));
    r.I_Range = textCell(table.text(row, ReadingsTable::I_Range));
    kept.append(r);
  }
}

using Row = std::tuple<std::optional<std::int32_t>, std::optional<std::int32_t>,
                       std::optional<std::string>, std::optional<std::string>,
                       std::optional<std::string>, std::optional<std::string>, int>;

std::vector<Row> rows(const ReadingsTable& table) {
  std::vector<Row> out;
  for (std::size_t row = 0; row < table.recordCount(); ++row) {
    const RecordFields r = table.record(row);
    out.emplace_back(r.No, r.TimeMs, r.Value, r.Unit, r.V_Range, r.I_Range, table.changeState(row));
  }
  return out;
}

class RoundTrip : public testing::TestWithParam<const char*> {};

TEST_P(RoundTrip, EverySavedTableLoadsBackAsTheFormatKeepsIt) {
  const std::string extension = GetParam();
  const bool packet = extension == ".xml";
  ScratchFolder folder;
  int saved = 0;
  for (unsigned seed = 1; seed <= 300; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    ReadingsTable table;
    TableMaker(seed).fill(table);
    const std::string name = folder.file("t" + std::to_string(seed) + extension);
    const Result<> result = SaveTableToFile(table, name);
    const bool refusable = holdsNul(table) || (!packet && lacksNumberOrTime(table));
    if (!result.ok()) {
      EXPECT_TRUE(refusable) << result.message();
      EXPECT_EQ(result.message().rfind(packet ? "Cannot create file \"" + name + "\". "
                                              : "Could not save table to specified file: " + name,
                                       0),
                0U);
      EXPECT_FALSE(std::filesystem::exists(name));
      continue;
    }
    EXPECT_FALSE(refusable) << "written, though it cannot load back the same";
    ++saved;
    ReadingsTable loaded;
    ASSERT_TRUE(LoadTableFromFile(name, loaded, false).ok()) << test::readBytes(name);
    ReadingsTable expected;
    if (packet) {
      for (std::size_t row = 0; row < table.recordCount(); ++row) {
        expected.append(table.record(row), table.changeState(row));
      }
    } else {
      asTextFileKeepsIt(table, expected);
    }
    ASSERT_EQ(rows(loaded), rows(expected));
  }
  EXPECT_GT(saved, 150) << "too few tables were saved to show anything";
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, testing::Values(".xml", ".xls", ".txt"),
                         [](const auto& paramInfo) { return std::string(paramInfo.param + 1); });

// Where the rules come from: a text file's NUL byte is refused at load, and a packet's
// tab, CR and LF (character references) reach a text file as blanks.
TEST(RoundTrip, NulInATextFileAndLineBreaksFromAPacket) {
  ScratchFolder folder;
  const std::string text = folder.file("nul.txt");
  test::writeBytes(text, std::string("h\r\n1\t10:00:00\tok\r\n2\t10:00:01\ta\0b\r\n", 34));
  ReadingsTable table;
  EXPECT_FALSE(LoadTableFromFile(text, table, false).ok());
  EXPECT_EQ(table.recordCount(), 1U);

  const std::string packet = folder.file("breaks.xml");
  test::writeBytes(
      packet,
      "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA>"
      "<FIELDS><FIELD attrname=\"No\" fieldtype=\"i4\"/><FIELD attrname=\"Time\" "
      "fieldtype=\"time\"/><FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"20\"/>"
      "<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/><FIELD "
      "attrname=\"V_Range\" fieldtype=\"string\" WIDTH=\"20\"/><FIELD "
      "attrname=\"I_Range\" fieldtype=\"string\" WIDTH=\"20\"/></FIELDS><PARAMS/>"
      "</METADATA><ROWDATA><ROW No=\"1\" Time=\"10:00:00000\" "
      "Value=\"a&#009;b&#013;&#010;c\"/></ROWDATA></DATAPACKET>");
  ReadingsTable fromPacket;
  ASSERT_TRUE(LoadTableFromFile(packet, fromPacket, false).ok());
  EXPECT_EQ(fromPacket.text(0, ReadingsTable::Value), "a\tb\r\nc");
  const std::string xls = folder.file("breaks.xls");
  ASSERT_TRUE(SaveTableToFile(fromPacket, xls).ok());
  ReadingsTable back;
  ASSERT_TRUE(LoadTableFromFile(xls, back, false).ok());
  ASSERT_EQ(back.recordCount(), 1U);
  EXPECT_EQ(back.text(0, ReadingsTable::Value), "a b  c");
}

}  // namespace
}  // namespace ostrel

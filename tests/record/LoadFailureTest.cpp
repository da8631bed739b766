// Why a load failed, as the readers find it: the kind, the line and the byte, with no second
// reading of the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "RecordTestSupport.h"
#include "record/DataPacket.h"
#include "record/JournalWriter.h"
#include "record/TableFiles.h"

namespace ostrel {
namespace {

using test::ScratchFolder;

const std::string header = "Measurement No.\tTime\tValue\tUnit\tFunction\tRemark\r\n";

std::string fixturePacket() {
  ReadingsTable table;
  test::fillFixtureReadings(table);
  return writeDataPacket(table);
}

struct FailureCase {
  const char* name;  // the file's name: its extension picks the reader
  std::string bytes;
  LoadFailureKind kind;
  std::string reason;
  std::size_t recordsKept;  // records a text file's lines before the failing one leave
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

// Offsets in the cases: where the failing cell, value or row starts.
std::string at(const std::string& bytes, const std::string& piece) {
  return std::to_string(bytes.find(piece));
}

std::vector<FailureCase> failureCases() {
  const std::string damaged = header + "1\t10:00:00\r\n2\t10:00:01\tx\r\n3\tnoon\tx\r\n";
  const std::string nul = header + "1\t10:00:00\tv" + std::string(1, '\0') + "\r\n";
  const std::string overlong =
      header + "1\t10:00:00\r\n2\t10:00:01\t" + std::string(textMaxLineBytes, 'a') + "\r\n";
  const std::string packet = fixturePacket();
  std::string badNo = packet;
  badNo.replace(badNo.find("No=\"2\""), 6, "No=\"x\"");
  // Another element among the rows: the packet is parsed whole, and the row itself is named.
  std::string badNoWhole = badNo;
  badNoWhole.insert(badNoWhole.find("<ROWDATA>") + 9, "<OTHER/>");
  std::string noTime = packet;
  noTime.replace(noTime.find("attrname=\"Time\""), 15, "attrname=\"When\"");
  // Cut inside the first row's attribute (the parser names the place where it ran out).
  const std::string cut = packet.substr(0, packet.find("<ROWDATA>") + 20);
  return {
      {"damaged.xls", damaged, LoadFailureKind::DamagedLine,
       "damaged at line 4 (byte " + at(damaged, "noon") + ")", 2},
      {"nul.xls", nul, LoadFailureKind::DamagedLine,
       "damaged at line 2 (byte " + at(nul, std::string(1, '\0')) + ")", 0},
      {"overlong.xls", overlong, LoadFailureKind::LineTooLong,
       "line 3 is longer than 1 MB (byte " + at(overlong, "2\t10:00:01") + ")", 1},
      {"oneline.xls", "garbage\r\n", LoadFailureKind::NotTextTable, "not a text table", 0},
      {"nulheader.xls", "Measurement No.\t" + std::string(1, '\0'), LoadFailureKind::NotTextTable,
       "not a text table", 0},
      {"empty.xml", "", LoadFailureKind::Empty, "empty", 0},
      {"cut.xml", cut, LoadFailureKind::BrokenXml,
       "Error parsing element attribute at byte " + std::to_string(cut.size()), 0},
      {"html.xml", "<?xml version=\"1.0\"?><html/>", LoadFailureKind::NotDataPacket,
       "not a data packet: its root element is no DATAPACKET", 0},
      {"notime.xml", noTime, LoadFailureKind::NotDataPacket,
       "not a data packet: one of the six fields is missing or of another type", 0},
      {"nul.xml", "<?x" + std::string(1, '\0'), LoadFailureKind::NotDataPacket,
       "not a data packet: a NUL byte at byte 3", 0},
      {"badno.xml", badNo, LoadFailureKind::DamagedRow,
       "damaged row at byte " + at(badNo, "No=\"x\"") + " (a value that does not fit its field)",
       0},
      {"badnowhole.xml", badNoWhole, LoadFailureKind::DamagedRow,
       "damaged row at byte " +
           std::to_string(badNoWhole.rfind("<ROW", badNoWhole.find("No=\"x\""))) +
           " (a value that does not fit its field)",
       0},
      {"book.xlsx", "PK", LoadFailureKind::Workbook, "a workbook (written only, never read)", 0},
  };
}

class LoadFailureReason : public testing::TestWithParam<FailureCase> {};

TEST_P(LoadFailureReason, NamesTheKindLineAndByteWhereTheReaderFoundIt) {
  const FailureCase& c = GetParam();
  ScratchFolder folder;
  const std::string name = folder.file(c.name);
  test::writeBytes(name, c.bytes);
  ReadingsTable table;
  const LoadResult loaded = LoadTableFromFile(name, table, false);
  EXPECT_FALSE(loaded.ok());
  EXPECT_EQ(loaded.message(), loadFailedMessage);
  EXPECT_EQ(loaded.failure().kind, c.kind);
  EXPECT_EQ(loaded.reason(), c.reason);
  EXPECT_EQ(table.recordCount(), c.recordsKept);
}

INSTANTIATE_TEST_SUITE_P(Files, LoadFailureReason, testing::ValuesIn(failureCases()),
                         [](const auto& paramInfo) {
                           std::string name = paramInfo.param.name;
                           name.erase(name.find('.'), 1);
                           return name;
                         });

TEST(LoadFailureReason, NamesWhatIsNoRegularFile) {
  ScratchFolder folder;
  std::filesystem::create_directory(folder.file("folder.xls"));
  ReadingsTable table;
  EXPECT_EQ(LoadTableFromFile(folder.file("missing.xls"), table, false).failure().kind,
            LoadFailureKind::NoSuchFile);
  const LoadResult inFolder = LoadTableFromFile(folder.file("folder.xls"), table, false);
  EXPECT_EQ(inFolder.failure().kind, LoadFailureKind::Folder);
  EXPECT_EQ(inFolder.reason(), "a folder");
}

// The window's journal, as JournalWriter writes it: times with milliseconds and the meter's
// timer as a seventh cell. "Open Data" takes the text table only; the commands take both.
TEST(JournalForm, AJournalTheWriterWroteLoadsForTheCommands) {
  ScratchFolder scratch;
  const std::string folder = scratch.file("journal");
  ReadingsTable recorded;
  test::fillFixtureReadings(recorded);
  // The same readings again, now with the meter's timer lit for the last two.
  const std::size_t fixtureRows = recorded.recordCount();
  for (std::size_t row = 0; row < fixtureRows; ++row) {
    RecordFields fields = recorded.record(row);
    if (row > 0) fields.TestTime = static_cast<std::int32_t>(row * 15);
    recorded.append(fields);
  }
  {
    JournalWriter writer(
        [folder]() -> Result<std::unique_ptr<JournalSink>> {
          Result<std::unique_ptr<JournalFile>> created = JournalFile::create(folder);
          if (!created.ok()) return created;
          return {std::move(created.value())};
        },
        [](const std::string& reason) { FAIL() << reason; });
    for (std::size_t row = 0; row < recorded.recordCount(); ++row) {
      writer.append(recorded.record(row));
    }
  }  // not finished: the journal stays, as after a crash
  const std::filesystem::directory_iterator files(folder);
  ASSERT_NE(files, std::filesystem::directory_iterator());
  const std::string journal = files->path().string();

  ReadingsTable openData;
  const LoadResult refused = LoadTableFromFile(journal, openData, false);
  EXPECT_EQ(refused.failure().kind, LoadFailureKind::DamagedLine);
  EXPECT_EQ(refused.failure().line, 2U);

  ReadingsTable loaded;
  const LoadResult read = LoadTableFromFile(journal, loaded, false, {}, TextForms::TableOrJournal);
  ASSERT_TRUE(read.ok()) << read.reason();
  ASSERT_EQ(loaded.recordCount(), recorded.recordCount());
  for (std::size_t row = 0; row < recorded.recordCount(); ++row) {
    SCOPED_TRACE(row);
    EXPECT_EQ(loaded.no(row), recorded.no(row));
    EXPECT_EQ(loaded.timeMs(row), recorded.timeMs(row)) << "milliseconds kept";
    EXPECT_EQ(loaded.testTimeS(row), recorded.testTimeS(row));
    EXPECT_EQ(loaded.text(row, ReadingsTable::Value), recorded.text(row, ReadingsTable::Value));
  }
  EXPECT_EQ(loaded.text(1, ReadingsTable::Unit), "NULL") << "as a text table keeps it";
}

}  // namespace
}  // namespace ostrel

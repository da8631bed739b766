// The Excel workbook save, read back by openpyxl (tests/record/workbook_cells.py).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "RecordTestSupport.h"
#include "record/TableFiles.h"
#include "record/WorkbookCheck.h"
#include "record/WorkbookFile.h"
#include "tests/cli/ChildProcess.h"

namespace ostrel {
namespace {

using test::ScratchFolder;

struct NumberCase {
  const char* text;
  const char* separator;
  bool isNumber;
  double value;
  int decimals;
};

TEST(WorkbookNumber, TakesOnlyNumbersInTheLocalesForm) {
  const NumberCase cases[] = {
      {"1.234", ".", true, 1.234, 3},
      {"-0.50", ".", true, -0.5, 2},
      {"1999", ".", true, 1999, 0},
      {"1,5", ",", true, 1.5, 1},
      {"12.", ".", true, 12, 0},
      {"0L", ".", false, 0, 0},
      {"OL", ".", false, 0, 0},
      {"-", ".", false, 0, 0},
      {"", ".", false, 0, 0},
      {"1.2.3", ".", false, 0, 0},
      {"1.5", ",", false, 0, 0},
      {"1 5", ".", false, 0, 0},
      {"--1", ".", false, 0, 0},
      {"1234", "", false, 0, 0},                // the locale gave no separator: the point is lost
      {"1234567890.123456", ".", false, 0, 0},  // more digits than a double keeps
  };
  for (const NumberCase& c : cases) {
    const auto number = workbookNumber(c.text, c.separator);
    ASSERT_EQ(number.has_value(), c.isNumber) << c.text;
    if (!number) continue;
    EXPECT_DOUBLE_EQ(number->value, c.value) << c.text;
    EXPECT_EQ(number->decimals, c.decimals) << c.text;
  }
}

// The workbook's cells as workbook_cells.py prints them.
test::ChildResult readBack(const std::string& path, const std::vector<std::string>& options = {}) {
  std::vector<std::string> arguments{OSTREL_WORKBOOK_CELLS, path};
  arguments.insert(arguments.end(), options.begin(), options.end());
  return test::runProgram(OSTREL_PYTHON3, arguments);
}

#define READ_BACK_OR_SKIP(run, ...)                                            \
  const test::ChildResult run = readBack(__VA_ARGS__);                         \
  if (run.exitCode == 77) GTEST_SKIP() << "python3-openpyxl is not installed"; \
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err

TEST(Workbook, CellsReadBackTypedWithTheirDecimalsAndUnicodeTexts) {
  ReadingsTable table;
  test::fillFixtureReadings(table);
  table.append({4, 0, "OL", "G\xA6\xB8", "  DCV  600V \x01", "P\x01I"});
  table.append(
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, "\xD6\xD0\xCE\xC4"});
  table.append({-6, 3'600'000, "-0.50", "  ", "\xFF", "Timed", 75});
  ScratchFolder folder;
  const std::string name = folder.file("readings.XLSX");
  const Result<> saved = SaveTableToFile(table, name, ".");
  ASSERT_TRUE(saved.ok()) << saved.message();
  EXPECT_EQ(saved.message(), "Save table to specified file: " + name + " Scuss!");

  // A control character inside a text is kept as the format's escape (_x0001_), which
  // openpyxl shows as it stands and spreadsheet programs turn back into the character.
  READ_BACK_OR_SKIP(run, name);
  EXPECT_EQ(run.out,
            "s:Measurement No.\ts:Time\ts:Value\ts:Unit\ts:Function\ts:Remark\ts:Test time\n"
            "n:1|General\ttime:14:30:05.123|hh:mm:ss.000\tn:1.234|0.000\ts:M\u03A9\t"
            "s:IR:500V 20G\u03A9\ts:Continuous\n"
            "n:2|General\ttime:09:05:03.040|hh:mm:ss.000\tn:0.56|0.00\t\ts:DCV  600V\ts:Timed\n"
            "n:3|General\ttime:23:59:59.999|hh:mm:ss.000\ts:a&b\ts:\u4E57\t"
            "s:IR:5000V 1000G\u03A9\ts:COMP:GOOD\n"
            "n:4|General\ttime:00:00:00.000|hh:mm:ss.000\ts:OL\ts:G\u03A9\ts:DCV  600V\t"
            "s:P_x0001_I\n"
            "\t\t\t\t\ts:\u4E2D\u6587\n"
            "n:-6|General\ttime:01:00:00.000|hh:mm:ss.000\tn:-0.5|0.00\t\ts:\uFFFD\ts:Timed\t"
            "n:75|General\n");
}

// The "Tests" sheet holds the insulation tests found in the readings, figures as numbers in
// ohms, unknown ones empty.
TEST(Workbook, TestsSheetHoldsTheFiguresAsNumbers) {
  ReadingsTable table;
  for (int t = 0; t <= 600; t += 5) {
    const double mohm = t < 60 ? 100.0 + t : t < 600 ? 160.0 : 320.0;
    table.append({t / 5 + 1, 36'000'000 + t * 1000, std::to_string(mohm).substr(0, 5), "M\xA6\xB8",
                  "IR:1000V 40G\xA6\xB8", "Timed", t});
  }
  ScratchFolder folder;
  const std::string name = folder.file("tests.xlsx");
  ASSERT_TRUE(SaveTableToFile(table, name, ".").ok());
  READ_BACK_OR_SKIP(run, name, {"--sheet", "Tests"});
  EXPECT_EQ(
      run.out.substr(0, run.out.find('\n')),
      "s:Test\ts:Function\ts:Voltage (V)\ts:Start\ts:Duration (s)\ts:Readings\t"
      "s:R 15 s (ohm)\ts:R 30 s (ohm)\ts:R 1 min (ohm)\ts:R 10 min (ohm)\t"
      "s:R 1 min at 40 C (ohm)\ts:DAR\ts:PI\ts:Meter PI\ts:Lowest (ohm)\ts:Verdict\ts:Reasons");
  EXPECT_NE(run.out.find("\nn:1|General\ts:IR:1000V 40G\u03A9\tn:1000|General\t"
                         "time:10:00:00.000|hh:mm:ss\tn:600|General\tn:121|General\t"
                         "n:115000000|General\tn:130000000|General\tn:160000000|General\t"
                         "n:320000000|General\t\tn:1.230769230769231|General\tn:2|General\t\t"
                         "n:100000000|General\ts:pass\t"),
            std::string::npos)
      << run.out;
}

// The test sheets follow the options and the record given (the Tests window's): the Tests
// sheet judges with them, the Test record sheet lists the fields, numbers typed as numbers.
TEST(Workbook, TestSheetsFollowTheGivenOptionsAndRecord) {
  ReadingsTable table;
  for (int t = 0; t <= 90; t += 5) {
    const double mohm = t < 60 ? 100.0 + t : 160.0;
    table.append({t / 5 + 1, 36'000'000 + t * 1000, std::to_string(mohm).substr(0, 5), "M\xA6\xB8",
                  "IR:1000V 40G\xA6\xB8", "Timed", t});
  }
  WorkbookTests tests;
  tests.judgement.windingTemperatureC = 20;
  tests.judgement.dar = DarMarks::R60R15;
  tests.judgement.minimum = MinimumClass::Fixed;
  tests.judgement.fixedMinimumMOhm = 50;
  tests.judgement.thermalClass = 'F';
  tests.judgement.firstDay = dayFromIsoDate("2026-06-15");
  tests.record = {
      "M\xC3\xBChle AG",      "",    " Pump 3 ",  "A. Smith", "SN-0042", "21,5", "20", "about 60",
      "dry day\nsecond line", "6,6", "2026-06-15"};
  ScratchFolder folder;
  const std::string name = folder.file("record.xlsx");
  const Result<> saved = SaveTableToFile(table, name, ".", tests);
  ASSERT_TRUE(saved.ok()) << saved.message();

  READ_BACK_OR_SKIP(testsSheet, name, {"--sheet", "Tests"});
  // The start is a date and time when the date is known.
  EXPECT_NE(testsSheet.out.find("\tdatetime:2026-06-15 10:00:00\t"), std::string::npos)
      << testsSheet.out;
  // R(1 min) 160 MΩ at 20 °C is 40 MΩ at 40 °C, below 50 MΩ; DAR 160/115.
  EXPECT_NE(testsSheet.out.find("\tn:160000000|General\t\tn:40000000|General\t"
                                "n:1.391304347826087|General\t\t\tn:100000000|General\ts:fail\t"),
            std::string::npos)
      << testsSheet.out;

  READ_BACK_OR_SKIP(recordSheet, name, {"--sheet", "Test record"});
  EXPECT_EQ(recordSheet.out,
            "s:Field\ts:Value\n"
            "s:Customer\ts:M\u00FChle AG\n"
            "s:Site\n"
            "s:Asset or tag\ts:Pump 3\n"
            "s:Operator\ts:A. Smith\n"
            "s:Instrument serial\ts:SN-0042\n"
            "s:Rated voltage (kV)\tn:6.6|General\n"
            "s:Date of first reading\ts:2026-06-15\n"
            "s:Ambient temperature (\u00B0C)\tn:21.5|General\n"
            "s:Winding temperature (\u00B0C)\tn:20|General\n"
            "s:Humidity (%)\ts:about 60\n"
            "s:Notes\ts:dry day\nsecond line\n"
            "s:DAR\ts:60/15\n"
            "s:Minimum R 1 min at 40 \u00B0C (M\u03A9)\tn:50|General\n"
            "s:Thermal class\ts:F\n");
}

// Each column of the test sheets is at least as wide as its widest cell (a title, a text's
// longest line or a figure as General shows it), so no spreadsheet cuts them. Read from the
// sheets' XML with Python's standard library: for each cell that does not fit, a line
// "sheet column: text (width)".
TEST(Workbook, TestSheetsColumnsFitTheirCells) {
  ReadingsTable table;
  for (int t = 0; t <= 600; t += 5) {
    table.append({t / 5 + 1, 36'000'000 + t * 1000, t < 60 ? "123.4" : "1234", "G\xA6\xB8",
                  "IR:1000V 40G\xA6\xB8", "Timed", t});
  }
  WorkbookTests tests;
  tests.record = {"Stadtwerke Musterstadt, Umspannwerk Nord",
                  "",
                  "Transformer T2 (110/20 kV)",
                  "A. Smith",
                  "SN-0042-7781",
                  "21,5",
                  "",
                  "",
                  "short\na longer line of notes here",
                  "20",
                  "2026-12-11"};
  ScratchFolder folder;
  const std::string name = folder.file("widths.xlsx");
  ASSERT_TRUE(SaveTableToFile(table, name, ".", tests).ok());
  const char* script = R"(
import re, sys, zipfile
from xml.etree import ElementTree as ET
ns = {'m': 'http://schemas.openxmlformats.org/spreadsheetml/2006/main',
      'r': 'http://schemas.openxmlformats.org/officeDocument/2006/relationships'}
z = zipfile.ZipFile(sys.argv[1])
book = ET.fromstring(z.read('xl/workbook.xml'))
rels = ET.fromstring(z.read('xl/_rels/workbook.xml.rels'))
target = {r.get('Id'): r.get('Target') for r in rels}
shared = []
if 'xl/sharedStrings.xml' in z.namelist():
    for si in ET.fromstring(z.read('xl/sharedStrings.xml')).findall('m:si', ns):
        shared.append(''.join(t.text or '' for t in si.iter('{%s}t' % ns['m'])))
sheets = 0
for sheet in book.find('m:sheets', ns):
    name = sheet.get('name')
    if name not in ('Tests', 'Test record'):
        continue
    xml = ET.fromstring(z.read('xl/' + target[sheet.get('{%s}id' % ns['r'])]))
    widths = {}
    for col in xml.iter('{%s}col' % ns['m']):
        for c in range(int(col.get('min')), int(col.get('max')) + 1):
            widths[c] = float(col.get('width'))
    seen = 0
    for cell in xml.iter('{%s}c' % ns['m']):
        letters = re.match('[A-Z]+', cell.get('r')).group(0)
        column = 0
        for ch in letters:
            column = column * 26 + ord(ch) - 64
        kind = cell.get('t')
        if kind == 'inlineStr':
            text = ''.join(t.text or '' for t in cell.iter('{%s}t' % ns['m']))
        elif kind == 's':
            text = shared[int(cell.find('m:v', ns).text)]
        else:
            v = cell.find('m:v', ns)
            text = '' if v is None else v.text[:11]
        seen += 1
        need = max(len(line) for line in text.split('\n')) + 1
        if widths.get(column, 8.43) < need:
            print(f'cut {name} {letters}: {text} ({widths.get(column, 8.43)})')
    sheets += 1 if seen > 1 else 0
print(f'sheets {sheets}')
)";
  const test::ChildResult run = test::runProgram(OSTREL_PYTHON3, {"-c", script, name});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.find("cut "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("sheets 2"), std::string::npos) << run.out;
}

TEST(Workbook, ValuesAreNumbersOnlyWithTheLocalesSeparator) {
  ReadingsTable table;
  table.append({1, 0, "1,25", "M\xA6\xB8", "IR:500V 20G\xA6\xB8", "PI"});
  table.append({2, 0, "1.25", "M\xA6\xB8", "IR:500V 20G\xA6\xB8", "PI"});
  ScratchFolder folder;
  const std::string name = folder.file("comma.xlsx");
  ASSERT_TRUE(SaveTableToFile(table, name, ",").ok());
  READ_BACK_OR_SKIP(run, name);
  EXPECT_NE(run.out.find("\tn:1.25|0.00\t"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\ts:1.25\t"), std::string::npos) << run.out;
}

TEST(Workbook, AMillionRowsFitOneSheet) {
  ReadingsTable table;
  constexpr int records = 1'000'000;
  for (int i = 1; i <= records; ++i) {
    table.appendView({i, i % 86'400'000, i % 1000 == 0 ? "OL" : "1.234", "M\xA6\xB8",
                      "IR:500V 20G\xA6\xB8", "Continuous"});
  }
  ScratchFolder folder;
  const std::string name = folder.file("million.xlsx");
  const Result<> saved = SaveTableToFile(table, name, ".");
  ASSERT_TRUE(saved.ok()) << saved.message();
  READ_BACK_OR_SKIP(run, name, {"--first", "2"});
  EXPECT_EQ(run.out,
            "rows: 1000001, columns: 7\n"
            "row elements: 1000001, last: 1000001\n"
            "s:Measurement No.\ts:Time\ts:Value\ts:Unit\ts:Function\ts:Remark\ts:Test time\n"
            "n:1|General\ttime:00:00:00.001|hh:mm:ss.000\tn:1.234|0.000\ts:M\u03A9\t"
            "s:IR:500V 20G\u03A9\ts:Continuous\n");
}

TEST(Workbook, MoreRecordsThanASheetHoldsAreRefusedBeforeWriting) {
  ReadingsTable table;
  for (std::size_t i = 0; i <= workbookMaxRecords; ++i) table.appendView({1, 0, "1", {}, {}, {}});
  ScratchFolder folder;
  const std::string name = folder.file("big.xlsx");
  test::writeBytes(name, "old content");
  const Result<> saved = SaveTableToFile(table, name, ".");
  EXPECT_FALSE(saved.ok());
  EXPECT_EQ(saved.message(), "Could not save table to specified file: " + name +
                                 "\nThe table holds 1048576 records; a worksheet takes at most "
                                 "1048575. Save it as text or XML instead.");
  EXPECT_EQ(test::readBytes(name), "old content");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(Workbook, FailedSaveKeepsTheOldFileAndLeavesNoTemporaryFile) {
  ReadingsTable table;
  test::fillFixtureReadings(table);
  ScratchFolder folder;
  test::writeBytes(folder.file("plain"), "x");
  const std::string inFile = folder.file("plain/t.xlsx");
  const Result<> notADirectory = SaveTableToFile(table, inFile, ".");
  EXPECT_FALSE(notADirectory.ok());
  EXPECT_EQ(notADirectory.message(),
            "Could not save table to specified file: " + inFile + "\nNot a directory");

  // A folder in the place of the file: the workbook is complete, but renaming it fails.
  std::filesystem::create_directory(folder.file("taken.xlsx"));
  const Result<> overFolder = SaveTableToFile(table, folder.file("taken.xlsx"), ".");
  EXPECT_FALSE(overFolder.ok());
  EXPECT_EQ(overFolder.message().rfind("Could not save table to specified file: ", 0), 0U);
  EXPECT_TRUE(std::filesystem::is_directory(folder.file("taken.xlsx")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);
}

TEST(Workbook, ReplacingKeepsPermissionsFollowsLinksAndRefusesFifos) {
  ReadingsTable table;
  test::fillFixtureReadings(table);
  ScratchFolder folder;
  const std::string name = folder.file("t.xlsx");
  test::writeBytes(name, "old");
  ::chmod(name.c_str(), 0640);
  std::filesystem::create_symlink(name, folder.file("link.xlsx"));
  ASSERT_TRUE(SaveTableToFile(table, folder.file("link.xlsx"), ".").ok());
  EXPECT_TRUE(std::filesystem::is_symlink(folder.file("link.xlsx")));
  EXPECT_EQ(test::readBytes(name).substr(0, 4), "PK\x03\x04");
  struct stat saved {};
  ASSERT_EQ(::stat(name.c_str(), &saved), 0);
  EXPECT_EQ(saved.st_mode & 0777, 0640U);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);

  // A FIFO is refused as by every other writer, without being opened (that would block).
  const std::string pipe = folder.file("pipe.xlsx");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(SaveTableToFile(table, pipe, ".").ok());
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 3);
}

// Where a member's pieces lie in a small archive (no ZIP64): its central directory entry and
// the first byte of its packed data.
struct MemberPlace {
  std::size_t directoryEntry = std::string::npos;
  std::size_t data = std::string::npos;
};

std::uint32_t littleAt(const std::string& bytes, std::size_t at, int length) {
  std::uint32_t value = 0;
  for (int i = length - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

MemberPlace findMember(const std::string& archive, const std::string& name) {
  MemberPlace place;
  for (std::size_t at = archive.find("PK\x01\x02"); at != std::string::npos;
       at = archive.find("PK\x01\x02", at + 4)) {
    if (archive.compare(at + 46, name.size(), name) != 0 ||
        littleAt(archive, at + 28, 2) != name.size()) {
      continue;
    }
    place.directoryEntry = at;
    const std::size_t local = littleAt(archive, at + 42, 4);
    place.data = local + 30 + littleAt(archive, local + 26, 2) + littleAt(archive, local + 28, 2);
  }
  return place;
}

// The read-back check refuses what a full disk or a broken write could leave: a member whose
// bytes or recorded CRC differ by one flipped byte, a worksheet with a row more or fewer than
// written.
TEST(WorkbookCheck, RefusesAFlippedByteAndARowCountOffByOne) {
  ReadingsTable table;
  test::fillFixtureReadings(table);
  ScratchFolder folder;
  const std::string name = folder.file("t.xlsx");
  ASSERT_TRUE(SaveTableToFile(table, name, ".").ok());
  const std::size_t rows = 4;  // the header and three records
  ASSERT_TRUE(checkWorkbookArchive(name, rows).ok());
  EXPECT_FALSE(checkWorkbookArchive(name, rows + 1).ok());
  EXPECT_FALSE(checkWorkbookArchive(name, rows - 1).ok());

  const std::string archive = test::readBytes(name);
  for (const char* member : {"xl/worksheets/sheet1.xml", "xl/styles.xml", "[Content_Types].xml"}) {
    const MemberPlace place = findMember(archive, member);
    ASSERT_NE(place.directoryEntry, std::string::npos) << member;
    struct Flip {
      const char* what;
      std::size_t at;
    };
    for (const Flip flip :
         {Flip{"recorded CRC", place.directoryEntry + 16}, Flip{"packed data", place.data + 2}}) {
      SCOPED_TRACE(std::string(member) + ", " + flip.what);
      std::string flipped = archive;
      flipped[flip.at] = static_cast<char>(flipped[flip.at] ^ 0x01);
      test::writeBytes(name, flipped);
      const Result<> checked = checkWorkbookArchive(name, rows);
      EXPECT_FALSE(checked.ok());
      EXPECT_EQ(checked.message(),
                std::string("The workbook's member ") + member + " is incomplete");
    }
  }
}

// A Cancel is looked at while the rows are written, not after the whole workbook: the save
// stops at the progress call that said so, and keeps the old file.
TEST(Workbook, ACancelDuringTheRowsStopsTheSaveThere) {
  ReadingsTable table;
  for (int i = 1; i <= 100'000; ++i) table.appendView({i, i, "1.5", "M\xA6\xB8", "IR", "x"});
  ScratchFolder folder;
  const std::string name = folder.file("t.xlsx");
  test::writeBytes(name, "old content");
  std::vector<std::size_t> told;
  const Result<> saved =
      writeWorkbook(table, name, ".", {}, [&told](std::size_t written, std::size_t records) {
        EXPECT_EQ(records, 100'000U);
        told.push_back(written);
        return false;
      });
  EXPECT_TRUE(saved.cancelled()) << saved.message();
  ASSERT_EQ(told.size(), 1U) << "no row is written after the Cancel";
  EXPECT_LE(told[0], 4096U);
  EXPECT_EQ(test::readBytes(name), "old content");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

TEST(Workbook, IsWrittenOnlyNeverLoaded) {
  ReadingsTable table;
  test::fillFixtureReadings(table);
  ScratchFolder folder;
  const std::string name = folder.file("t.Xlsx");
  ASSERT_TRUE(SaveTableToFile(table, name, ".").ok());
  const Result<> loaded = LoadTableFromFile(name, table, false);
  EXPECT_FALSE(loaded.ok());
  EXPECT_EQ(loaded.message(), "Failed to Load File!");
  EXPECT_EQ(table.recordCount(), 3U);
}

}  // namespace
}  // namespace ostrel
